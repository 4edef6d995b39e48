#include "sim/line.h"

#include <algorithm>

#include "protocol/frame.h"

namespace kvl::sim {

namespace {
constexpr uint8_t kJunk = 0xA5;
constexpr size_t kMaxGathered = 512;
}  // namespace

Line::Line(const LineOptions& opt, Trace& trace) : opt_(opt), trace_(trace), rng_(opt.seed) {}

Device* Line::Find(int addr) {
  for (auto& d : devices_)
    if (d.addr == addr) return &d;
  return nullptr;
}

bool Line::Add(const Device& d) {
  if (Find(d.addr)) return false;
  devices_.push_back(d);
  return true;
}

bool Line::Remove(int addr) {
  auto it = std::find_if(devices_.begin(), devices_.end(),
                         [addr](const Device& d) { return d.addr == addr; });
  if (it == devices_.end()) return false;
  devices_.erase(it);
  return true;
}

void Line::AdvanceTo(int64_t nowUs) {
  const double dtMs = static_cast<double>(nowUs - lastAdvanceUs_) / 1000.0;
  if (dtMs <= 0) return;
  for (auto& d : devices_) d.Advance(dtMs, rng_);
  lastAdvanceUs_ = nowUs;
}

void Line::Receive(const uint8_t* p, size_t n, int64_t nowUs) {
  gathered_.insert(gathered_.end(), p, p + n);
  lastRxUs_ = nowUs;
  for (;;) {
    const Detected f = DetectFrame(gathered_.data(), gathered_.size(), false, scanned_);
    if (f.proto == Proto::kNone) break;
    HandleFrame(f, nowUs);
  }
  scanned_ = gathered_.size();
  if (gathered_.size() > kMaxGathered) {
    trace_.Frame(Ms(nowUs), true, '?', gathered_);
    gathered_.clear();
    scanned_ = 0;
  }
}

void Line::ReceiveGarbled(const uint8_t* p, size_t n, unsigned senderBaud, int64_t nowUs) {
  trace_.Frame(Ms(nowUs), true, '?', Bytes(p, p + n));
  trace_.Note(Ms(nowUs), "bytes sent at " + std::to_string(senderBaud) +
                             " baud while the line runs at " + std::to_string(opt_.baud) +
                             ": not understood");
  gathered_.clear();
  scanned_ = 0;
}

void Line::Tick(int64_t nowUs) {
  if (!gathered_.empty() && nowUs - lastRxUs_ >= opt_.gapMs * 1000LL) {
    const Detected f = DetectFrame(gathered_.data(), gathered_.size(), true, scanned_);
    if (f.proto != Proto::kNone) HandleFrame(f, nowUs);
    if (!gathered_.empty()) {
      trace_.Frame(Ms(nowUs), true, '?', gathered_);
      gathered_.clear();
    }
    scanned_ = 0;
  }
  for (auto it = dropped_.begin(); it != dropped_.end();) {
    Device* d = Find(*it);
    if (!d || nowUs / 1000 >= d->faults.silentUntilMs) {
      if (d) trace_.Note(Ms(nowUs), "device " + std::to_string(*it) + " back on the line");
      it = dropped_.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& d : devices_) {
    if (nowUs / 1000 < d.faults.silentUntilMs &&
        std::find(dropped_.begin(), dropped_.end(), d.addr) == dropped_.end()) {
      dropped_.push_back(d.addr);
      trace_.Note(Ms(nowUs), "device " + std::to_string(d.addr) + " dropped off the line");
    }
  }
}

int64_t Line::NextDeadline() const {
  int64_t t = -1;
  auto take = [&t](int64_t v) { t = t < 0 ? v : std::min(t, v); };
  if (!gathered_.empty()) take(lastRxUs_ + opt_.gapMs * 1000LL);
  if (!out_.empty()) take(out_.front().dueUs);
  for (auto& d : devices_)
    if (std::find(dropped_.begin(), dropped_.end(), d.addr) != dropped_.end())
      take(d.faults.silentUntilMs * 1000);
  return t;
}

std::vector<Output> Line::TakeDue(int64_t nowUs) {
  std::vector<Output> due;
  while (!out_.empty() && out_.front().dueUs <= nowUs) {
    due.push_back(std::move(out_.front()));
    out_.pop_front();
  }
  return due;
}

void Line::SwitchBaud(unsigned baud, int64_t nowUs) {
  if (baud == opt_.baud) return;
  opt_.baud = baud;
  trace_.Note(Ms(nowUs), "line speed switched to " + std::to_string(baud));
}

void Line::HandleFrame(const Detected& f, int64_t nowUs) {
  if (f.offset > 0) {
    trace_.Frame(Ms(nowUs), true, '?', Bytes(gathered_.begin(), gathered_.begin() + f.offset));
  }
  const Bytes req(gathered_.begin() + f.offset, gathered_.begin() + f.offset + f.length);
  gathered_.erase(gathered_.begin(), gathered_.begin() + f.offset + f.length);
  scanned_ = 0;  // what follows the frame was not searched on its own
  trace_.Frame(Ms(nowUs), true, ProtoLetter(f.proto), req);
  AdvanceTo(nowUs);
  Tick(nowUs);  // note dropouts before judging who answers

  const bool kormast = f.proto == Proto::kKormast;
  const uint8_t target = kormast ? req[7] : req[0];
  const bool getnet = kormast && req[0] == CMD_GETNET;
  const bool broadcast = kormast ? (getnet && target == 0) : target == 0;
  const int64_t nowMs = Ms(nowUs);

  // Choose the devices first: an address change inside the loop must not make a
  // device answer twice. Two devices may share an address after an address change;
  // both answer then, as on a real line.
  std::vector<Device*> addressed;
  for (auto& d : devices_)
    if (broadcast || d.addr == target) addressed.push_back(&d);
  if (addressed.empty() && kormast && req[0] == CMD_IDENT &&
      req[1] == (target == 255 ? 1 : target + 1))
    trace_.Note(nowMs,
                "closing frame for address " + std::to_string(target) + " (no device there)");

  for (Device* d : addressed) {
    const int addr = d->addr;
    if (!Hears(*d)) continue;
    if (!(kormast ? d->kormast : d->modbus)) continue;  // speaks only the other protocol
    if (d->Silent(nowMs)) continue;
    // A device that answers only from the Nth copy of the same request.
    if (req == d->lastRequest) {
      ++d->repeats;
    } else {
      d->lastRequest = req;
      d->repeats = 1;
    }
    if (d->repeats < d->faults.answerFrom) {
      trace_.Note(nowMs, "device " + std::to_string(addr) + " ignores copy " +
                             std::to_string(d->repeats) + " of the request");
      continue;
    }
    Reply r;
    if (kormast) {
      r = HandleKormast(*d, req.data(), nowMs);
    } else {
      // Modbus broadcast: reads are answered (address query), writes are done
      // without an answer.
      if (broadcast && req[1] != 0x03) {
        HandleModbus(*d, req.data(), req.size());
        continue;
      }
      r = HandleModbus(*d, req.data(), req.size());
      if (broadcast && !r.bytes.empty()) {
        r.bytes[0] = static_cast<uint8_t>(d->addr);
        Seal(r.bytes, 1);
      }
    }
    // On a real line the request is still on the wire when the program's write
    // returns: its last byte reaches the device only after its wire time.
    const int64_t heardUs = nowUs + (opt_.wire ? static_cast<int64_t>(req.size()) * ByteUs() : 0);
    Answer(*d, r, f.proto, heardUs);
  }
}

void Line::Answer(Device& d, const Reply& r, Proto proto, int64_t nowUs) {
  const int64_t nowMs = Ms(nowUs);
  if (!r.note.empty()) trace_.Note(nowMs, r.note);
  if (r.newAddr) {
    if (Find(*r.newAddr))
      trace_.Note(nowMs, "address " + std::to_string(*r.newAddr) + " is now used twice");
    trace_.Note(nowMs, "device " + std::to_string(d.addr) + " now at address " +
                           std::to_string(*r.newAddr));
    d.addr = *r.newAddr;
  }
  if (r.newBaud) d.speed = *r.newBaud;
  if (r.bytes.empty()) return;

  Bytes frame = r.bytes;
  if (d.faults.badsum) frame.back() ^= 0x5A;
  Bytes all(static_cast<size_t>(std::max(0, d.faults.garbage)), kJunk);
  all.insert(all.end(), frame.begin(), frame.end());
  all.insert(all.end(), static_cast<size_t>(std::max(0, d.faults.extra)), kJunk);

  int pauseMs = opt_.turnaroundMs;
  if (d.faults.turnaroundMaxMs > 0)
    pauseMs += std::uniform_int_distribution<int>(d.faults.turnaroundMinMs,
                                                  d.faults.turnaroundMaxMs)(rng_);
  int64_t t = std::max(nowUs, lineFreeUs_) + static_cast<int64_t>(pauseMs) * 1000;
  trace_.Frame(Ms(t), false, ProtoLetter(proto), all);

  // Split into chunks: the listed sizes, the rest in the last chunk.
  std::vector<Bytes> chunks;
  size_t pos = 0;
  for (int size : d.faults.chunks) {
    if (pos >= all.size()) break;
    const size_t n = std::min(all.size() - pos, static_cast<size_t>(std::max(1, size)));
    chunks.emplace_back(all.begin() + pos, all.begin() + pos + n);
    pos += n;
  }
  if (pos < all.size()) {
    if (chunks.empty() || d.faults.chunks.empty())
      chunks.emplace_back(all.begin() + pos, all.end());
    else
      chunks.back().insert(chunks.back().end(), all.begin() + pos, all.end());
  }

  for (size_t i = 0; i < chunks.size(); ++i) {
    if (i > 0) t += static_cast<int64_t>(d.faults.chunkDelayMs) * 1000;
    if (opt_.wire) {
      for (uint8_t b : chunks[i]) {
        t += ByteUs();
        out_.push_back({t, Bytes{b}, std::nullopt});
      }
    } else {
      out_.push_back({t, chunks[i], std::nullopt});
    }
  }
  if (r.newBaud && !out_.empty()) out_.back().baudAfter = *r.newBaud;
  lineFreeUs_ = t;
}

}  // namespace kvl::sim
