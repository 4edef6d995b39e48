// regnet5: the network program for up to five regulators.
#include "network/net_program.h"
#include "resources/ids.h"
#include "serial/win32_link.h"
#include "shell/command_line.h"
#include "shell/main_window.h"
#include "shell/win32.h"

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, PWSTR, int nCmdShow) {
  // Port device names are built from string 784 ("COM").
  kvl::Win32Link link(kvl::win::ResourceString(inst, IDS_COM));
  kvl::win::ProgramInfo info;
  info.title = "Demo КВЛ30(протокол КОРМАСТ-10м)";
  info.width = 560;
  info.height = 400;
  info.iconId = IDI_NET;
  const std::string csv = kvl::win::CsvPathFromCommandLine();
  info.makeLogic = [&link, &csv](kvl::Services& ui) {
    auto program = std::make_unique<kvl::NetProgram>(kvl::kNet5, link, ui);
    program->RecordTo(csv);
    return program;
  };
  return kvl::win::RunProgram(inst, nCmdShow, info);
}
