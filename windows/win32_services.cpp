#include "windows/win32_services.h"

#include <ctime>

#include "windows/utf.h"

namespace kvl::win {

int Win32Services::MessageBox(const std::string& text, const std::string& caption,
                              MsgButtons buttons, MsgIcon icon, Owner owner, Dialog* ownerDialog) {
  UINT type = 0;
  switch (buttons) {
    case MsgButtons::kOk:
      type = MB_OK;
      break;
    case MsgButtons::kYesNo:
      type = MB_YESNO;
      break;
    case MsgButtons::kOkCancel:
      type = MB_OKCANCEL;
      break;
  }
  switch (icon) {
    case MsgIcon::kNone:
      break;
    case MsgIcon::kWarning:
      type |= MB_ICONWARNING;
      break;
    case MsgIcon::kQuestion:
      type |= MB_ICONQUESTION;
      break;
    case MsgIcon::kInformation:
      type |= MB_ICONINFORMATION;
      break;
  }
  // The box disables its owner while it is up: the asking dialog, or the main
  // window when the main window asks or the dialog is gone.
  HWND parent = owner == Owner::kDialog ? HandleOf(ownerDialog) : nullptr;
  if (!parent || !IsWindow(parent)) parent = hwnd_;
  if (parent && !IsWindow(parent)) parent = nullptr;
  // While a modal dialog is up the main window is disabled: a box it raises (a
  // poll tick's) goes over that dialog. Owned by the disabled main window it
  // would hand the activation back to it when it ends, and Wine then stacks the
  // main window over the dialog.
  if (parent && !IsWindowEnabled(parent)) {
    HWND popup = GetLastActivePopup(parent);
    if (popup && popup != parent && IsWindowEnabled(popup)) parent = popup;
  }
  return ::MessageBoxW(parent, Widen(text).c_str(), Widen(caption).c_str(), type);
}

void Win32Services::MenuEnable(int id, bool enabled) {
  HMENU m = GetMenu(hwnd_);
  if (m)
    EnableMenuItem(m, static_cast<UINT>(id), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
  // Items of the menu bar itself show their new state only after a redraw.
  if (m) DrawMenuBar(hwnd_);
}

bool Win32Services::MenuInsert(int position, int id, const std::string& text) {
  HMENU m = GetMenu(hwnd_);
  if (!m) return false;
  BOOL ok = InsertMenuW(m, static_cast<UINT>(position), MF_BYPOSITION | MF_STRING,
                        static_cast<UINT_PTR>(id), Widen(text).c_str());
  DrawMenuBar(hwnd_);
  return ok != FALSE;
}

bool Win32Services::MenuRemove(int position) {
  HMENU m = GetMenu(hwnd_);
  if (!m) return false;
  BOOL ok = DeleteMenu(m, static_cast<UINT>(position), MF_BYPOSITION);
  DrawMenuBar(hwnd_);
  return ok != FALSE;
}

bool Win32Services::StartTimer(int id, unsigned ms) {
  return SetTimer(hwnd_, static_cast<UINT_PTR>(id), ms, nullptr) != 0;
}

void Win32Services::StopTimer(int id) {
  KillTimer(hwnd_, static_cast<UINT_PTR>(id));
}

void Win32Services::BeginWaitCursor() {
  HCURSOR prev = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  if (waitDepth_++ == 0) savedCursor_ = prev;
}

void Win32Services::EndWaitCursor() {
  if (waitDepth_ == 0) return;
  if (--waitDepth_ == 0) SetCursor(savedCursor_ ? savedCursor_ : LoadCursorW(nullptr, IDC_ARROW));
}

void Win32Services::Pause(unsigned ms) {
  Sleep(ms);
}

void Win32Services::Invalidate(bool erase) {
  InvalidateRect(hwnd_, nullptr, erase ? TRUE : FALSE);
  PostMessageW(hwnd_, WM_PAINT, 0, 0);
}

int Win32Services::RunModal(int templateId, DialogLogic& logic) {
  return RunModalDialog(inst_, hwnd_, templateId, logic);
}

Dialog* Win32Services::CreateModeless(int templateId, DialogLogic& logic) {
  return CreateModelessDialog(inst_, hwnd_, templateId, logic, modeless_);
}

void Win32Services::PostClose() {
  PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}

void Win32Services::PostQuit() {
  // The window procedure answers WM_DESTROY with the quit message; before the
  // window exists only the quit message itself can be posted.
  if (hwnd_) {
    PostMessageW(hwnd_, WM_DESTROY, 0, 0);
  } else {
    PostQuitMessage(0);
  }
}

std::string Win32Services::CTimeText() {
  std::time_t t = std::time(nullptr);
  const char* s = std::ctime(&t);
  return s ? s : "";
}

}  // namespace kvl::win
