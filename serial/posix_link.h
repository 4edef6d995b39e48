// The byte link on POSIX terminals (real serial ports, USB adapters, ptys): used by
// the native tests, the simulator's peers and the tools.
//
// Each port index maps to a device path given at construction. A port is opened
// raw 8N1 at 19200 baud without flow control, exclusive, both queues flushed and
// DTR raised. The watcher of a watched port sleeps in poll() on the device and on
// a wake-up pipe, reads blocks of at most 80 bytes and feeds the port's Receiver;
// Close wakes it through the pipe and returns only after it has ended.
//
// A port whose device hangs up or fails a read for good (adapter pulled, the
// other end of a pty closed), or whose write fails with a device-gone error
// (EIO, ENXIO, ENODEV, EPIPE), is lost until it is closed.
#pragma once

#include <array>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/link.h"

namespace kvl {

class PosixLink : public ByteLink {
 public:
  // paths[i]: device of port index i ("COM<i+1>"); empty = no such port.
  explicit PosixLink(std::array<std::string, kPortCount> paths);
  ~PosixLink() override;
  PosixLink(const PosixLink&) = delete;
  PosixLink& operator=(const PosixLink&) = delete;

  bool Open(int port, bool watch) override;
  bool IsOpen(int port) const override;
  bool Lost(int port) const override;
  bool SetSpeed(int port, int speedIndex) override;
  void Close(int port) override;
  WriteResult Write(int port, const uint8_t* p, size_t n) override;

  // Longest wait for the driver to take a frame before a write gives up.
  unsigned writeTimeoutMs = 1000;
  static constexpr size_t kBlock = 80;  // largest block handed to the receiver
  // Name of every watcher thread (visible in /proc and debuggers).
  static constexpr const char* kWatcherThreadName = "kvl-watcher";

 private:
  struct Port {
    int fd = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    std::thread watcher;
  };
  void Watch(int port, int fd, int wakeFd);

  std::array<std::string, kPortCount> paths_;
  std::array<Port, kPortCount> ports_;
  std::array<std::atomic<bool>, kPortCount> lost_{};  // set by the watcher or a write
};

}  // namespace kvl
