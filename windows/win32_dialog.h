// A Dialog over a real window: numbered child controls reached with GetDlgItem.
// Serves modal and modeless dialogs and the main window itself.
#pragma once

#include "view/view.h"
#include "windows/win32.h"

namespace kvl::win {

class Win32Dialog : public Dialog {
 public:
  enum class Kind { kModal, kModeless, kMainWindow };
  Win32Dialog(HWND hwnd, Kind kind) : hwnd_(hwnd), kind_(kind) {}

  void SetText(int id, const std::string& text) override;
  std::string GetText(int id, size_t maxChars = 255) const override;
  void SetCheck(int id, bool on) override;
  bool GetCheck(int id) const override;
  void ListReset(int id) override;
  void ListAdd(int id, const std::string& text) override;
  void ListDelete(int id, int index) override;
  void ListSelect(int id, int index) override;
  int ListSelection(int id) const override;
  void Show(int id, bool visible) override;
  void End(int result) override;

  HWND Handle() const { return hwnd_; }
  void Attach(HWND hwnd) { hwnd_ = hwnd; }

 private:
  // True for a combo box control, false for a list box.
  bool IsCombo(HWND control) const;
  HWND hwnd_;
  Kind kind_;
};

}  // namespace kvl::win
