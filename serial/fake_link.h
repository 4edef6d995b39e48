// In-memory link for unit tests: records every frame written and answers through
// a scripted responder, whose blocks are fed through the real framing rule.
#pragma once

#include <array>
#include <functional>
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

  void SetResponder(Responder r) { responder_ = std::move(r); }
  bool Open(int port, bool watch) override;
  bool IsOpen(int port) const override;
  bool SetSpeed(int port, int speedIndex) override;
  void Close(int port) override;
  WriteResult Write(int port, const uint8_t* p, size_t n) override;
  Receiver& Rx(int port) override;
  std::vector<LinkNotice> TakeNotices() override;

  // Script and inspection.
  std::vector<Written> written;
  std::array<bool, kPortCount> failOpen{};   // Open of that port fails
  std::array<bool, kPortCount> failSpeed{};  // SetSpeed of that port fails
  std::array<int, kPortCount> speed{};       // last speed index set (1 after Open)
  std::array<bool, kPortCount> watched{};    // opened with a watcher
  std::vector<WriteResult> writeScript;      // results of the next writes, in order
  std::vector<LinkNotice> notices;
  int opens = 0, closes = 0;

 private:
  std::array<bool, kPortCount> open_{};
  std::array<Receiver, kPortCount> rx_;
  Responder responder_;
};

// A well-formed answer in the maker's protocol: the 8 given bytes and their sum.
FakeLink::Bytes KormastAnswer(std::array<uint8_t, 8> b);
// A Modbus answer: the given bytes followed by their CRC, low byte first.
FakeLink::Bytes ModbusAnswer(FakeLink::Bytes b);

}  // namespace kvl
