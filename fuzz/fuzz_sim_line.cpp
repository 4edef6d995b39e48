// The simulator's line: its framer on any bytes in any blocks, and its devices'
// "Кормаст-10м" and Modbus handlers on every request the framer lets through,
// with time passing and control commands changing the devices in between.
//
// Checks: the framer finds exactly the first valid frame a plain search finds,
// also when it resumes a search over bytes it has seen; the line never holds more
// than 512 gathered bytes; every answer a handler gives is a whole valid frame of
// the request's protocol and address (a Modbus read has the length its count
// asks); devices keep addresses, speeds and setpoints in range; outputs come
// in time order.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>

#include "check.h"
#include "protocol/frame.h"
#include "sim/control.h"
#include "sim/device.h"
#include "sim/framer.h"
#include "sim/line.h"

namespace {

using kvl::sim::Bytes;
using kvl::sim::Detected;
using kvl::sim::Proto;

// The framing rule written plainly: at every offset, a Modbus request of known
// length, then a 10-byte "Кормаст-10м" frame, then (at a gap) an unknown Modbus
// function taking all the rest.
Detected PlainSearch(const uint8_t* p, size_t n, bool gap) {
  for (size_t off = 0; off < n; ++off) {
    const uint8_t* q = p + off;
    const size_t m = n - off;
    size_t len = 0;  // 0: not known yet; SIZE_MAX: no length rule
    if (m >= 2) {
      const uint8_t fn = q[1];
      if (fn >= 1 && fn <= 6)
        len = 8;
      else if (fn == 0x0F || fn == 0x10)
        len = m >= 7 ? 9u + q[6] : 0;
      else
        len = SIZE_MAX;
    }
    if (len != 0 && len != SIZE_MAX && len <= m && kvl::fuzz::CrcOk(q, len))
      return {Proto::kModbus, off, len};
    if (m >= 10 && kvl::fuzz::SumOk(q, 10)) return {Proto::kKormast, off, 10};
    if (gap && len == SIZE_MAX && m >= 4 && m <= 256 && kvl::fuzz::CrcOk(q, m))
      return {Proto::kModbus, off, m};
  }
  return {};
}

bool Same(const Detected& a, const Detected& b) {
  return a.proto == b.proto &&
         (a.proto == Proto::kNone || (a.offset == b.offset && a.length == b.length));
}

void CheckFramer(FuzzedDataProvider& in) {
  const Bytes b = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 600));
  const bool gap = in.ConsumeBool();
  const Detected want = PlainSearch(b.data(), b.size(), gap);
  FUZZ_CHECK(Same(kvl::sim::DetectFrame(b.data(), b.size(), gap), want));
  // Resuming: any prefix in which the plain search finds nothing may be skipped.
  const size_t scanned = in.ConsumeIntegralInRange<size_t>(0, b.size());
  if (PlainSearch(b.data(), scanned, false).proto == Proto::kNone)
    FUZZ_CHECK(Same(kvl::sim::DetectFrame(b.data(), b.size(), gap, scanned), want));
}

kvl::sim::Device FuzzedDevice(FuzzedDataProvider& in) {
  kvl::sim::Device d;
  d.addr = in.ConsumeIntegralInRange<int>(0, 254);
  d.pressure = in.ConsumeBool();
  d.format = in.ConsumeIntegralInRange<int>(0, 9);
  d.serial = in.ConsumeIntegral<uint16_t>();
  d.setpoint = in.ConsumeIntegralInRange<uint16_t>(0, 10000);
  d.valve = in.PickValueInArray(
      {kvl::sim::Valve::kRegulate, kvl::sim::Valve::kOpen, kvl::sim::Valve::kClosed});
  d.external = in.PickValueInArray(
      {kvl::sim::External::kNone, kvl::sim::External::kOpen, kvl::sim::External::kClosed});
  for (bool& s : d.speeds) s = in.ConsumeBool();
  d.speeds[1] = true;  // the line's speed
  return d;
}

// A request that passes the framer: a "Кормаст-10м" frame, or a Modbus request
// of a function the devices know (or not), with the right check value.
Bytes ValidRequest(FuzzedDataProvider& in, kvl::sim::Line& line) {
  const auto& devs = line.Devices();
  const uint8_t addr =
      !devs.empty() && in.ConsumeBool()
          ? static_cast<uint8_t>(devs[in.ConsumeIntegralInRange<size_t>(0, devs.size() - 1)].addr)
          : in.ConsumeIntegral<uint8_t>();
  Bytes r;
  if (in.ConsumeBool()) {
    r = in.ConsumeBytes<uint8_t>(7);
    r.resize(10);
    r[0] = in.PickValueInArray<uint8_t>({1, 2, 17, 22, 24, 27, 31, 32, 34, 35, 37, 45, 0, 99});
    r[7] = addr;
    kvl::fuzz::Seal(r.data(), r.size(), false);
  } else {
    const uint8_t fn = in.PickValueInArray<uint8_t>({3, 3, 6, 6, 0x0F, 0x0F, 0x10, 1, 0x2B});
    r = {addr, fn};
    const Bytes body = in.ConsumeBytes<uint8_t>(fn == 0x0F || fn == 0x10 ? 5 : 4);
    r.insert(r.end(), body.begin(), body.end());
    if (fn == 0x0F || fn == 0x10) {
      r.resize(7);
      const Bytes data = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 4));
      r[6] = static_cast<uint8_t>(data.size());
      r.insert(r.end(), data.begin(), data.end());
    } else {
      r.resize(6);
    }
    r.resize(r.size() + 2);
    kvl::fuzz::Seal(r.data(), r.size(), true);
  }
  return r;
}

// What a device answers to a whole request: nothing, or a valid frame for it.
void CheckHandlers(kvl::sim::Line& line, const Bytes& req, int64_t nowMs) {
  const Detected f = kvl::sim::DetectFrame(req.data(), req.size(), true);
  if (f.proto == Proto::kNone) return;
  const uint8_t* q = req.data() + f.offset;
  for (kvl::sim::Device d : line.Devices()) {  // copies: the line's devices stay as they are
    if (f.proto == Proto::kKormast) {
      const kvl::sim::Reply r = kvl::sim::HandleKormast(d, q, nowMs);
      if (r.bytes.empty()) continue;
      FUZZ_CHECK(r.bytes.size() == 10 && kvl::fuzz::SumOk(r.bytes.data(), 10));
      if (d.faults.patches.empty())
        FUZZ_CHECK(r.bytes[0] == q[0] || (q[0] == kvl::CMD_VALVE && r.bytes[0] == 0));
    } else {
      const kvl::sim::Reply r = kvl::sim::HandleModbus(d, q, f.length);
      const size_t n = r.bytes.size();
      FUZZ_CHECK(n >= 5 && kvl::fuzz::CrcOk(r.bytes.data(), n) && r.bytes[0] == q[0]);
      if (r.bytes[1] == (q[1] | 0x80)) {
        FUZZ_CHECK(n == 5 && r.bytes[2] >= 1 && r.bytes[2] <= 4);
      } else {
        FUZZ_CHECK(r.bytes[1] == q[1]);
        if (q[1] == 0x03)
          FUZZ_CHECK(n == 5u + 2u * (q[4] * 256u + q[5]) && r.bytes[2] == n - 5);
        else
          FUZZ_CHECK(n == 8 && std::equal(q, q + 6, r.bytes.begin()));
      }
    }
  }
}

void CheckDevices(kvl::sim::Line& line) {
  for (const kvl::sim::Device& d : line.Devices()) {
    FUZZ_CHECK(d.addr >= 0 && d.addr <= 254);
    FUZZ_CHECK(d.speed == 9600 || d.speed == 19200 || d.speed == 38400);
    FUZZ_CHECK(d.setpoint <= 10000);
    FUZZ_CHECK(std::isfinite(d.flow) && std::fabs(d.flow) <= 100.0 + 1e-9);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  kvl::sim::LineOptions opt;
  opt.wire = in.ConsumeBool();
  opt.turnaroundMs = in.ConsumeIntegralInRange<int>(0, 50);
  opt.seed = in.ConsumeIntegral<uint32_t>();
  kvl::sim::Trace trace;
  kvl::sim::Line line(opt, trace);
  for (int i = in.ConsumeIntegralInRange<int>(0, 4); i > 0; --i) line.Add(FuzzedDevice(in));
  int64_t now = 0, lastDue = 0;
  while (in.remaining_bytes() > 0) {
    switch (in.ConsumeIntegralInRange<int>(0, 6)) {
      case 0:
      case 1: {  // bytes from the line, in blocks of any size
        const Bytes b = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 80));
        line.Receive(b.data(), b.size(), now);
        break;
      }
      case 2: {  // a whole request, maybe split in two blocks
        const Bytes r = ValidRequest(in, line);
        CheckHandlers(line, r, now / 1000);
        const size_t cut = in.ConsumeIntegralInRange<size_t>(0, r.size());
        line.Receive(r.data(), cut, now);
        line.Receive(r.data() + cut, r.size() - cut, now);
        break;
      }
      case 3: {  // time passes; what is due goes out
        now += in.ConsumeIntegralInRange<int64_t>(0, 200000);
        line.Tick(now);
        for (const kvl::sim::Output& o : line.TakeDue(now)) {
          FUZZ_CHECK(!o.bytes.empty() && o.dueUs <= now && o.dueUs >= lastDue);
          lastDue = o.dueUs;
          if (o.baudAfter) line.SwitchBaud(*o.baudAfter, now);
        }
        break;
      }
      case 4:  // the operator changes a device
        kvl::sim::RunControl(line, in.ConsumeRandomLengthString(80), now);
        break;
      case 5:
        CheckFramer(in);
        break;
      default:
        line.AdvanceTo(now);
        break;
    }
    FUZZ_CHECK(line.Gathered() <= 512);
    FUZZ_CHECK(line.NextDeadline() >= -1);
    CheckDevices(line);
  }
  return 0;
}
