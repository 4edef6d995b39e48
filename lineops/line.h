// One serial line as the tools use it: a port of a byte link (POSIX or Win32),
// the protocol in force, the speed the port runs at, how many attempts an
// exchange makes and how long each waits, and where frames are traced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/exchange.h"
#include "serial/link.h"

namespace kvl::ops {

// How one exchange runs: attempts, attemptMs, refusedPauseMs (the programs
// make five attempts of 200 ms, and wait 50 ms before the next one when the
// port refused the write), and the frame trace.
using Timing = ExchangeSettings;

// Receives every frame written and every answer taken, and notes such as
// time-outs: the exchange's frame trace.
using FrameSink = kvl::FrameSink;

class Line {
 public:
  // port: the index of the port in the link's table.
  Line(ByteLink& link, int port) : link_(link), port_(port) {}
  ~Line() { Close(); }
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;

  // Opens the port with its watcher at 19200 baud, then sets the speed chosen
  // with SetSpeed before (when another). False when either fails.
  bool Open();
  void Close();
  bool IsOpen() const { return link_.IsOpen(port_); }
  // True once the port has gone away; stays true until Close.
  bool Lost() const { return link_.Lost(port_); }

  // Speed index 0 = 9600, 1 = 19200, 2 = 38400. On an open port the port is
  // switched at once; false when it refuses (the old speed stays in force).
  bool SetSpeed(int speedIndex);
  int SpeedIndex() const { return speed_; }

  // 0 = "Кормаст-10м", 1 = Modbus RTU.
  void SetProtocol(int fmodbuson) { fmodbuson_ = fmodbuson ? 1 : 0; }
  int Protocol() const { return fmodbuson_; }

  Timing timing;
  void SetTrace(FrameSink* t) { timing.trace = t; }
  FrameSink* Trace() const { return timing.trace; }

  ByteLink& Link() { return link_; }
  int Port() const { return port_; }

 private:
  ByteLink& link_;
  int port_;
  int speed_ = 1;
  int fmodbuson_ = 0;
};

// Protocol names of the tools' options, CSV and JSON: "kormast", "modbus".
const char* ProtocolName(int fmodbuson);
// Protocol names as the programs show them: "Кормаст-10м", "Modbus".
const char* ProtocolTitle(int fmodbuson);

}  // namespace kvl::ops
