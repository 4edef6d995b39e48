// Requests, their Modbus translation, answers, the translation back, the
// exchange and the decoders of both programs, in three kinds of steps on one
// request buffer that is never cleared (as in the programs):
//
//  - any answer bytes to any request: the translation of every request kind is
//    well formed, the answer test agrees with an independent check, the
//    translation back touches only the first 10 bytes and puts the code and the
//    address where decoders look, and every decoder stays in its range and in
//    its channel;
//  - a simulated regulator of fuzzed state answers, in blocks of any size, a
//    request built by the programs and run through the exchange: the exchange
//    is answered at the first attempt (or refused when the device refuses), the
//    answer has the length the request expects, and decodes (status layouts of
//    both programs, valve, flow, setpoint, speed, address) to the state the
//    regulator has;
//  - an exchange of any request on a fake link with faults injected (writes
//    refused, failing or losing the port, failed reads, silence, garbage,
//    answers of other devices, answers cut anywhere): its outcome agrees with
//    what happened on the link, an accepted answer belongs to the request, and
//    its log lines are the time-outs of the attempts that went unanswered and
//    the line of a refusal.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "check.h"
#include "network/config_file.h"
#include "network/valve_text.h"
#include "protocol/commands.h"
#include "protocol/exchange.h"
#include "protocol/exchange_log.h"
#include "protocol/modbus.h"
#include "serial/fake_link.h"
#include "setup/status_flags.h"
#include "sim/device.h"
#include "solo/solo_flags.h"
#include "solo/solo_status.h"

namespace {

using kvl::Request;
using Bytes = kvl::FakeLink::Bytes;
namespace cmd = kvl::cmd;
namespace sim = kvl::sim;

constexpr std::array<uint8_t, 10> kTranslatable = {
    kvl::CMD_IDENT,  kvl::CMD_GETNET, kvl::CMD_MEASURE, kvl::CMD_SPEED, kvl::CMD_KIND,
    kvl::CMD_SETNET, kvl::CMD_RASRE,  kvl::CMD_VALVE,   kvl::CMD_ZERO,  kvl::CMD_SETPOINT};

bool Translatable(uint8_t code) {
  return std::find(kTranslatable.begin(), kTranslatable.end(), code) != kTranslatable.end();
}

bool Bit01(int v) {
  return v == 0 || v == 1;
}

// One request of any kind, with arguments as the programs pass them (and the
// raw code of a damaged buffer now and then).
void BuildRequest(FuzzedDataProvider& in, Request& rq) {
  const int net = in.ConsumeIntegralInRange<int>(-1, 300);
  switch (in.ConsumeIntegralInRange<int>(0, 18)) {
    case 0:
      cmd::Ident(rq, net);
      break;
    case 1:
      cmd::GetNet(rq);
      break;
    case 2:
      cmd::GetNetAt(rq, net);
      break;
    case 3:
      cmd::Measure(rq, net);
      break;
    case 4:
      cmd::Speed(rq, net, in.ConsumeIntegralInRange<int>(-1, 3));
      break;
    case 5:
      cmd::Kind(rq, net, cmd::KindByte(in.ConsumeBool(), in.ConsumeBool()));
      break;
    case 6:
      cmd::Mode(rq, net, cmd::KindByte(in.ConsumeBool(), in.ConsumeBool()));
      break;
    case 7:
      cmd::SetNet(rq, net, in.ConsumeIntegralInRange<int>(0, 255));
      break;
    case 8:
      cmd::Rasre(rq, net, in.ConsumeBool());
      break;
    case 9:
      cmd::Valve(rq, net, in.ConsumeIntegralInRange<uint8_t>(0, 2));
      break;
    case 10:
      cmd::Date(rq, net);
      break;
    case 11:
      cmd::Zero(rq, net);
      break;
    case 12:
      cmd::InputSelect(rq, net, in.ConsumeBool());
      break;
    case 13:
      cmd::Setpoint(rq, net, in.ConsumeIntegral<uint16_t>());
      break;
    case 14:
      cmd::ClosingFrame(rq, net);
      break;
    case 15:
      cmd::ZeroOffsetRead(rq, net, in.ConsumeIntegralInRange<int>(0, 8), in.ConsumeBool());
      break;
    case 16:
      cmd::ZeroOffsetWrite(rq, net, in.ConsumeIntegralInRange<int>(0, 8), in.ConsumeBool(),
                           in.ConsumeIntegral<uint16_t>());
      break;
    case 17:
      cmd::SoloKind(rq, net, cmd::KindByte(in.ConsumeBool(), in.ConsumeBool()));
      break;
    default:
      for (auto& b : rq.com) b = in.ConsumeIntegral<uint8_t>();
      break;
  }
}

// Translates when Modbus is chosen and checks the request, then seals it.
void Translate(Request& rq, bool modbus) {
  if (!modbus) {
    kvl::SelectKormast(rq);
    kvl::ContrSum(rq);
    FUZZ_CHECK(kvl::fuzz::SumOk(rq.com.data(), 10));
    return;
  }
  kvl::SelectModbus(rq);
  const auto before = rq.com;
  const uint32_t wl = rq.wlength, rl = rq.rlength;
  const int done = kvl::PrebrasTuda(rq);
  const uint8_t* c = rq.com.data();
  FUZZ_CHECK(rq.komand == before[0]);
  FUZZ_CHECK(done == (Translatable(before[0]) ? 1 : 0));
  if (!done) {
    FUZZ_CHECK(rq.wlength == wl && rq.rlength == rl && c[0] == before[7]);
    FUZZ_CHECK(std::equal(before.begin() + 1, before.end(), rq.com.begin() + 1));
    return;
  }
  FUZZ_CHECK(c[0] == (before[0] == kvl::CMD_GETNET ? 0 : before[7]));
  const unsigned start = c[2] * 256u + c[3], count = c[4] * 256u + c[5];
  switch (c[1]) {
    case 0x03:  // read: 8 bytes, answer of 5 + 2 per register
      FUZZ_CHECK(rq.wlength == 8 && count >= 1 && rq.rlength == 5 + 2 * count);
      FUZZ_CHECK(start + count <= 7);
      break;
    case 0x06:  // write one register: echoed, 8 bytes both ways
      FUZZ_CHECK(rq.wlength == 8 && rq.rlength == 8 && start <= 6);
      if (before[0] == kvl::CMD_SETNET || before[0] == kvl::CMD_SPEED)
        FUZZ_CHECK(c[4] == 0 && c[5] == before[2]);
      if (before[0] == kvl::CMD_SETPOINT) FUZZ_CHECK(c[4] == before[2] && c[5] == before[3]);
      break;
    case 0x0F:  // write coils: one data byte that holds them
      FUZZ_CHECK(rq.wlength == 10 && rq.rlength == 8 && c[6] == 1);
      FUZZ_CHECK(count >= 1 && count <= 2 && start + count <= 7);
      break;
    default:
      FUZZ_CHECK(false);
  }
  kvl::ContrSum(rq);
  FUZZ_CHECK(kvl::fuzz::CrcOk(c, rq.wlength));
}

// Decoders of both programs on any answer bytes: flags stay 0/1, nothing
// outside the channel decoded changes, values stay in their ranges.
void DecodeAnything(FuzzedDataProvider& in, const uint8_t* res) {
  for (const kvl::Variant* v : {&kvl::kNet9, &kvl::kNet5}) {
    kvl::ChannelTable t(*v);
    const int cnl = in.ConsumeIntegralInRange<int>(-2, 11);
    const std::vector<uint8_t> before = kvl::EncodeTable(t);
    kvl::CommandHold hold;
    const int r = kvl::SetFlags(t, cnl, res, in.ConsumeIntegral<uint8_t>(), hold);
    FUZZ_CHECK(r == (t.Valid(cnl) ? 1 : 0));
    const std::vector<uint8_t> after = kvl::EncodeTable(t);
    if (t.Valid(cnl)) {  // only the record of the channel decoded may change
      const size_t from = static_cast<size_t>(cnl) * v->recordSize, to = from + v->recordSize;
      FUZZ_CHECK(std::equal(after.begin(), after.begin() + from, before.begin()));
      FUZZ_CHECK(std::equal(after.begin() + to, after.end(), before.begin() + to));
    } else {
      FUZZ_CHECK(after == before);
    }
    if (t.Valid(cnl)) {
      const kvl::tagData& d = t.Data[cnl];
      for (int f : {d.avar, d.zifra, d.regu, d.pres, d.f45pres, d.fgasset, d.f10volt, d.rasre})
        FUZZ_CHECK(Bit01(f));
      FUZZ_CHECK(Bit01(t.Satv[cnl].fm15) && Bit01(t.Satv[cnl].fp15));
      FUZZ_CHECK(Bit01(hold.fstvon) && Bit01(hold.fstvoff));
    }
  }
  kvl::solo::StatusFlags f;
  kvl::solo::PortFlags p;
  kvl::solo::SetFlags(res, in.ConsumeIntegral<uint8_t>(), f, p);
  for (int x : {f.fstvon, f.fstvoff, f.fda0, f.fgasset, f.fexternal, f.fIinter, f.fvnech, f.frasre,
                f.flagPres, p.freg, p.fopzi, p.favari})
    FUZZ_CHECK(Bit01(x));
  kvl::Satvor s;
  kvl::DecodeValveStatus(s, res[3]);
  FUZZ_CHECK(((s.fsatvor << 4) | (s.fsatoff << 3) | (s.fsaton << 2) | (s.fm15 << 1) | s.fp15) ==
             (res[3] & 0x1F));
  const int flow = kvl::solo::FlowValue(res[2], res[3]);
  FUZZ_CHECK(flow == ((res[2] & 0x80) ? -1 : 1) * (((res[2] & 0x7F) << 8) | res[3]));
  FUZZ_CHECK(kvl::solo::Word(res[4], res[5]) == res[4] * 256 + res[5]);
  const int speed = cmd::SpeedIndexFromCode(res[2]);
  FUZZ_CHECK(speed >= 0 && speed <= 2);
}

void AnyAnswer(FuzzedDataProvider& in, Request& rq) {
  BuildRequest(in, rq);
  const bool modbus = in.ConsumeBool();
  Translate(rq, modbus);
  kvl::Answer a;
  const size_t len = in.ConsumeBool() ? rq.rlength : in.ConsumeIntegralInRange<size_t>(0, 16);
  const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(len);
  std::copy(bytes.begin(), bytes.end(), a.res.begin());
  const auto n = static_cast<uint32_t>(bytes.size());
  if (in.ConsumeBool()) kvl::fuzz::Seal(a.res.data(), n, modbus);
  const int ok = kvl::Response(a.res.data(), a.res.size(), n, modbus ? 1 : 0);
  FUZZ_CHECK(ok == (kvl::fuzz::CheckOk(a.res.data(), n, modbus) ? 1 : 0));
  if (modbus) {
    const kvl::Answer old = a;
    const int back = kvl::PrebrasBack(rq, a);
    FUZZ_CHECK(back == (Translatable(rq.komand) ? 1 : 0));
    FUZZ_CHECK(std::equal(old.res.begin() + 10, old.res.end(), a.res.begin() + 10));
    FUZZ_CHECK(a.res[0] == rq.komand);
    const uint8_t* o = old.res.data();
    switch (rq.komand) {
      case kvl::CMD_MEASURE:  // flow from register 5, setpoint from register 4
        FUZZ_CHECK(a.res[2] == o[5] && a.res[3] == o[6] && a.res[4] == o[3] && a.res[5] == o[4]);
        break;
      case kvl::CMD_IDENT:
        FUZZ_CHECK(a.res[2] == o[3] && a.res[3] == o[4] && a.res[1] == o[6] && a.res[6] == o[8]);
        FUZZ_CHECK(a.res[5] == 7);
        break;
      case kvl::CMD_GETNET:
        FUZZ_CHECK(a.res[7] == o[4]);
        break;
      default:
        FUZZ_CHECK(a.res[7] == o[0]);
    }
  }
  DecodeAnything(in, a.res.data());
}

sim::Device FuzzedDevice(FuzzedDataProvider& in) {
  sim::Device d;
  d.addr = in.ConsumeIntegralInRange<int>(1, 254);
  d.pressure = in.ConsumeBool();
  d.format = in.ConsumeIntegralInRange<int>(0, 7);
  d.serial = in.ConsumeIntegral<uint16_t>();
  d.speed = in.PickValueInArray<unsigned>({9600, 19200, 38400});
  for (bool& s : d.speeds) s = in.ConsumeBool();
  d.speeds[d.speed == 9600 ? 0 : d.speed == 38400 ? 2 : 1] = true;
  d.gasset = in.ConsumeBool();
  d.pres45 = in.ConsumeBool();
  d.alarm = in.ConsumeBool();
  d.setpoint = in.ConsumeIntegralInRange<uint16_t>(0, 10000);
  d.flow = in.ConsumeFloatingPointInRange<double>(-100.0, 100.0);
  d.valve = in.PickValueInArray({sim::Valve::kRegulate, sim::Valve::kOpen, sim::Valve::kClosed});
  d.external =
      in.PickValueInArray({sim::External::kNone, sim::External::kOpen, sim::External::kClosed});
  d.regulate = in.ConsumeBool();
  d.digital = in.ConsumeBool();
  d.rasre = in.ConsumeBool();
  return d;
}

// The bytes of a line cut into blocks of fuzzed sizes, as a port delivers them.
std::vector<Bytes> Blocks(FuzzedDataProvider& in, const Bytes& line) {
  std::vector<Bytes> blocks;
  for (size_t at = 0; at < line.size();) {
    const size_t n = in.ConsumeIntegralInRange<size_t>(1, line.size() - at);
    blocks.emplace_back(line.begin() + static_cast<long>(at),
                        line.begin() + static_cast<long>(at + n));
    at += n;
  }
  return blocks;
}

// An exchange that does not wait: the fake link answers within the write.
kvl::ExchangeSettings NoWait(int attempts, bool solo) {
  kvl::ExchangeSettings st;
  st.attempts = attempts;
  st.attemptMs = 0;
  st.refusedPauseMs = 0;
  st.framing = solo ? kvl::Framing::kSolo : kvl::Framing::kNetwork;
  return st;
}

// The programs' decoding of what a simulated regulator answers.
void DeviceAnswer(FuzzedDataProvider& in, Request& rq) {
  sim::Device d = FuzzedDevice(in);
  const bool modbus = in.ConsumeBool();
  const bool solo = !modbus && in.ConsumeBool();
  const int kind = in.ConsumeIntegralInRange<int>(0, 7);
  switch (kind) {
    case 0:
      cmd::Ident(rq, d.addr);
      break;
    case 1:
      cmd::GetNetAt(rq, modbus ? 0 : d.addr);
      break;
    case 2:
      cmd::Measure(rq, d.addr);
      break;
    case 3:
      cmd::Speed(rq, d.addr, in.ConsumeIntegralInRange<int>(0, 2));
      break;
    case 4:
      cmd::SetNet(rq, d.addr, in.ConsumeIntegralInRange<int>(0, 254));
      break;
    case 5:
      cmd::Valve(rq, d.addr, in.ConsumeIntegralInRange<uint8_t>(0, 2));
      break;
    case 6:
      cmd::Setpoint(rq, d.addr, in.ConsumeIntegralInRange<uint16_t>(0, 10000));
      break;
    default:
      cmd::Kind(rq, d.addr, cmd::KindByte(in.ConsumeBool(), in.ConsumeBool()));
      break;
  }
  const uint8_t code = rq.com[0];
  if (modbus)
    kvl::SelectModbus(rq);
  else
    kvl::SelectKormast(rq);
  kvl::FakeLink link;
  link.Open(0, true);
  sim::Reply r;
  link.SetResponder([&](int, const Bytes& frame) {
    r = modbus ? sim::HandleModbus(d, frame.data(), frame.size())
               : sim::HandleKormast(d, frame.data(), 0);
    return Blocks(in, r.bytes);
  });
  kvl::Answer a;
  const kvl::ExchangeResult x = kvl::Exchange(link, 0, rq, a, NoWait(1, solo));
  FUZZ_CHECK(x.attempts == 1 && link.written.size() == 1);
  if (r.bytes.empty()) {
    FUZZ_CHECK(x.outcome == kvl::Outcome::kSilent);
    return;
  }
  FUZZ_CHECK(x.raw == r.bytes);
  const auto n = static_cast<uint32_t>(r.bytes.size());
  if (modbus && n == 5 && (r.bytes[1] & 0x80)) {  // refused (valve held, speed not taken)
    FUZZ_CHECK(x.outcome == kvl::Outcome::kRefused);
    return;
  }
  FUZZ_CHECK(x.outcome == kvl::Outcome::kAnswered && x.log.empty());
  FUZZ_CHECK(n == rq.rlength && a.mprob == static_cast<int32_t>(n));
  const uint8_t* res = a.res.data();
  FUZZ_CHECK(res[0] == code || (code == kvl::CMD_VALVE && res[0] == 0));  // 0: valve refused
  if (r.newAddr) d.addr = *r.newAddr;
  if (r.newBaud) d.speed = *r.newBaud;
  const bool extOpen = d.external == sim::External::kOpen;
  const bool extClosed = d.external == sim::External::kClosed;
  switch (code) {
    case kvl::CMD_IDENT: {
      FUZZ_CHECK(res[7] == d.addr && res[2] * 256 + res[3] == d.serial);
      const bool newer = res[5] > 5;  // the Modbus translation reports format 7
      FUZZ_CHECK(modbus ? res[5] == 7 : res[5] == d.format);
      kvl::ChannelTable t(kvl::kNet9);
      t.Data[0].regu = 0;
      kvl::CommandHold hold;
      kvl::SetFlags(t, 0, res, res[5], hold);
      const kvl::tagData& c = t.Data[0];
      FUZZ_CHECK(c.pres == d.pressure && c.zifra == d.digital && c.fgasset == d.gasset);
      FUZZ_CHECK(c.f45pres == d.pres45 && c.avar == d.alarm && c.regu == d.regulate);
      FUZZ_CHECK(t.Satv[0].fm15 == extClosed && t.Satv[0].fp15 == extOpen);
      if (newer) {
        FUZZ_CHECK(c.rasre == d.rasre);
        FUZZ_CHECK(hold.fstvon == (d.valve == sim::Valve::kOpen));
        FUZZ_CHECK(hold.fstvoff == (d.valve == sim::Valve::kClosed));
      }
      kvl::solo::StatusFlags f;
      kvl::solo::PortFlags p;
      kvl::solo::SetFlags(res, res[5], f, p);
      FUZZ_CHECK(f.flagPres == d.pressure && p.fopzi == d.digital && p.freg == d.regulate);
      FUZZ_CHECK(f.fgasset == d.gasset && p.favari == d.alarm && f.frasre == d.rasre);
      FUZZ_CHECK(f.fexternal == extClosed && f.fIinter == extOpen && f.fda0 == 1);
      break;
    }
    case kvl::CMD_GETNET:
      FUZZ_CHECK(res[7] == d.addr);
      if (!modbus) FUZZ_CHECK(res[1] == d.format);
      break;
    case kvl::CMD_MEASURE: {
      const uint16_t w = d.FlowWord();
      FUZZ_CHECK(kvl::solo::FlowValue(res[2], res[3]) == ((w & 0x8000) ? -1 : 1) * (w & 0x7FFF));
      FUZZ_CHECK(std::abs(kvl::solo::FlowValue(res[2], res[3]) - d.flow * 100) <= 1.0);
      FUZZ_CHECK(kvl::solo::Word(res[4], res[5]) == d.setpoint);
      break;
    }
    case kvl::CMD_SPEED:
      FUZZ_CHECK(cmd::BaudOfIndex(cmd::SpeedIndexFromCode(res[2])) == d.speed);
      break;
    case kvl::CMD_SETNET:
      FUZZ_CHECK(res[2] == d.addr);
      break;
    case kvl::CMD_VALVE:
      if (!modbus) {
        kvl::Satvor s;
        kvl::DecodeValveStatus(s, res[3]);
        FUZZ_CHECK(s.fsaton == (d.valve == sim::Valve::kOpen));
        FUZZ_CHECK(s.fsatoff == (d.valve == sim::Valve::kClosed));
        FUZZ_CHECK(s.fm15 == extClosed && s.fp15 == extOpen);
        FUZZ_CHECK(s.fsatvor == (extOpen || (!extClosed && d.valve == sim::Valve::kOpen)));
      }
      break;
    default:
      break;
  }
}

// An exchange of any request on a fake link that misbehaves.
void ExchangeUnderFaults(FuzzedDataProvider& in, Request& rq) {
  BuildRequest(in, rq);
  const bool solo = in.ConsumeBool();
  if (in.ConsumeBool())
    kvl::SelectModbus(rq);
  else
    kvl::SelectKormast(rq);
  const bool modbus = !solo && rq.fmodbuson;  // the single-regulator framing: maker's only
  const uint8_t code = rq.com[0];
  const kvl::ExchangeSettings st = NoWait(in.ConsumeIntegralInRange<int>(0, 5), solo);

  kvl::FakeLink link;
  const int port = in.ConsumeIntegralInRange<int>(0, kvl::kPortCount - 1);
  if (in.ConsumeIntegralInRange<int>(0, 7) != 0) link.Open(port, true);
  using WS = kvl::WriteStatus;
  for (int i = 0; i < st.attempts; ++i)
    link.writeScript.push_back(
        {in.PickValueInArray({WS::kDone, WS::kDone, WS::kDone, WS::kCompletionError, WS::kRefused,
                              WS::kNoHandle, WS::kPortLost}),
         in.ConsumeIntegral<uint8_t>()});
  link.readErrors = in.ConsumeIntegralInRange<int>(0, 2);
  sim::Device d = FuzzedDevice(in);
  link.SetResponder([&](int, const Bytes& frame) {
    Bytes line;
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
      case 0:  // silence
        break;
      case 1:  // a regulator of fuzzed address and state, as the simulator answers
        line = modbus ? sim::HandleModbus(d, frame.data(), frame.size()).bytes
                      : sim::HandleKormast(d, frame.data(), 0).bytes;
        break;
      default: {  // any bytes, their check value right or not
        line = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 300));
        if (in.ConsumeBool()) kvl::fuzz::Seal(line.data(), line.size(), modbus);
        break;
      }
    }
    if (in.ConsumeBool()) {  // more bytes behind it: noise, or another answer
      const Bytes more = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 40));
      line.insert(in.ConsumeBool() ? line.begin() : line.end(), more.begin(), more.end());
    }
    return Blocks(in, line);
  });

  kvl::Answer a;
  const kvl::ExchangeResult x = kvl::Exchange(link, port, rq, a, st);
  FUZZ_CHECK(x.attempts <= st.attempts);
  FUZZ_CHECK(x.writeProblems.size() <= static_cast<size_t>(x.attempts));
  FUZZ_CHECK(static_cast<size_t>(x.attempts) >= link.written.size());
  const bool answered = x.outcome == kvl::Outcome::kAnswered;
  const bool refused = x.outcome == kvl::Outcome::kRefused;
  if (modbus && !Translatable(code)) {  // no Modbus form: nothing goes out
    FUZZ_CHECK(x.outcome == kvl::Outcome::kWriteFailed && x.attempts == 0);
    return;
  }
  // Log lines: "TimeOut<n>" for each attempt written and left unanswered, in
  // order, then the line of a refusal.
  const size_t timeOuts = link.written.size() - (answered || refused ? 1 : 0);
  FUZZ_CHECK(x.log.size() == timeOuts + (refused ? 1 : 0));
  for (size_t i = 0, last = 0; i < timeOuts; ++i) {
    const std::string& l = x.log[i];
    FUZZ_CHECK(l.rfind("TimeOut", 0) == 0);
    const size_t n = std::stoul(l.substr(7));
    FUZZ_CHECK(n < static_cast<size_t>(st.attempts) && (i == 0 || n > last));
    last = n;
  }
  switch (x.outcome) {
    case kvl::Outcome::kAnswered:
    case kvl::Outcome::kRefused: {
      const Bytes& frame = link.written.back().frame;
      const uint32_t rlength = solo ? 10 : rq.rlength;
      FUZZ_CHECK(!x.raw.empty() && kvl::fuzz::CheckOk(x.raw.data(), x.raw.size(), modbus));
      FUZZ_CHECK(kvl::fuzz::BelongsTo(frame.data(), modbus, rlength, x.raw.data(), x.raw.size()));
      FUZZ_CHECK(a.mprob == static_cast<int32_t>(x.raw.size()));
      if (refused) {
        FUZZ_CHECK(modbus && x.raw.size() == 5 && x.raw[1] == (frame[1] | 0x80));
        FUZZ_CHECK(x.log.back() == kvl::ModbusLine(x.raw.data(), 5));
        break;
      }
      if (modbus) FUZZ_CHECK(a.res[0] == rq.komand);
      DecodeAnything(in, a.res.data());
      break;
    }
    case kvl::Outcome::kPortLost:
      FUZZ_CHECK(link.Lost(port) && !x.notices.empty());
      break;
    case kvl::Outcome::kSilent:
      FUZZ_CHECK(!link.written.empty() && !link.Lost(port));
      FUZZ_CHECK(a.mprob == 0);
      break;
    case kvl::Outcome::kWriteFailed:
      FUZZ_CHECK(link.written.empty() && !link.Lost(port));
      break;
  }
  FUZZ_CHECK((x.outcome == kvl::Outcome::kPortLost) == link.Lost(port));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  Request rq;  // one buffer for the whole run, never cleared
  while (in.remaining_bytes() > 0) {
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
      case 0:
        AnyAnswer(in, rq);
        break;
      case 1:
        DeviceAnswer(in, rq);
        break;
      default:
        ExchangeUnderFaults(in, rq);
        break;
    }
  }
  return 0;
}
