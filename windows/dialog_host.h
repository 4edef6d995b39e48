// Binds any DialogLogic to a dialog template: one generic dialog procedure
// forwards WM_INITDIALOG, WM_COMMAND and WM_CLOSE to the logic. Modeless dialogs
// are kept in a set so that the message loop can give them their keyboard
// messages (IsDialogMessage): Tab and the arrows move the focus, but Enter and
// Esc never press their OK or Cancel (they stay open until OK is clicked or
// the close box is used).
#pragma once

#include <vector>

#include "view/view.h"
#include "windows/win32.h"

namespace kvl::win {

class ModelessSet {
 public:
  void Add(HWND h) { windows_.push_back(h); }
  void Remove(HWND h);
  // True when msg belongs to one of the modeless dialogs and was handled there
  // as a dialog key; Enter and Esc are left to the focused control.
  bool Route(MSG* msg);
  bool Empty() const { return windows_.empty(); }
  // Puts the dialogs back above their owner without activating them.
  void Raise();

  // The binding of a modeless dialog being created, until its WM_INITDIALOG
  // (compared, never used: a dialog ended in its OnInit has freed it).
  const void* pending = nullptr;

 private:
  std::vector<HWND> windows_;
};

// Runs a modal dialog; returns its end result, or -1 when it cannot be created.
int RunModalDialog(HINSTANCE inst, HWND owner, int templateId, DialogLogic& logic);

// Creates a modeless dialog owned by owner; nullptr on failure. The returned
// Dialog lives until the window is destroyed.
Dialog* CreateModelessDialog(HINSTANCE inst, HWND owner, int templateId, DialogLogic& logic,
                             ModelessSet& set);

// The window handle behind a Dialog made here (or the main window's), or null.
HWND HandleOf(Dialog* d);

}  // namespace kvl::win
