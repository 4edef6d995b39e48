#include "windows/command_line.h"

// clang-format off
#include "windows/win32.h"  // <windows.h> first: <shellapi.h> builds on it
#include <shellapi.h>
// clang-format on

#include <vector>

#include "lineops/reading.h"
#include "windows/utf.h"

namespace kvl::win {

std::string CsvPathFromCommandLine() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return "";
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(Narrow(argv[i]));
  LocalFree(argv);
  const ops::CsvOption o = ops::CsvPathOption(args);
  if (o.missingPath)
    MessageBoxW(nullptr, L"После --csv не указан файл: значения не записываются", L"Error",
                MB_OK | MB_ICONWARNING);
  return o.path;
}

}  // namespace kvl::win
