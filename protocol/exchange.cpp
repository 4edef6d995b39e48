#include "protocol/exchange.h"

#include <chrono>
#include <string>
#include <thread>

#include "protocol/answer_match.h"
#include "protocol/exchange_log.h"
#include "protocol/modbus.h"

namespace kvl {

namespace {

// The trace's note of a write that did not simply complete.
std::string WriteNote(const WriteResult& w) {
  const std::string code = " (code " + std::to_string(w.lineErrors) + ")";
  switch (w.status) {
    case WriteStatus::kNoHandle:
      return "write: the port is not open";
    case WriteStatus::kCompletionError:
      return "write issued, its completion failed" + code;
    case WriteStatus::kRefused:
      return "write refused by the port" + code;
    case WriteStatus::kPortLost:
      return "write: the port has gone away";
    case WriteStatus::kDone:
      break;
  }
  return "write done";
}

}  // namespace

ExchangeResult Exchange(ByteLink& link, int port, Request& rq, Answer& ans,
                        const ExchangeSettings& st) {
  ExchangeResult r;
  const bool solo = st.framing == Framing::kSolo;
  const int modbus = solo ? 0 : rq.fmodbuson;
  if (modbus && !PrebrasTuda(rq)) {
    if (st.trace) st.trace->Note("request " + std::to_string(rq.com[0]) + " has no Modbus form");
    r.outcome = Outcome::kWriteFailed;
    return r;
  }
  // The single-regulator program always sends and expects 10-byte frames.
  const uint32_t wlen = solo ? static_cast<uint32_t>(kFrameSize) : rq.wlength;
  AnswerRule rule = AnswerRule::Of(rq);
  rule.fmodbuson = modbus;
  if (solo) rule.rlength = kFrameSize;

  Receiver& rx = link.Rx(port);
  bool written = false, answered = false, lost = false;
  for (int attempt = 0; attempt < st.attempts && !answered; ++attempt) {
    lost = link.Lost(port);
    if (lost) break;
    ContrSum(rq.com.data(), wlen, modbus);
    rule.request = rq.com;
    rx.Arm(rule, st.framing, !solo);
    ++r.attempts;
    if (st.trace) st.trace->Frame(true, modbus, rq.com.data(), wlen);
    const WriteResult w = link.Write(port, rq.com.data(), wlen);
    if (w.status != WriteStatus::kDone) {
      r.writeProblems.push_back(w);
      if (st.trace) st.trace->Note(WriteNote(w));
    }
    lost = w.status == WriteStatus::kPortLost;
    if (lost) break;
    if (w.status == WriteStatus::kNoHandle || w.status == WriteStatus::kRefused) {
      std::this_thread::sleep_for(std::chrono::milliseconds(st.refusedPauseMs));
      continue;
    }
    written = true;  // a completion error counts as sent: the device may have heard it
    answered = rx.Wait(st.attemptMs, ans);
    if (const unsigned dropped = st.trace ? rx.Dropped() : 0)
      st.trace->Note(std::to_string(dropped) + " answer(s) of another request dropped");
    if (answered) break;
    if (modbus) r.diagnostic = rx.Diagnostic();
    r.log.push_back(TimeOutLine(attempt));
    if (st.trace) st.trace->Note(r.log.back());
  }

  if (answered) {
    const auto n = static_cast<size_t>(ans.mprob);
    r.raw.assign(ans.res.begin(), ans.res.begin() + static_cast<long>(n));
    if (st.trace) st.trace->Frame(false, modbus, r.raw.data(), r.raw.size());
    if (modbus && IsModbusException(ans.res.data(), n)) {
      r.outcome = Outcome::kRefused;
      r.log.push_back(ModbusLine(ans.res.data(), ans.mprob));
    } else {
      r.outcome = Outcome::kAnswered;
      if (modbus) PrebrasBack(rq, ans);
    }
  } else {
    rx.Gathered(ans);
    r.outcome = lost || link.Lost(port) ? Outcome::kPortLost
                : written               ? Outcome::kSilent
                                        : Outcome::kWriteFailed;
  }
  r.notices = link.TakeNotices();
  return r;
}

}  // namespace kvl
