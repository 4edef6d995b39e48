// One RS-485 line with its regulators: gathers the bytes that arrive, finds the
// requests in them, lets the addressed devices answer, and schedules the answers
// with the injected faults, the turnaround delay and (when asked) the wire time of
// every byte at the line speed. Time is given by the caller in microseconds, so the
// line runs the same in tests and on a real port.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "sim/device.h"
#include "sim/framer.h"
#include "sim/trace.h"

namespace kvl::sim {

struct LineOptions {
  unsigned baud = 19200;
  bool wire = false;     // emulate the wire time of each byte
  int turnaroundMs = 0;  // pause between request and answer
  int gapMs = 30;        // silence after which gathered bytes are judged
  uint32_t seed = 1;
};

// Bytes to put on the line at a given time, and what follows them.
struct Output {
  int64_t dueUs = 0;
  Bytes bytes;
  std::optional<unsigned> baudAfter;  // switch the line speed once these are out
};

class Line {
 public:
  Line(const LineOptions& opt, Trace& trace);

  std::vector<Device>& Devices() { return devices_; }
  Device* Find(int addr);
  // Adds a device; false when the address is taken.
  bool Add(const Device& d);
  bool Remove(int addr);

  // Bytes received from the line at nowUs.
  void Receive(const uint8_t* p, size_t n, int64_t nowUs);
  // Bytes sent at a speed other than the line's: the devices hear only noise.
  void ReceiveGarbled(const uint8_t* p, size_t n, unsigned senderBaud, int64_t nowUs);
  // Judges gathered bytes after a gap, notes devices that come back.
  void Tick(int64_t nowUs);
  // Brings every device's flow up to nowUs.
  void AdvanceTo(int64_t nowUs);
  // Earliest time something must happen (gap end, output due); -1 for nothing.
  int64_t NextDeadline() const;
  // Outputs due at nowUs, in order.
  std::vector<Output> TakeDue(int64_t nowUs);
  // The line speed switched (called once the answer before the switch is out).
  void SwitchBaud(unsigned baud, int64_t nowUs);

  unsigned Baud() const { return opt_.baud; }
  int64_t Ms(int64_t us) const { return us / 1000; }
  Trace& GetTrace() { return trace_; }
  bool Pending() const { return !gathered_.empty() || !out_.empty(); }
  // Bytes received and not yet taken as a request or dropped.
  size_t Gathered() const { return gathered_.size(); }

 private:
  void HandleFrame(const Detected& f, int64_t nowUs);
  void Answer(Device& d, const Reply& r, Proto proto, int64_t nowUs);
  bool Hears(const Device& d) const { return d.speed == opt_.baud; }
  int64_t ByteUs() const { return 10'000'000 / static_cast<int64_t>(opt_.baud); }

  LineOptions opt_;
  Trace& trace_;
  std::vector<Device> devices_;
  std::mt19937 rng_;
  Bytes gathered_;
  size_t scanned_ = 0;  // leading bytes of gathered_ already searched without a find
  int64_t lastRxUs_ = 0;
  int64_t lastAdvanceUs_ = 0;
  int64_t lineFreeUs_ = 0;  // when the last scheduled answer is out
  std::deque<Output> out_;
  std::vector<int> dropped_;  // devices in a dropout, to note their return
};

}  // namespace kvl::sim
