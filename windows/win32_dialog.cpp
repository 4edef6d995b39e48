#include "windows/win32_dialog.h"

#include <algorithm>
#include <string>

#include "windows/utf.h"

namespace kvl::win {

void Win32Dialog::SetText(int id, const std::string& text) {
  SetDlgItemTextW(hwnd_, id, Widen(text).c_str());
}

std::string Win32Dialog::GetText(int id, size_t maxChars) const {
  HWND c = GetDlgItem(hwnd_, id);
  if (!c || maxChars == 0) return {};
  // Controls hold at most 64K characters; the cap keeps the buffer sane.
  maxChars = std::min<size_t>(maxChars, 65535);
  std::wstring w(maxChars + 1, L'\0');
  int n = GetWindowTextW(c, w.data(), static_cast<int>(w.size()));
  w.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return Narrow(w);
}

void Win32Dialog::SetCheck(int id, bool on) {
  SendDlgItemMessageW(hwnd_, id, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool Win32Dialog::GetCheck(int id) const {
  return SendDlgItemMessageW(hwnd_, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool Win32Dialog::IsCombo(HWND control) const {
  wchar_t cls[32] = {};
  GetClassNameW(control, cls, 32);
  return lstrcmpiW(cls, L"ComboBox") == 0;
}

void Win32Dialog::ListReset(int id) {
  HWND c = GetDlgItem(hwnd_, id);
  if (c) SendMessageW(c, IsCombo(c) ? CB_RESETCONTENT : LB_RESETCONTENT, 0, 0);
}

void Win32Dialog::ListAdd(int id, const std::string& text) {
  HWND c = GetDlgItem(hwnd_, id);
  if (!c) return;
  std::wstring w = Widen(text);
  SendMessageW(c, IsCombo(c) ? CB_ADDSTRING : LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(w.c_str()));
}

void Win32Dialog::ListDelete(int id, int index) {
  HWND c = GetDlgItem(hwnd_, id);
  if (c) SendMessageW(c, IsCombo(c) ? CB_DELETESTRING : LB_DELETESTRING, index, 0);
}

void Win32Dialog::ListSelect(int id, int index) {
  HWND c = GetDlgItem(hwnd_, id);
  if (c) SendMessageW(c, IsCombo(c) ? CB_SETCURSEL : LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int Win32Dialog::ListSelection(int id) const {
  HWND c = GetDlgItem(hwnd_, id);
  if (!c) return -1;
  LRESULT r = SendMessageW(c, IsCombo(c) ? CB_GETCURSEL : LB_GETCURSEL, 0, 0);
  return r < 0 ? -1 : static_cast<int>(r);
}

void Win32Dialog::Show(int id, bool visible) {
  HWND c = GetDlgItem(hwnd_, id);
  if (c) ShowWindow(c, visible ? SW_SHOW : SW_HIDE);
}

void Win32Dialog::End(int result) {
  switch (kind_) {
    case Kind::kModal:
      EndDialog(hwnd_, result);
      break;
    case Kind::kModeless:
      DestroyWindow(hwnd_);
      break;
    case Kind::kMainWindow:
      break;  // the main window ends through its close sequence only
  }
}

}  // namespace kvl::win
