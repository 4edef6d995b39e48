#include "network/net_program.h"

#include "commands/menu_commands.h"
#include "network/about_box.h"
#include "network/monitor_window.h"
#include "network/polling.h"
#include "setup/network_dialog.h"
#include "setup/port_opening.h"
#include "setup/regulator_dialog.h"
#include "setup/show_menu_item.h"

namespace kvl {

NetProgram::NetProgram(const Variant& v, ByteLink& link, Services& ui)
    : state_(v),
      line_(link, state_.rq, state_.ans, state_.log, ui),
      ctx_{state_, link, ui, line_},
      monitor_(std::make_unique<MonitorWindow>(ctx_)),
      network_(std::make_unique<NetworkDialog>(ctx_)),
      regulator_(std::make_unique<RegulatorDialog>(ctx_)),
      about_(std::make_unique<AboutBox>()) {
  line_.onPortLost = [this](int port) { PortLost(port); };
}

NetProgram::~NetProgram() {
  state_.log.SetObserver(nullptr);
}

bool NetProgram::OnCreate() {
  NetState& s = state_;
  Services& ui = ctx_.ui;

  // The exchange log list box mirrors the log: oldest line out, newest in.
  s.log.SetObserver([&ui](const std::string& added, bool removedFirst) {
    if (removedFirst) ui.MainWindow().ListDelete(IDW_LOG_LIST, 0);
    ui.MainWindow().ListAdd(IDW_LOG_LIST, added);
  });

  s.port0 = 0;
  s.port1 = 1;
  SelectKormast(s.rq);
  s.fproc1end = 1;
  s.nUartIndex = 1;
  s.hCnlWnd = nullptr;
  s.hLspis = nullptr;

  const LoadResult r = LoadConfiguration(s.table, s.configPath);
  for (const Message& m : r.messages) ui.MessageBox(m.text, m.caption);
  if (r.endProgram) ui.PostQuit();  // the program ends once the message loop runs
  s.port0 = r.port0;

  for (int id : s.variant.greyAtStart) ui.MenuEnable(id, false);
  ui.MenuEnable(IDC_LOG_ON, true);
  // Without the events every exchange waits on, the window is not created.
  if (!ctx_.link.Ready()) {
    ui.MessageBox("Failed to create event for thread!", "TTY Error!", MsgButtons::kOk,
                  MsgIcon::kWarning);
    return false;
  }
  return true;
}

void NetProgram::OpenMonitor() {
  if (state_.f_okno_cnl()) return;  // one window, one timer
  Dialog* d = ctx_.ui.CreateModeless(IDD_MONITOR, *monitor_);
  if (!d) return;
  state_.hCnlWnd = d;
  ctx_.ui.StartTimer(kTimerPoll, 700);
}

void NetProgram::OnCommand(int id, int /*code*/) {
  // A command's message box is up: the menu waits for it (accelerators and
  // clicks that reach the window meanwhile do nothing).
  if (line_.Busy()) return;
  Services& ui = ctx_.ui;
  switch (id) {
    case IDC_SHOW_MONITOR:
      OpenMonitor();
      return;
    case IDC_LOG_ON:
      ui.MainWindow().Show(IDW_LOG_LIST, true);
      ui.MenuEnable(IDC_LOG_OFF, true);
      ui.MenuEnable(IDC_LOG_ON, false);
      return;
    case IDC_LOG_OFF:
      ui.MainWindow().Show(IDW_LOG_LIST, false);
      ui.MenuEnable(IDC_LOG_ON, true);
      ui.MenuEnable(IDC_LOG_OFF, false);
      return;
    case IDC_ABOUT:
      ui.RunModal(IDD_ABOUT, *about_);
      return;
    case IDC_EXIT:
      ui.PostClose();
      return;
    case IDC_NETWORK:
      ui.RunModal(IDD_NETWORK, *network_);
      MenuVivod(ctx_, state_.table.cnl2);
      return;
    case IDC_SETUP:
      state_.table.cnl2 = 0;  // the setup dialog serves channel 0
      ui.RunModal(IDD_SETUP, *regulator_);
      MenuVivod(ctx_, state_.table.cnl2);
      return;
    case IDC_EMPTY:
      return;
    default:  // device commands; other ids are ignored
      line_.Run(nullptr, [&] { HandleMenuCommand(ctx_, id); });
      return;
  }
}

void NetProgram::OnTimer(int id) {
  // A tick that comes while a command holds the line is skipped.
  if (id == kTimerPoll) line_.Run(nullptr, [&] { TimerProc1(ctx_, id); });
}

void NetProgram::PortLost(int port) {
  monitor_->CloseWindow();  // polling stops with it
  ctx_.ui.StopTimer(kTimerPoll);
  CloseConnection(ctx_, port, Caller::kMainWindow);
  UpdateShowMenuItem(ctx_, ShowMenu::kNetworkOk, nullptr);  // no channel is linked now
  MenuVivod(ctx_, state_.table.cnl2);
}

bool NetProgram::OnClose() {
  // The port and the windows a command is using stay until its box is gone.
  if (line_.Busy()) return false;
  NetState& s = state_;
  ctx_.ui.StopTimer(kTimerPoll);
  s.table.UnlinkAll();
  if (ctx_.link.IsOpen(s.port0)) CloseConnection(ctx_, s.port0, Caller::kMainWindow);
  if (ctx_.link.IsOpen(s.port1)) CloseConnection(ctx_, s.port1, Caller::kMainWindow);
  return ctx_.ui.MessageBox("OK to close window?", "КВЛ30", MsgButtons::kOkCancel,
                            MsgIcon::kQuestion, Owner::kMain) == kIdOk;
}

}  // namespace kvl
