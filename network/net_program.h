// The program object of the network programs regnet9 and regnet5: the state
// grouped by owner, and the wiring between the link, the exchange and the view.
// One object per running program; the Win32 shell forwards the main window's
// messages to it, the tests drive it through the fake view and link.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "lineops/reading.h"
#include "network/channel_table.h"
#include "network/config_file.h"
#include "network/net_line.h"
#include "protocol/exchange_log.h"
#include "protocol/frame.h"
#include "serial/link.h"
#include "setup/status_flags.h"
#include "view/view.h"

namespace kvl {

// The polling timer of the main window, and the position at which
// "Вывести на экран" (IDC_SHOW_MONITOR) is inserted into the menu bar: just
// before "&Help".
enum : int {
  kTimerPoll = 1,
  kMenuShowPosition = 7,
};

struct NetState {
  explicit NetState(const Variant& v) : variant(v), table(v) {}
  const Variant& variant;
  ChannelTable table;

  // Request and receive buffers of every exchange.
  Request rq;
  Answer ans;
  ExchangeLog log;

  // Ports.
  int port0 = 0;  // the current port
  int port1 = 1;  // a second port, closed on exit when open
  int nUartIndex = 1;

  // Polling and windows.
  int fproc1end = 1;
  int f_mig = 0;
  // The channel monitor window while it exists.
  Dialog* hCnlWnd = nullptr;
  bool f_okno_cnl() const { return hCnlWnd != nullptr; }
  // The setpoint dialog while it exists, and the port it was opened on.
  Dialog* hLspis = nullptr;
  int lspisPort = -1;
  // The setpoint dialog is open on that port.
  bool flist(int port) const { return hLspis && lspisPort == port; }
  // Logic of the last setpoint dialog. Only one setpoint dialog exists at a
  // time, so this is replaced only when the previous dialog is gone (closed by
  // itself or by the monitor window).
  std::unique_ptr<DialogLogic> setpointLogic;
  int f_menu_kanal = 0;

  // Network formation dialog.
  int canal = 0;

  // Last identify answer's format byte and the valve hold flags it gave.
  unsigned version_KVL = 0;
  CommandHold hold;

  // The configuration file, relative to the current directory.
  std::string configPath = kConfigFile;

  // Where every polled value is appended (--csv), when asked for.
  std::unique_ptr<ops::CsvFile> csv;
};

// What every command, dialog and poll of the network programs works with.
struct NetContext {
  NetState& s;
  ByteLink& link;
  Services& ui;
  NetLine& line;  // every exchange, one command at a time
};

class MonitorWindow;
class NetworkDialog;
class RegulatorDialog;
class AboutBox;

// The main window's logic of regnet9 and regnet5.
class NetProgram : public MainLogic {
 public:
  NetProgram(const Variant& v, ByteLink& link, Services& ui);
  ~NetProgram() override;
  NetProgram(const NetProgram&) = delete;
  NetProgram& operator=(const NetProgram&) = delete;

  // Defaults, the configuration file and the start menu state. A missing file
  // shows its messages and ends the program once the message loop runs.
  bool OnCreate() override;
  // Menu commands and accelerators; unknown ids are ignored.
  void OnCommand(int id, int code) override;
  // Timer 1 is the polling cycle.
  void OnTimer(int id) override;
  // Stops polling, unlinks every channel, closes both ports, then asks the
  // operator; true when the window may be destroyed. Refused while a command
  // holds the line (its message box is up).
  bool OnClose() override;

  // Appends every polled value to the CSV file at path (nothing when empty).
  void RecordTo(const std::string& path) {
    state_.csv = path.empty() ? nullptr : std::make_unique<ops::CsvFile>(path);
  }

  NetState& State() { return state_; }
  NetContext& Context() { return ctx_; }
  NetLine& Line() { return line_; }

 private:
  void OpenMonitor();
  // The port has gone away: what "Закрыть порт " does, polling stopped and
  // the monitor window closed, the channel commands greyed.
  void PortLost(int port);

  NetState state_;
  NetLine line_;
  NetContext ctx_;
  std::unique_ptr<MonitorWindow> monitor_;
  std::unique_ptr<NetworkDialog> network_;
  std::unique_ptr<RegulatorDialog> regulator_;
  std::unique_ptr<AboutBox> about_;
};

}  // namespace kvl
