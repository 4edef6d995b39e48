#include "windows/dialog_host.h"

#include <algorithm>

#include "resources/ids.h"
#include "windows/win32_dialog.h"

namespace kvl::win {

namespace {

struct Binding {
  Binding(DialogLogic& l, int id, Win32Dialog::Kind kind, ModelessSet* s)
      : logic(&l), view(nullptr, kind), templateId(id), set(s) {}
  DialogLogic* logic;
  Win32Dialog view;
  int templateId;
  ModelessSet* set;   // null for modal dialogs
  int depth = 0;      // calls into the logic in progress
  bool gone = false;  // the window is being destroyed: the logic is not called again
  bool destroyed = false;
};

// Draws bitmap 500 unchanged at pixel 10,10 of the About box.
void PaintAboutBitmap(HWND hDlg) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hDlg, &ps);
  HBITMAP bmp = LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_ABOUT));
  if (bmp) {
    BITMAP info{};
    GetObjectW(bmp, sizeof info, &info);
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(dc, 10, 10, info.bmWidth, info.bmHeight, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
    DeleteObject(bmp);
  }
  EndPaint(hDlg, &ps);
}

// A modeless dialog may destroy itself from inside its own logic (End): the
// binding is freed only once the outermost call has returned.
template <typename F>
void CallLogic(Binding* b, F f) {
  ++b->depth;
  f();
  --b->depth;
  if (b->depth == 0 && b->destroyed) delete b;
}

INT_PTR CALLBACK BoundDialogProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* b = reinterpret_cast<Binding*>(GetWindowLongPtrW(hDlg, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG:
      b = reinterpret_cast<Binding*>(lParam);
      if (b->set && b->set->pending == b) b->set->pending = nullptr;
      SetWindowLongPtrW(hDlg, DWLP_USER, reinterpret_cast<LONG_PTR>(b));
      b->view.Attach(hDlg);
      if (b->set) b->set->Add(hDlg);
      CallLogic(b, [&] { b->logic->OnInit(b->view); });
      return TRUE;
    case WM_COMMAND:
      if (!b || b->gone) return FALSE;
      CallLogic(b, [&] { b->logic->OnCommand(b->view, LOWORD(wParam), HIWORD(wParam)); });
      return TRUE;
    case WM_CLOSE:
      if (!b || b->gone) return FALSE;
      CallLogic(b, [&] { b->logic->OnClose(b->view); });
      return TRUE;
    case WM_DESTROY:
      // However the window goes (its own End, its owner's destruction), the
      // logic forgets it now and is not called for it again.
      if (b && !b->gone) {
        b->gone = true;
        CallLogic(b, [&] { b->logic->OnDestroy(b->view); });
      }
      return FALSE;
    case WM_PAINT:
      if (b && b->templateId == IDD_ABOUT) {
        PaintAboutBitmap(hDlg);
        return TRUE;
      }
      return FALSE;
    case WM_NCDESTROY:
      if (b && b->set) {
        b->set->Remove(hDlg);
        SetWindowLongPtrW(hDlg, DWLP_USER, 0);
        if (b->depth == 0) {
          delete b;
        } else {
          b->destroyed = true;
        }
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

void ModelessSet::Remove(HWND h) {
  windows_.erase(std::remove(windows_.begin(), windows_.end(), h), windows_.end());
}

namespace {
// Enter and Esc: the dialog manager would turn them into the default button
// and Cancel, closing a window the operator is working in.
bool EnterOrEsc(const MSG* msg) {
  switch (msg->message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
      return msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE;
    default:
      return false;
  }
}
}  // namespace

bool ModelessSet::Route(MSG* msg) {
  // A copy: a dialog may be destroyed while its message is handled.
  std::vector<HWND> copy = windows_;
  for (HWND h : copy) {
    if (!IsWindow(h) || (msg->hwnd != h && !IsChild(h, msg->hwnd))) continue;
    // Tab and the arrows move between the controls as in any dialog; Enter
    // and Esc go to the control that has the focus, which ignores them.
    if (EnterOrEsc(msg)) return false;
    return IsDialogMessageW(h, msg) != FALSE;
  }
  return false;
}

void ModelessSet::Raise() {
  for (HWND h : windows_) {
    if (IsWindow(h) && IsWindowVisible(h)) {
      // Wine ignores a plain HWND_TOP for a window whose owner has just been
      // activated over it; passing through the topmost band does restack it.
      SetWindowPos(h, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      SetWindowPos(h, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
}

int RunModalDialog(HINSTANCE inst, HWND owner, int templateId, DialogLogic& logic) {
  Binding b(logic, templateId, Win32Dialog::Kind::kModal, nullptr);
  INT_PTR r = DialogBoxParamW(inst, MAKEINTRESOURCEW(templateId), owner, BoundDialogProc,
                              reinterpret_cast<LPARAM>(&b));
  return static_cast<int>(r);
}

Dialog* CreateModelessDialog(HINSTANCE inst, HWND owner, int templateId, DialogLogic& logic,
                             ModelessSet& set) {
  auto* b = new Binding(logic, templateId, Win32Dialog::Kind::kModeless, &set);
  set.pending = b;
  HWND h = CreateDialogParamW(inst, MAKEINTRESOURCEW(templateId), owner, BoundDialogProc,
                              reinterpret_cast<LPARAM>(b));
  if (set.pending == b) {
    // The template was never instantiated: nobody else owns the binding.
    set.pending = nullptr;
    delete b;
    return nullptr;
  }
  // A window that got as far as WM_INITDIALOG frees its binding when destroyed,
  // also when the logic ended it during OnInit.
  if (!h || !IsWindow(h)) return nullptr;
  ShowWindow(h, SW_SHOW);
  return &b->view;
}

HWND HandleOf(Dialog* d) {
  auto* w = dynamic_cast<Win32Dialog*>(d);
  return w ? w->Handle() : nullptr;
}

}  // namespace kvl::win
