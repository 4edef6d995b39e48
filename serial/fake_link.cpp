#include "serial/fake_link.h"

#include <algorithm>
#include <cerrno>

namespace kvl {

FakeLink::~FakeLink() {
  {
    std::lock_guard<std::mutex> lk(lateMutex_);
    stop_ = true;
  }
  lateCv_.notify_all();
  if (deliverer_.joinable()) deliverer_.join();
}

bool FakeLink::Open(int port, bool watch) {
  if (!ValidPort(port)) return false;
  whyNot_[port] = failOpen[port] ? OpenFailure::kDevice : OpenFailure::kWatcher;
  if (failOpen[port] || (watch && failWatcher[port])) return false;
  whyNot_[port] = OpenFailure::kNone;
  {
    std::lock_guard<std::mutex> lk(lateMutex_);
    open_[port] = true;
    ++opening_[port];
  }
  lost_[port] = false;
  watched[port] = watch;
  speed[port] = 1;
  ++opens;
  return true;
}

bool FakeLink::IsOpen(int port) const {
  return ValidPort(port) && open_[port];
}

bool FakeLink::Lost(int port) const {
  return IsOpen(port) && lost_[port];
}

void FakeLink::LosePort(int port) {
  if (!IsOpen(port) || lost_[port]) return;
  lost_[port] = true;
  Notice("read", EIO);
}

bool FakeLink::SetSpeed(int port, int speedIndex) {
  if (!IsOpen(port) || failSpeed[port]) return false;
  speed[port] = speedIndex;
  return true;
}

void FakeLink::Close(int port) {
  if (!IsOpen(port)) return;
  {
    std::lock_guard<std::mutex> lk(lateMutex_);
    open_[port] = false;
  }
  lost_[port] = false;
  watched[port] = false;
  ++closes;
}

WriteResult FakeLink::Write(int port, const uint8_t* p, size_t n) {
  if (!IsOpen(port)) return {WriteStatus::kNoHandle, 0};
  if (lost_[port]) return {WriteStatus::kPortLost, EIO};
  if (writeStallMs) std::this_thread::sleep_for(std::chrono::milliseconds(writeStallMs));
  WriteResult r;
  if (!writeScript.empty()) {
    r = writeScript.front();
    writeScript.erase(writeScript.begin());
  }
  if (r.status == WriteStatus::kPortLost) LosePort(port);
  if (r.status != WriteStatus::kDone && r.status != WriteStatus::kCompletionError) return r;
  Bytes frame(p, p + n);
  written.push_back({port, frame});
  if (readErrors > 0) {
    --readErrors;
    Notice("read", EIO);
    return r;
  }
  if (!responder_) return r;
  std::vector<Bytes> blocks = responder_(port, frame);
  const unsigned delay = answerDelay ? answerDelay(port, frame) : 0;
  if (delay == 0 || blocks.empty()) {
    for (const Bytes& block : blocks) rx_[port].OnBlock(block.data(), block.size());
    return r;
  }
  std::lock_guard<std::mutex> lk(lateMutex_);
  late_.push_back({std::chrono::steady_clock::now() + std::chrono::milliseconds(delay), port,
                   opening_[port], std::move(blocks)});
  if (!deliverer_.joinable()) deliverer_ = std::thread(&FakeLink::Deliver, this);
  lateCv_.notify_all();
  return r;
}

void FakeLink::Deliver() {
  std::unique_lock<std::mutex> lk(lateMutex_);
  while (!stop_) {
    if (late_.empty()) {
      lateCv_.wait(lk);
      continue;
    }
    auto next = std::min_element(late_.begin(), late_.end(),
                                 [](const Late& a, const Late& b) { return a.due < b.due; });
    if (const auto due = next->due; std::chrono::steady_clock::now() < due) {
      lateCv_.wait_until(lk, due);  // (late_ may grow meanwhile: no reference into it)
      continue;
    }
    const Late l = std::move(*next);
    late_.erase(next);
    // Delivered under the lock: a port closed meanwhile gets nothing.
    if (open_[l.port] && opening_[l.port] == l.opening)
      for (const Bytes& block : l.blocks) rx_[l.port].OnBlock(block.data(), block.size());
  }
}

FakeLink::Bytes KormastAnswer(std::array<uint8_t, 8> b) {
  FakeLink::Bytes out(b.begin(), b.end());
  out.resize(10);
  ContrSum(out.data(), 10, 0);
  return out;
}

FakeLink::Bytes ModbusAnswer(FakeLink::Bytes b) {
  b.resize(b.size() + 2);
  uint16_t c = Crc16(b.data(), b.size() - 2);
  b[b.size() - 2] = static_cast<uint8_t>(c & 0xFF);
  b[b.size() - 1] = static_cast<uint8_t>(c >> 8);
  return b;
}

}  // namespace kvl
