// A simulated line driven by hand in tests: requests built with the programs' own
// builders and translation, answers collected from the line's schedule.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "protocol/commands.h"
#include "protocol/frame.h"
#include "protocol/modbus.h"
#include "sim/device_text.h"
#include "sim/line.h"
#include "support/frame_checks.h"

namespace kvl::sim::test {

struct Bench {
  explicit Bench(LineOptions o = {}) : line(o, trace) { trace.KeepLines(true); }

  Device& Add(const std::string& text) {
    Device d;
    const std::string err = ParseDevice(text, line.Baud(), d);
    if (!err.empty()) throw std::runtime_error(err);
    line.Add(d);
    return *line.Find(d.addr);
  }

  // Sends raw bytes; returns every byte the line puts out within horizonMs,
  // with the times they are due (microseconds) when wanted.
  Bytes Send(const Bytes& req, int horizonMs = 5000, std::vector<Output>* outs = nullptr) {
    line.Receive(req.data(), req.size(), now);
    const int64_t until = now + horizonMs * 1000LL;
    Bytes all;
    for (int64_t t = now; t <= until; t += 1000) {
      line.Tick(t);
      for (Output& o : line.TakeDue(t)) {
        all.insert(all.end(), o.bytes.begin(), o.bytes.end());
        if (o.baudAfter) line.SwitchBaud(*o.baudAfter, t);
        if (outs) outs->push_back(o);
      }
      if (!line.Pending()) break;
    }
    now += 100'000;  // the next request 100 ms later
    return all;
  }

  // Sends the internal frame in rq as a "Кормаст-10м" request.
  Bytes Kormast(Request rq) {
    ContrSum(rq.com.data(), 10, 0);
    return Send(Bytes(rq.com.begin(), rq.com.end()));
  }

  // Translates the internal frame in rq to Modbus as the programs do, sends it and
  // returns the raw answer; rq keeps the translation state for PrebrasBack.
  Bytes Modbus(Request& rq) {
    rq.fmodbuson = 1;
    if (!PrebrasTuda(rq)) throw std::runtime_error("no Modbus form");
    ContrSum(rq.com.data(), rq.wlength, 1);
    return Send(Bytes(rq.com.begin(), rq.com.begin() + rq.wlength));
  }

  // The Modbus answer translated back into the internal layout.
  Bytes ModbusBack(Request& rq) {
    Bytes a = Modbus(rq);
    if (a.size() < 5) return a;
    Answer ans;
    std::copy(a.begin(), a.end(), ans.res.begin());
    PrebrasBack(rq, ans);
    return Bytes(ans.res.begin(), ans.res.begin() + 10);
  }

  bool TraceHas(const std::string& part) const {
    for (const auto& l : trace.Lines())
      if (l.find(part) != std::string::npos) return true;
    return false;
  }

  Trace trace;
  Line line;
  int64_t now = 1'000'000;
};

inline uint16_t Word(const Bytes& b, size_t at) {
  return static_cast<uint16_t>(b.at(at) << 8 | b.at(at + 1));
}

using kvl::test::KormastValid;
using kvl::test::ModbusValid;

}  // namespace kvl::sim::test
