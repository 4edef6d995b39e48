// Test peers on pseudo-terminals: a scripted device on the master side of a pty
// (the link under test opens the slave path), and a null-modem bridge between two
// ptys for peers that want a device path of their own (libmodbus).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kvl::test {

using Bytes = std::vector<uint8_t>;

// A pty with raw line settings; the slave stays open so the master never sees a
// hang-up while the link under test is closed.
class PtyPair {
 public:
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;
  int master() const { return master_; }
  int slave() const { return slave_; }
  const std::string& path() const { return path_; }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

// A block the device sends, after a pause.
struct Chunk {
  unsigned delayMs = 0;
  Bytes bytes;
};

// Scripted device: gathers request frames (10 bytes, or 8/10 bytes in Modbus by
// function code) and sends what the responder returns for each.
class PtyDevice {
 public:
  using Responder = std::function<std::vector<Chunk>(const Bytes& request, int index)>;
  PtyDevice(bool modbus, Responder r);
  ~PtyDevice();
  const std::string& path() const { return pty_.path(); }
  std::vector<Bytes> Requests() const;
  int master() const { return pty_.master(); }
  int slave() const { return pty_.slave(); }

 private:
  void Run();
  PtyPair pty_;
  bool modbus_;
  Responder responder_;
  int stop_[2] = {-1, -1};
  mutable std::mutex m_;
  std::vector<Bytes> requests_;
  std::thread thread_;
};

// Two ptys joined master to master: what is written to one slave comes out of the
// other.
class PtyBridge {
 public:
  PtyBridge();
  ~PtyBridge();
  const std::string& pathA() const { return a_.path(); }
  const std::string& pathB() const { return b_.path(); }

 private:
  void Run();
  PtyPair a_, b_;
  int stop_[2] = {-1, -1};
  std::thread thread_;
};

// Number of watcher threads of the POSIX link alive in this process.
int WatcherCount();
// The same count once it has reached `expected`, or after a second if it never
// does: the kernel lists a joined thread for a moment after the join returns.
int WatcherCountReaching(int expected);

}  // namespace kvl::test
