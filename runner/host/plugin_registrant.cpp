// Registration of the seven plug-ins the interface uses.
#include "runner/host/plugin_registrant.h"

namespace {

// The plug-ins' own registration entry points. On this platform the plug-in libraries do not exist, so
// each takes its registrar and does nothing.
void DesktopDropPluginRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef) {}
void FaceDetectionTflitePluginRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef) {}
void FileSelectorWindowsRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef) {}
void PdfxPluginRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef) {}
void ScreenRetrieverWindowsPluginCApiRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef) {}
void UrlLauncherWindowsRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef) {}
void WindowManagerPluginRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef) {}

}  // namespace

namespace runner {

void RegisterPlugins(flutter::engine::Engine* engine) {
  DesktopDropPluginRegisterWithRegistrar(engine->GetRegistrarForPlugin("DesktopDropPlugin"));
  FaceDetectionTflitePluginRegisterWithRegistrar(engine->GetRegistrarForPlugin("FaceDetectionTflitePlugin"));
  FileSelectorWindowsRegisterWithRegistrar(engine->GetRegistrarForPlugin("FileSelectorWindows"));
  PdfxPluginRegisterWithRegistrar(engine->GetRegistrarForPlugin("PdfxPlugin"));
  ScreenRetrieverWindowsPluginCApiRegisterWithRegistrar(
      engine->GetRegistrarForPlugin("ScreenRetrieverWindowsPluginCApi"));
  UrlLauncherWindowsRegisterWithRegistrar(engine->GetRegistrarForPlugin("UrlLauncherWindows"));
  WindowManagerPluginRegisterWithRegistrar(engine->GetRegistrarForPlugin("WindowManagerPlugin"));
}

}  // namespace runner
