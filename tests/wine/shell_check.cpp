// Checks of the Win32 binding of the view seam, run under Wine: real dialogs
// made from the programs' templates, driven through the same Dialog and
// Services interfaces the programs' logic uses. Prints one line per failed
// check and a closing "N passed, M failed" line; exits with 1 on a failure.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "resources/ids.h"
#include "windows/win32.h"
#include "windows/win32_services.h"

namespace {

int passed = 0, failed = 0;

void Expect(bool ok, const std::string& what) {
  if (ok) {
    ++passed;
  } else {
    ++failed;
    std::printf("FAILED: %s\n", what.c_str());
  }
}

template <typename A, typename B>
void ExpectEq(const A& actual, const B& expected, const std::string& what) {
  bool ok = actual == expected;
  if (!ok) {
    if constexpr (std::is_convertible_v<A, std::string>) {
      Expect(false, what + ": got \"" + std::string(actual) + "\"");
    } else {
      Expect(false, what + ": got " + std::to_string(actual));
    }
  } else {
    Expect(true, what);
  }
}

// A logic whose steps are given by the check and which records what it is told.
class Probe : public kvl::DialogLogic {
 public:
  std::function<void(kvl::Dialog&)> init;
  std::function<void(kvl::Dialog&, int, int)> command;
  std::vector<std::pair<int, int>> commands;
  int inits = 0, closes = 0;

  void OnInit(kvl::Dialog& d) override {
    ++inits;
    if (init) init(d);
  }
  void OnCommand(kvl::Dialog& d, int id, int code) override {
    commands.push_back({id, code});
    if (command) command(d, id, code);
  }
  void OnClose(kvl::Dialog&) override { ++closes; }
};

void Pump() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
}

int ListCount(HWND dlg, int id) {
  return static_cast<int>(SendDlgItemMessageW(dlg, id, LB_GETCOUNT, 0, 0));
}

void CheckModelessSetpointDialog(kvl::win::Win32Services& ui) {
  Probe p;
  HWND hwnd = nullptr;
  p.init = [&](kvl::Dialog& d) {
    hwnd = kvl::win::HandleOf(&d);
    d.SetText(1000, "Задание 50,5%");
    ExpectEq(d.GetText(1000), "Задание 50,5%", "Cyrillic text comes back unchanged");
    ExpectEq(d.GetText(1000, 7), "Задание", "text cut to 7 characters, not bytes");
    ExpectEq(d.GetText(1000, 0), "", "text cut to 0 characters");
    ExpectEq(d.GetText(1000, static_cast<size_t>(-1)), "Задание 50,5%", "no cut asked");
    ExpectEq(d.GetText(4242), "", "text of a missing control");
    for (const char* t : {"0%", "10%", "20%"}) d.ListAdd(1001, t);
    ExpectEq(ListCount(hwnd, 1001), 3, "three list items");
    ExpectEq(d.ListSelection(1001), -1, "no selection at first");
    d.ListSelect(1001, 1);
    ExpectEq(d.ListSelection(1001), 1, "list selection");
    d.ListDelete(1001, 0);
    ExpectEq(ListCount(hwnd, 1001), 2, "one item deleted");
    d.ListSelect(1001, -1);
    ExpectEq(d.ListSelection(1001), -1, "selection cleared");
    d.ListReset(1001);
    ExpectEq(ListCount(hwnd, 1001), 0, "list reset");
    d.ListAdd(1001, "100%");
    wchar_t item[16] = {};
    SendDlgItemMessageW(hwnd, 1001, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(item));
    Expect(std::wstring(item) == L"100%", "list item text");
    // The dialog itself is shown only after its initialisation: look at the
    // control's own style.
    auto shown = [&](int id) {
      return (GetWindowLongW(GetDlgItem(hwnd, id), GWL_STYLE) & WS_VISIBLE) != 0;
    };
    d.Show(1087, false);
    Expect(!shown(1087), "control hidden");
    d.Show(1087, true);
    Expect(shown(1087), "control shown again");
  };
  kvl::Dialog* d = ui.CreateModeless(IDD_SETPOINT, p);
  Expect(d != nullptr, "modeless dialog 108 created");
  if (!d) return;
  ExpectEq(p.inits, 1, "OnInit once");
  Expect(IsWindowVisible(hwnd) != FALSE, "modeless dialog visible");
  wchar_t caption[64] = {};
  GetWindowTextW(hwnd, caption, 64);
  Expect(std::wstring(caption) == L"Задание расхода", "caption of dialog 108");

  // Writing the edit field from the program notifies like typing does.
  Expect(std::find(p.commands.begin(), p.commands.end(), std::make_pair(1000, EN_CHANGE)) !=
             p.commands.end(),
         "EN_CHANGE of a field written by the program");
  p.commands.clear();
  SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(1087, BN_CLICKED), 0);
  SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(1001, LBN_SELCHANGE), 0);
  ExpectEq(p.commands.size(), 2u, "two commands");
  Expect(p.commands.size() == 2 && p.commands[0] == std::make_pair(1087, 0) &&
             p.commands[1] == std::make_pair(1001, 1),
         "command ids and notification codes");
  // The message loop's pass: Tab is a dialog key; Enter and Esc are left to
  // the focused control, so they press neither OK nor Cancel.
  HWND edit = GetDlgItem(hwnd, 1000);
  for (UINT key : {VK_RETURN, VK_ESCAPE}) {
    MSG m{edit, WM_KEYDOWN, key, 0, 0, {}};
    Expect(!ui.Modeless().Route(&m), "Enter or Esc not taken as a dialog key");
  }
  MSG tab{edit, WM_KEYDOWN, VK_TAB, 0, 0, {}};
  Expect(ui.Modeless().Route(&tab), "Tab taken as a dialog key");
  MSG other{GetDesktopWindow(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
  Expect(!ui.Modeless().Route(&other), "a key of another window is not the dialog's");
  SendMessageW(hwnd, WM_CLOSE, 0, 0);
  ExpectEq(p.closes, 1, "close box goes to OnClose");
  Expect(IsWindow(hwnd) != FALSE, "the logic decides whether a close box closes");

  // The logic ends the dialog from inside a command and goes on using it.
  p.command = [&](kvl::Dialog& dd, int id, int) {
    if (id != 1) return;
    dd.End(1);
    dd.SetText(1000, "после End");
  };
  SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), 0);
  Expect(!IsWindow(hwnd), "End destroys a modeless dialog");
  Pump();
}

void CheckModalNetworkDialog(kvl::win::Win32Services& ui) {
  Probe p;
  p.init = [&](kvl::Dialog& d) {
    for (const char* t : {"COM1", "COM2", "COM3"}) d.ListAdd(1191, t);
    d.ListSelect(1191, 2);
    ExpectEq(d.ListSelection(1191), 2, "combo selection");
    ExpectEq(d.GetText(1191), "COM3", "combo shows its selection");
    d.ListDelete(1191, 0);
    ExpectEq(d.ListSelection(1191), 1, "combo selection follows a deletion");
    Expect(!d.GetCheck(1156), "radio unmarked at first");
    d.SetCheck(1156, true);
    Expect(d.GetCheck(1156), "radio marked");
    d.SetCheck(1156, false);
    Expect(!d.GetCheck(1156), "radio unmarked again");
    PostMessageW(kvl::win::HandleOf(&d), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  };
  p.command = [](kvl::Dialog& d, int id, int) {
    if (id == IDOK) d.End(7);
  };
  ExpectEq(ui.RunModal(IDD_NETWORK, p), 7, "RunModal returns the End result");
  ExpectEq(p.inits, 1, "modal OnInit once");
}

void CheckFailures(kvl::win::Win32Services& ui) {
  Probe p;
  Expect(ui.CreateModeless(999, p) == nullptr, "no dialog for a missing template");
  ExpectEq(p.inits, 0, "no OnInit for a missing template");
  ExpectEq(ui.RunModal(999, p), -1, "RunModal of a missing template");

  Probe q;
  q.init = [](kvl::Dialog& d) { d.End(0); };
  Expect(ui.CreateModeless(IDD_SETPOINT, q) == nullptr, "a dialog ended in OnInit is not returned");
  Expect(ui.Modeless().Empty(), "no modeless dialog left");
}

void CheckServices(kvl::win::Win32Services& ui, HWND main) {
  HMENU m = GetMenu(main);
  int before = GetMenuItemCount(m);
  Expect(ui.MenuInsert(7, IDC_SHOW_MONITOR, "Вывести на экран"), "menu item inserted");
  ExpectEq(GetMenuItemCount(m), before + 1, "one more menu-bar item");
  ExpectEq(static_cast<int>(GetMenuItemID(m, 7)), IDC_SHOW_MONITOR, "inserted at position 7");
  wchar_t text[64] = {};
  GetMenuStringW(m, 7, text, 64, MF_BYPOSITION);
  Expect(std::wstring(text) == L"Вывести на экран", "inserted item text");
  Expect(ui.MenuRemove(7), "menu item removed");
  ExpectEq(GetMenuItemCount(m), before, "menu bar as before");
  Expect(!ui.MenuRemove(40), "removing a missing position fails");

  ui.MenuEnable(IDC_VALVE_OPEN, false);
  Expect((GetMenuState(m, IDC_VALVE_OPEN, MF_BYCOMMAND) & MF_GRAYED) != 0, "item greyed");
  ui.MenuEnable(IDC_VALVE_OPEN, true);
  Expect((GetMenuState(m, IDC_VALVE_OPEN, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)) == 0,
         "item enabled");

  HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
  HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
  SetCursor(arrow);
  ui.BeginWaitCursor();
  Expect(GetCursor() == wait, "wait cursor shown");
  ui.BeginWaitCursor();
  ui.EndWaitCursor();
  Expect(GetCursor() == wait, "wait cursor kept until the outer end");
  ui.EndWaitCursor();
  Expect(GetCursor() == arrow, "previous cursor restored");
  ui.EndWaitCursor();
  Expect(GetCursor() == arrow, "an extra end changes nothing");

  std::string t = ui.CTimeText();
  Expect(std::regex_match(t, std::regex("[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] "
                                        "[0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}\n")),
         "ctime text: " + t);

  kvl::Dialog& w = ui.MainWindow();
  w.ListAdd(10001, "17;3;0-12;39-16;0-1;0-88;10;0");
  ExpectEq(static_cast<int>(SendDlgItemMessageW(main, 10001, LB_GETCOUNT, 0, 0)), 1,
           "line added to the main window's list");
  w.Show(10001, true);
  Expect(IsWindowVisible(GetDlgItem(main, 10001)) != FALSE, "main window's list shown");
  w.End(0);
  Expect(IsWindow(main) != FALSE, "End does not close the main window");
}

}  // namespace

int main() {
  HINSTANCE inst = GetModuleHandleW(nullptr);
  HWND main = CreateWindowExW(0, L"STATIC", L"binding check", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300,
                              nullptr, LoadMenuW(inst, MAKEINTRESOURCEW(IDM_MAIN)), inst, nullptr);
  CreateWindowExW(0, L"LISTBOX", L"", WS_CHILD | LBS_HASSTRINGS, 0, 0, 200, 100, main,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDW_LOG_LIST)), inst, nullptr);
  if (!main) {
    std::printf("FAILED: no main window\n");
    return 1;
  }
  ShowWindow(main, SW_SHOW);
  kvl::win::Win32Services ui(inst);
  ui.AttachMain(main);

  CheckModelessSetpointDialog(ui);
  CheckModalNetworkDialog(ui);
  CheckFailures(ui);
  CheckServices(ui, main);

  DestroyWindow(main);
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
