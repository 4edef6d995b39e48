// In-memory link for unit tests: records every frame written and answers through
// a scripted responder, whose blocks are fed through the real framing rule.
//
// Faults a test can inject: scripted write results, a stalled write, a failed
// read, a port that goes away, and answers that come late (from another
// thread, as a port's watcher would deliver them).
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "serial/link.h"

namespace kvl {

class FakeLink : public ByteLink {
 public:
  using Bytes = std::vector<uint8_t>;
  // Returns the blocks the "device" sends back for a frame (empty: silence).
  using Responder = std::function<std::vector<Bytes>(int port, const Bytes& frame)>;

  struct Written {
    int port;
    Bytes frame;
  };

  FakeLink() = default;
  ~FakeLink() override;
  FakeLink(const FakeLink&) = delete;
  FakeLink& operator=(const FakeLink&) = delete;

  void SetResponder(Responder r) { responder_ = std::move(r); }
  bool Open(int port, bool watch) override;
  bool Ready() const override { return !failEvents; }
  bool IsOpen(int port) const override;
  bool Lost(int port) const override;
  bool SetSpeed(int port, int speedIndex) override;
  void Close(int port) override;
  WriteResult Write(int port, const uint8_t* p, size_t n) override;

  // The port goes away (adapter pulled): its watcher reports the failed read,
  // Lost is true and writes say kPortLost until the port is closed.
  void LosePort(int port);

  // Script and inspection.
  std::vector<Written> written;
  std::array<bool, kPortCount> failOpen{};     // Open of that port fails
  std::array<bool, kPortCount> failWatcher{};  // its watcher cannot start (Open fails)
  bool failEvents = false;                     // the link's events cannot be made
  std::array<bool, kPortCount> failSpeed{};    // SetSpeed of that port fails
  std::array<int, kPortCount> speed{};         // last speed index set (1 after Open)
  std::array<bool, kPortCount> watched{};      // opened with a watcher
  std::vector<WriteResult> writeScript;        // results of the next writes, in order
  int opens = 0, closes = 0;
  // Every write blocks this long before it returns (a driver that stalls).
  unsigned writeStallMs = 0;
  // The next readErrors frames written get a failed read instead of an answer.
  int readErrors = 0;
  // Delay of the answer to a frame in ms; 0 answers within Write. A late
  // answer that finds its port closed (or opened again) is dropped.
  std::function<unsigned(int port, const Bytes& frame)> answerDelay;

 private:
  struct Late {
    std::chrono::steady_clock::time_point due;
    int port;
    unsigned opening;
    std::vector<Bytes> blocks;
  };
  void Deliver();

  std::array<bool, kPortCount> open_{};
  std::array<bool, kPortCount> lost_{};
  Responder responder_;

  // Late answers: delivered by one thread, in the order they are due.
  std::mutex lateMutex_;
  std::condition_variable lateCv_;
  std::vector<Late> late_;
  std::array<unsigned, kPortCount> opening_{};  // counts the openings of each port
  bool stop_ = false;
  std::thread deliverer_;
};

// A well-formed answer in the maker's protocol: the 8 given bytes and their sum.
FakeLink::Bytes KormastAnswer(std::array<uint8_t, 8> b);
// A Modbus answer: the given bytes followed by their CRC, low byte first.
FakeLink::Bytes ModbusAnswer(FakeLink::Bytes b);

}  // namespace kvl
