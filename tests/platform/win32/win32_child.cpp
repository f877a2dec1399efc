// A child program for the process runner's tests. Arguments:
//   echo ARG...  writes each argument (UTF-8) on a line of its own to standard output
//   both         writes "out" to standard output and "err" to standard error, in that order
//   exit N       exits with N
//   sleep        waits until it is ended from outside
//   flood N      writes N bytes to standard output
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

std::string Utf8(const wchar_t* text) {
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes > 0 ? bytes - 1 : 0), '\0');
  if (bytes > 1) ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), bytes, nullptr, nullptr);
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring what = argv[1];
  if (what == L"echo") {
    for (int i = 2; i < argc; ++i) std::printf("[%s]\n", Utf8(argv[i]).c_str());
    return 0;
  }
  if (what == L"both") {
    std::fputs("out\n", stdout);
    std::fflush(stdout);
    std::fputs("err\n", stderr);
    return 0;
  }
  if (what == L"exit" && argc > 2) return std::wcstol(argv[2], nullptr, 10);
  if (what == L"sleep") {
    ::Sleep(INFINITE);
    return 0;
  }
  if (what == L"flood" && argc > 2) {
    const std::string block(1000, 'x');
    for (long left = std::wcstol(argv[2], nullptr, 10); left > 0; left -= 1000) {
      std::fwrite(block.data(), 1, left < 1000 ? static_cast<size_t>(left) : 1000, stdout);
    }
    return 0;
  }
  return 2;
}
