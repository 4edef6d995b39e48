#include "serial/fake_link.h"

namespace kvl {

bool FakeLink::Open(int port, bool watch) {
  if (!ValidPort(port) || failOpen[port]) return false;
  open_[port] = true;
  watched[port] = watch;
  speed[port] = 1;
  ++opens;
  return true;
}

bool FakeLink::IsOpen(int port) const {
  return ValidPort(port) && open_[port];
}

bool FakeLink::SetSpeed(int port, int speedIndex) {
  if (!IsOpen(port) || failSpeed[port]) return false;
  speed[port] = speedIndex;
  return true;
}

void FakeLink::Close(int port) {
  if (!IsOpen(port)) return;
  open_[port] = false;
  watched[port] = false;
  ++closes;
}

WriteResult FakeLink::Write(int port, const uint8_t* p, size_t n) {
  if (!IsOpen(port)) return {WriteStatus::kNoHandle, 0};
  WriteResult r;
  if (!writeScript.empty()) {
    r = writeScript.front();
    writeScript.erase(writeScript.begin());
  }
  if (r.status == WriteStatus::kRefused || r.status == WriteStatus::kNoHandle) return r;
  Bytes frame(p, p + n);
  written.push_back({port, frame});
  if (responder_)
    for (const Bytes& block : responder_(port, frame))
      rx_[port].OnBlock(block.data(), block.size());
  return r;
}

Receiver& FakeLink::Rx(int port) {
  return rx_[ValidPort(port) ? port : 0];
}

std::vector<LinkNotice> FakeLink::TakeNotices() {
  std::vector<LinkNotice> n;
  n.swap(notices);
  return n;
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
