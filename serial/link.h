// The byte link: the port table of ten serial ports (index 0..9 = "COM1".."COM10"),
// each opened at 19200 baud 8N1 with DTR raised, with a watcher thread for the
// current port that feeds received blocks into the port's Receiver.
//
// Implementations: Win32 overlapped I/O (the programs), POSIX termios (native
// tests and tools) and an in-memory fake (unit tests). The link reports what went
// wrong; the programs decide which message the operator sees.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "serial/receiver.h"

namespace kvl {

constexpr int kPortCount = 10;

// Outcome of one block write.
enum class WriteStatus {
  kDone,             // written and completed
  kNoHandle,         // the port is not open
  kCompletionError,  // issued, but waiting for completion failed (counts as written)
  kRefused,          // could not be issued
  kPortLost,         // the device has gone away (adapter pulled, other end hung up)
};

struct WriteResult {
  WriteStatus status = WriteStatus::kDone;
  uint32_t lineErrors = 0;  // error flags the port reported (ClearCommError)
};

// Why the last Open of a port failed.
enum class OpenFailure {
  kNone,
  kDevice,   // absent or busy, or it refused the line settings
  kWatcher,  // the device opened, but its watcher could not start (closed again)
};

// A problem seen on the watcher thread, for the main thread to show.
struct LinkNotice {
  std::string what;  // e.g. "read" for a read that failed other than pending
  uint32_t code = 0;
};

class ByteLink {
 public:
  virtual ~ByteLink() = default;
  // Port name shown to the operator: "COM1".."COM10".
  static std::string PortName(int port);
  // Opens the port at 19200 8N1, 4096-byte queues, purged, DTR raised; starts the
  // watcher when watch is true (only the current port has one). False when the
  // port cannot be opened or configured, or the watcher cannot start.
  virtual bool Open(int port, bool watch) = 0;
  // Why the last failed Open of the port failed (kNone after a success).
  OpenFailure WhyNotOpened(int port) const {
    return ValidPort(port) ? whyNot_[port] : OpenFailure::kDevice;
  }
  // False when the link could not make the events its exchanges wait on: no
  // port of it can be used, and the programs refuse to start.
  virtual bool Ready() const { return true; }
  virtual bool IsOpen(int port) const = 0;
  // True once an open port has gone away for good: the adapter was pulled, or the
  // other end of a pty closed. The watcher's wait or read failed for good, or a
  // write failed with a device-gone error. Stays true until Close; a closed port
  // is never lost. Writes to a lost port return kPortLost at once.
  virtual bool Lost(int /*port*/) const { return false; }
  // Line speed by speed index: 0 = 9600, 2 = 38400, anything else 19200.
  virtual bool SetSpeed(int port, int speedIndex) = 0;
  // Ends the watcher (returns only after it has ended), drops DTR, drops unread
  // input (bytes already written still go out), closes.
  // Closing a closed port does nothing.
  virtual void Close(int port) = 0;
  virtual WriteResult Write(int port, const uint8_t* p, size_t n) = 0;
  // The receive side of a port (valid for every index 0..9).
  Receiver& Rx(int port) { return rx_[ValidPort(port) ? port : 0]; }
  // Problems seen on the watcher threads since the last call.
  std::vector<LinkNotice> TakeNotices();
  static bool ValidPort(int port) { return port >= 0 && port < kPortCount; }

 protected:
  // Queues a problem seen on a watcher thread (any thread may call it).
  void Notice(const char* what, uint32_t code);

  // Set by each Open of a valid port.
  std::array<OpenFailure, kPortCount> whyNot_{};
  // Fed by each port's watcher, read by the exchanges on the main thread. A
  // backend's watchers have ended before its base, and so these, go away.
  std::array<Receiver, kPortCount> rx_;

 private:
  std::mutex noticesMutex_;
  std::vector<LinkNotice> notices_;
};

}  // namespace kvl
