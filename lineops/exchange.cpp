#include "lineops/exchange.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "protocol/exchange_log.h"
#include "protocol/modbus.h"

namespace kvl::ops {

namespace {

enum class Match { kOurs, kRefusal, kForeign };

// Does the accepted answer a belong to request rq (already in its wire form)?
// code and addr are the internal code and address of the request.
Match Belongs(const Request& rq, uint8_t code, uint8_t addr, const Answer& a) {
  const uint8_t* r = a.res.data();
  const auto n = static_cast<uint32_t>(a.mprob);
  if (!rq.fmodbuson) {
    if (n != kFrameSize) return Match::kForeign;
    if (addr != 0 && r[7] != addr) return Match::kForeign;
    if (r[0] == code) return Match::kOurs;
    return r[0] == 0 ? Match::kRefusal : Match::kForeign;
  }
  const uint8_t* q = rq.com.data();
  if (addr != 0 && r[0] != addr) return Match::kForeign;
  if (r[1] == (q[1] | 0x80)) return n == 5 ? Match::kRefusal : Match::kForeign;
  if (r[1] != q[1] || n != rq.rlength) return Match::kForeign;
  if (q[1] == 0x03) return r[2] == n - 5 ? Match::kOurs : Match::kForeign;
  // Writes (06, 0F) echo the register or coil address and the value or count.
  return std::equal(q + 2, q + 6, r + 2) ? Match::kOurs : Match::kForeign;
}

}  // namespace

Request NewRequest(const Line& line) {
  Request rq;
  rq.fmodbuson = line.Protocol();
  return rq;
}

ExchangeResult Exchange(Line& line, Request rq, const Timing& timing) {
  using Clock = std::chrono::steady_clock;
  ExchangeResult res;
  ByteLink& link = line.Link();
  const int port = line.Port();
  FrameSink* trace = line.Trace();
  rq.fmodbuson = line.Protocol();
  const uint8_t code = rq.com[0];
  const uint8_t addr = rq.com[7];
  if (rq.fmodbuson) {
    if (!PrebrasTuda(rq)) {  // no Modbus form: nothing can be sent
      res.outcome = Outcome::kRefused;
      if (trace) trace->Note("request " + std::to_string(code) + " has no Modbus form");
      return res;
    }
  } else {
    rq.wlength = rq.rlength = kFrameSize;
  }
  if (line.Lost()) {
    res.outcome = Outcome::kPortLost;
    return res;
  }
  Receiver& rx = link.Rx(port);
  int written = 0;
  for (int attempt = 0; attempt < timing.attempts; ++attempt) {
    ContrSum(rq);
    rx.Arm(rq.rlength, rq.fmodbuson, Framing::kNetwork, true);
    if (trace) trace->Frame(true, rq.fmodbuson, rq.com.data(), rq.wlength);
    const WriteResult w = link.Write(port, rq.com.data(), rq.wlength);
    if (w.status == WriteStatus::kPortLost || line.Lost()) {
      line.MarkLost();
      res.outcome = Outcome::kPortLost;
      return res;
    }
    if (w.status == WriteStatus::kNoHandle || w.status == WriteStatus::kRefused) {
      if (trace)
        trace->Note("write refused by the port (code " + std::to_string(w.lineErrors) + ")");
      std::this_thread::sleep_for(std::chrono::milliseconds(timing.refusedPauseMs));
      continue;
    }
    ++written;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timing.attemptMs);
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      Answer a;
      if (left <= 0 || !rx.Wait(static_cast<unsigned>(left), a)) break;
      if (trace) trace->Frame(false, rq.fmodbuson, a.res.data(), static_cast<size_t>(a.mprob));
      const Match m = Belongs(rq, code, addr, a);
      if (m == Match::kForeign) {
        if (trace) trace->Note("answer of another request dropped");
        rx.Arm(rq.rlength, rq.fmodbuson, Framing::kNetwork, true);
        continue;
      }
      res.log.push_back(rq.fmodbuson ? ModbusLine(a.res.data(), a.mprob)
                                     : KormastLine(a.res.data(), a.mprob, port));
      res.ans = a;
      if (m == Match::kRefusal) {
        res.outcome = Outcome::kRefused;
        return res;
      }
      if (rq.fmodbuson) PrebrasBack(rq, res.ans);
      res.outcome = Outcome::kAnswered;
      return res;
    }
    res.log.push_back(TimeOutLine(attempt));
    if (trace) trace->Note(TimeOutLine(attempt));
  }
  const bool trouble = line.TakeTrouble();
  if (written == 0) {
    // Not one attempt went out: with the watcher also failing, the port is gone.
    if (trouble) line.MarkLost();
    res.outcome = trouble ? Outcome::kPortLost : Outcome::kWriteFailed;
  } else if (trouble && line.Lost()) {
    res.outcome = Outcome::kPortLost;
  }
  return res;
}

}  // namespace kvl::ops
