// The main window of every program: window class "TTYWndClass", the window
// procedure that forwards to the program's MainLogic, the exchange log list box,
// the text page's scroll ranges and the accelerator-aware message loop.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "view/view.h"
#include "windows/win32.h"

namespace kvl::win {

// What tells one program's main window from another's.
struct ProgramInfo {
  std::string title;
  int width = 0, height = 0;
  int iconId = 0;
  // Shown when the exchange log list box cannot be created.
  std::string listFailText = "Cannot create Listbox window";
  // Builds the program's logic once the services exist.
  std::function<std::unique_ptr<MainLogic>(Services&)> makeLogic;
};

// A string of the program's string table; empty when there is none.
std::string ResourceString(HINSTANCE inst, int id);

// Registers the class, creates and shows the window, runs the message loop.
// Returns the quit message's wParam, or 0 when start-up fails.
int RunProgram(HINSTANCE inst, int nCmdShow, const ProgramInfo& info);

}  // namespace kvl::win
