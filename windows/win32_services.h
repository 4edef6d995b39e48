// Program services of the main window over Win32: message boxes, the menu bar,
// timers, the wait cursor, painting requests, dialogs by template id.
#pragma once

#include "view/view.h"
#include "windows/dialog_host.h"
#include "windows/win32.h"
#include "windows/win32_dialog.h"

namespace kvl::win {

class Win32Services : public Services {
 public:
  explicit Win32Services(HINSTANCE inst)
      : inst_(inst), main_(nullptr, Win32Dialog::Kind::kMainWindow) {}

  // The main window, known from its WM_CREATE on.
  void AttachMain(HWND hwnd) {
    hwnd_ = hwnd;
    main_.Attach(hwnd);
  }
  HWND MainHandle() const { return hwnd_; }
  ModelessSet& Modeless() { return modeless_; }

  int MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                 MsgIcon icon, Owner owner, Dialog* ownerDialog) override;
  void MenuEnable(int id, bool enabled) override;
  bool MenuInsert(int position, int id, const std::string& text) override;
  bool MenuRemove(int position) override;
  bool StartTimer(int id, unsigned ms) override;
  void StopTimer(int id) override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;
  void Pause(unsigned ms) override;
  void Invalidate(bool erase) override;
  int RunModal(int templateId, DialogLogic& logic) override;
  Dialog* CreateModeless(int templateId, DialogLogic& logic) override;
  Dialog& MainWindow() override { return main_; }
  void PostClose() override;
  void PostQuit() override;
  std::string CTimeText() override;

 private:
  HINSTANCE inst_;
  HWND hwnd_ = nullptr;
  Win32Dialog main_;
  ModelessSet modeless_;
  HCURSOR savedCursor_ = nullptr;
  int waitDepth_ = 0;
};

}  // namespace kvl::win
