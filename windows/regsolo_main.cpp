// regsolo: the service program for one regulator on one port.
#include "resources/ids.h"
#include "solo/solo_program.h"
#include "windows/command_line.h"
#include "windows/main_window.h"
#include "windows/win32.h"
#include "windows/win32_link.h"

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, PWSTR, int nCmdShow) {
  // Port device names are built from string 784 ("COM").
  kvl::Win32Link link(kvl::win::ResourceString(inst, IDS_COM));
  kvl::win::ProgramInfo info;
  info.title = "ViriREVO7";
  info.width = 660;
  info.height = 390;
  info.iconId = IDI_SOLO;
  info.listFailText = "Cannot create Listbox window.Ошибка101";
  const std::string csv = kvl::win::CsvPathFromCommandLine();
  info.makeLogic = [&link, &csv](kvl::Services& ui) {
    auto program = std::make_unique<kvl::solo::SoloProgram>(link, ui);
    program->RecordTo(csv);
    return program;
  };
  return kvl::win::RunProgram(inst, nCmdShow, info);
}
