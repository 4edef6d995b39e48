// State of the single-regulator program regsolo, grouped by owner, and the
// context every command, dialog and polling tick of that program works with.
// Tables "by port" have one entry per port index 0..9; the entry of port0 is
// the one meant wherever a table is named without an index.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "lineops/reading.h"
#include "protocol/exchange_log.h"
#include "protocol/frame.h"
#include "serial/link.h"
#include "solo/solo_flags.h"
#include "solo/solo_line.h"
#include "view/view.h"

namespace kvl::solo {

// The polling timer of the main window and its period.
enum : int {
  kTimerPoll = 1,
  kPollMs = 700,
};

// Valve state shown in the status block.
enum : uint8_t {
  kValveClosed = 0,
  kValveOpen = 1,
  kValveRegulating = 2,
  kValveAnalog = 3,
  kValveUnknown = 4,
};

struct SoloState {
  SoloState() { nofcan.fill(1); }

  // Request and receive buffers of every exchange, and the exchange log.
  Request rq;
  Answer ans;
  ExchangeLog log;

  int port0 = 0;                             // current port; every transaction uses it
  std::array<uint8_t, kPortCount> nofcan;    // regulator address by port
  std::array<uint8_t, kPortCount> fsvjac{};  // regulator answered identify, by port
  std::array<PortFlags, kPortCount> port{};  // freg, fopzi, favari by port
  std::array<int, kPortCount> flist{};       // setpoint window open, by port
  StatusFlags flags;                         // decoded status, flagPres included
  uint8_t fsatbor = kValveUnknown;
  int m_tim1 = 0;            // polling timer running
  unsigned version_KVL = 0;  // device format byte
  int nUartIndex = 1;        // 0 = 9600, 1 = 19200, 2 = 38400 baud
  double d_rasx = 100.0;     // percent to device units (0.01 %)
  std::string buf1;          // status line of the status block

  // Recording of the polled values (--csv): the file, when asked for, and the
  // serial number from the last identify answer for its rows.
  std::unique_ptr<ops::CsvFile> csv;
  uint32_t serial = 0;

  uint8_t Address() const { return nofcan[port0]; }
  bool Connected() const { return fsvjac[port0] != 0; }
  PortFlags& Current() { return port[port0]; }
  const PortFlags& Current() const { return port[port0]; }
};

struct SoloContext {
  SoloState& s;
  ByteLink& link;
  Services& ui;
  SoloLine& line;  // every exchange, one command at a time
};

}  // namespace kvl::solo
