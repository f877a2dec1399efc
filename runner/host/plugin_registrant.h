// Registration of the seven plug-ins the interface uses.
#pragma once

#include "flutter/engine/engine.h"

namespace runner {

// Registers, in this order, DesktopDropPlugin, FaceDetectionTflitePlugin, FileSelectorWindows, PdfxPlugin,
// ScreenRetrieverWindowsPluginCApi, UrlLauncherWindows and WindowManagerPlugin, each with the registrar the
// engine hands out for that name. The plug-ins belong to the interface's platform and have nothing to do
// here: their registration functions accept the registrar and return. Call on the platform thread.
void RegisterPlugins(flutter::engine::Engine* engine);

}  // namespace runner
