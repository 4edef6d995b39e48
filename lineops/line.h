// One serial line as the tools use it: a port of a byte link (POSIX or Win32),
// the protocol in force, the speed the port runs at, how many attempts an
// exchange makes and how long each waits, and where frames are traced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "serial/link.h"

namespace kvl::ops {

// Attempts of one exchange: the programs make five of 200 ms, and wait 50 ms
// before the next attempt when the port refused the write.
struct Timing {
  int attempts = 5;
  unsigned attemptMs = 200;
  unsigned refusedPauseMs = 50;
};

// Receives every frame written and every answer accepted, and notes such as
// time-outs. Called on the thread that runs the exchange.
class FrameSink {
 public:
  virtual ~FrameSink() = default;
  virtual void Frame(bool sent, int fmodbuson, const uint8_t* p, size_t n) = 0;
  virtual void Note(const std::string& text) = 0;
};

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
  bool Lost();
  void MarkLost() { lost_ = true; }
  // True when the port's watcher has reported a problem since the last call.
  bool TakeTrouble();

  // Speed index 0 = 9600, 1 = 19200, 2 = 38400. On an open port the port is
  // switched at once; false when it refuses (the old speed stays in force).
  bool SetSpeed(int speedIndex);
  int SpeedIndex() const { return speed_; }

  // 0 = "Кормаст-10м", 1 = Modbus RTU.
  void SetProtocol(int fmodbuson) { fmodbuson_ = fmodbuson ? 1 : 0; }
  int Protocol() const { return fmodbuson_; }

  Timing timing;
  void SetTrace(FrameSink* t) { trace_ = t; }
  FrameSink* Trace() const { return trace_; }

  ByteLink& Link() { return link_; }
  int Port() const { return port_; }

 private:
  ByteLink& link_;
  int port_;
  int speed_ = 1;
  int fmodbuson_ = 0;
  bool lost_ = false;
  FrameSink* trace_ = nullptr;
};

// Protocol names of the tools' options, CSV and JSON: "kormast", "modbus".
const char* ProtocolName(int fmodbuson);
// Protocol names as the programs show them: "Кормаст-10м", "Modbus".
const char* ProtocolTitle(int fmodbuson);

}  // namespace kvl::ops
