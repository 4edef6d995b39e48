// The program object of the network programs regnet9 and regnet5: the state
// grouped by owner, and the wiring between the link, the transaction and the view.
// One object per running program; the Win32 shell forwards the main window's
// messages to it, the tests drive it through the fake view and link.
#pragma once

#include <array>

#include "network/channel_table.h"
#include "protocol/exchange_log.h"
#include "protocol/frame.h"
#include "protocol/transaction.h"
#include "serial/link.h"
#include "setup/status_flags.h"
#include "shell/view.h"

namespace kvl {

// Menu and timer ids of the main window.
enum : int {
  kTimerPoll = 1,
  kMenuShowMonitor = 836,  // "Вывести на экран", inserted into the menu bar
  kMenuShowPosition = 7,   // its position: just before "&Help"
  kListLogId = 10001,      // the exchange log list box
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
  int f_okno_cnl = 0;
  Dialog* hCnlWnd = nullptr;  // channel monitor window while it exists
  std::array<int, kPortCount> flist{};
  Dialog* hLspis = nullptr;  // setpoint dialog while it exists
  int f_menu_kanal = 0;

  // Network formation dialog.
  int canal = 0;

  // Last identify answer's format byte and the valve hold flags it gave.
  unsigned version_KVL = 0;
  CommandHold hold;
};

// What every command, dialog and poll of the network programs works with.
struct NetContext {
  NetState& s;
  ByteLink& link;
  Services& ui;
  Transaction& tx;
};

}  // namespace kvl
