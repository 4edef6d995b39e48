// The seam between the programs' logic and Win32.
//
// Every behaviour (what is sent, which text goes into which control, which
// message box appears, which menu item is greyed) lives in platform-free code
// that talks to these two interfaces. The Win32 side maps them one to one onto
// HWNDs and resource ids; the tests use a fake that records calls and answers
// message boxes from a script.
//
// All texts are UTF-8; the Win32 side converts at the edge.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "resources/ids.h"  // the ids of the windows, controls and menu items

namespace kvl {

// Standard dialog and message box result ids (same values as Win32).
enum : int {
  kIdOk = 1,
  kIdCancel = 2,
  kIdYes = 6,
  kIdNo = 7,
};

// Notification codes: a list or combo box's selection changed (LBN_SELCHANGE,
// CBN_SELCHANGE); an edit control's text changed (EN_CHANGE), which an edit
// sends also when the program sets its text.
enum : int { kSelChange = 1, kEnChange = 0x0300 };

enum class MsgButtons { kOk, kYesNo, kOkCancel };
enum class MsgIcon { kNone, kWarning, kQuestion, kInformation };

// A window or dialog with numbered controls.
class Dialog {
 public:
  virtual ~Dialog() = default;
  virtual void SetText(int id, const std::string& text) = 0;
  // Text of a control, cut to at most maxChars characters.
  virtual std::string GetText(int id, size_t maxChars = 255) const = 0;
  virtual void SetCheck(int id, bool on) = 0;
  virtual bool GetCheck(int id) const = 0;
  // List and combo boxes.
  virtual void ListReset(int id) = 0;
  virtual void ListAdd(int id, const std::string& text) = 0;
  virtual void ListDelete(int id, int index) = 0;
  virtual void ListSelect(int id, int index) = 0;  // -1 clears the selection
  virtual int ListSelection(int id) const = 0;     // -1 when none
  virtual void Show(int id, bool visible) = 0;
  // Ends a modal dialog with a result, or destroys a modeless one.
  virtual void End(int result) = 0;
};

// Logic of one dialog; the binding calls it for the dialog's messages.
class DialogLogic {
 public:
  virtual ~DialogLogic() = default;
  virtual void OnInit(Dialog& d) = 0;
  // WM_COMMAND: control id, notification code (0 for buttons, 1 for a list
  // selection change, EN_CHANGE etc. for edits).
  virtual void OnCommand(Dialog& d, int id, int code) = 0;
  // The close box (WM_CLOSE).
  virtual void OnClose(Dialog& d) = 0;
  // The window is being destroyed, however that came about (its own End, its
  // owner's destruction): forget every pointer to it. Nothing of the logic is
  // called for this window afterwards.
  virtual void OnDestroy(Dialog& /*d*/) {}
};

// Who owns a message box: the main window, or the dialog that asks. An owned
// box keeps its owner from being used or closed while it is up.
enum class Owner { kMain, kDialog };

// Program services of the main window.
class Services {
 public:
  virtual ~Services() = default;
  // Shows a message box and returns the id of the button pressed. owner kDialog
  // means the dialog whose logic is running (ownerDialog); the main window owns
  // the box when that dialog is gone.
  virtual int MessageBox(const std::string& text, const std::string& caption,
                         MsgButtons buttons = MsgButtons::kOk, MsgIcon icon = MsgIcon::kNone,
                         Owner owner = Owner::kMain, Dialog* ownerDialog = nullptr) = 0;
  // Menu of the main window.
  virtual void MenuEnable(int id, bool enabled) = 0;
  virtual bool MenuInsert(int position, int id, const std::string& text) = 0;
  virtual bool MenuRemove(int position) = 0;
  // Timers of the main window; the program's OnTimer is called with the id.
  virtual bool StartTimer(int id, unsigned ms) = 0;
  virtual void StopTimer(int id) = 0;
  // Wait cursor: Begin shows it and remembers the previous cursor; End restores.
  virtual void BeginWaitCursor() = 0;
  virtual void EndWaitCursor() = 0;
  // Blocks the main thread (Sleep).
  virtual void Pause(unsigned ms) = 0;
  // Invalidates the main window (and posts WM_PAINT).
  virtual void Invalidate(bool erase) = 0;
  // Dialogs by resource template id. RunModal returns the dialog's end result.
  virtual int RunModal(int templateId, DialogLogic& logic) = 0;
  // Creates a modeless dialog owned by the main window; nullptr on failure. The
  // dialog lives until it calls End or DestroyModeless is called.
  virtual Dialog* CreateModeless(int templateId, DialogLogic& logic) = 0;
  // The main window as a window with numbered child controls (the log list).
  virtual Dialog& MainWindow() = 0;
  // Posts WM_CLOSE to the main window.
  virtual void PostClose() = 0;
  // Ends the program once start-up has finished (posts WM_DESTROY / quit).
  virtual void PostQuit() = 0;
  // Current local time as the standard ctime text ("Wed Jun 30 21:49:08 1993\n").
  virtual std::string CTimeText() = 0;
};

// One line of text the main window paints (the single-regulator status block).
struct PaintText {
  int x = 0, y = 0;
  std::string text;
  uint32_t background = 0;  // 0x00BBGGRR, as a Win32 COLORREF
  bool operator==(const PaintText&) const = default;
};

// Logic of a program's main window; the shell forwards the window's messages.
class MainLogic {
 public:
  virtual ~MainLogic() = default;
  // WM_CREATE, after the exchange log list box exists. False refuses creation.
  virtual bool OnCreate() = 0;
  // WM_COMMAND of the menu and accelerators.
  virtual void OnCommand(int id, int code) = 0;
  // WM_TIMER of a timer started through Services::StartTimer.
  virtual void OnTimer(int id) = 0;
  // WM_CLOSE: true lets the window be destroyed.
  virtual bool OnClose() = 0;
  // WM_PAINT: texts to draw in a client area with this left edge and bottom.
  virtual std::vector<PaintText> OnPaint(int /*left*/, int /*bottom*/) { return {}; }
};

}  // namespace kvl
