// regnet9 and regnet5: the network program, built once for each variant
// (KVL_NET_VARIANT names kNet9 or kNet5; see windows/CMakeLists.txt).
#include "network/net_program.h"
#include "resources/ids.h"
#include "windows/command_line.h"
#include "windows/main_window.h"
#include "windows/win32.h"
#include "windows/win32_link.h"

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, PWSTR, int nCmdShow) {
  const kvl::Variant& variant = kvl::KVL_NET_VARIANT;
  // Port device names are built from string 784 ("COM").
  kvl::Win32Link link(kvl::win::ResourceString(inst, IDS_COM));
  kvl::win::ProgramInfo info;
  info.title = variant.title;
  info.width = variant.width;
  info.height = variant.height;
  info.iconId = variant.iconId;
  const std::string csv = kvl::win::CsvPathFromCommandLine();
  info.makeLogic = [&variant, &link, &csv](kvl::Services& ui) {
    auto program = std::make_unique<kvl::NetProgram>(variant, link, ui);
    program->RecordTo(csv);
    return program;
  };
  return kvl::win::RunProgram(inst, nCmdShow, info);
}
