#include "sim/device.h"

#include <algorithm>
#include <cmath>

#include "protocol/frame.h"

namespace kvl::sim {

// Puts the check value of the protocol into the last two bytes of f (any length).
void Seal(Bytes& f, int fmodbuson) {
  const size_t n = f.size() - 2;
  if (fmodbuson) {
    const uint16_t crc = Crc16(f.data(), n);
    f[n] = static_cast<uint8_t>(crc & 0xFF);
    f[n + 1] = static_cast<uint8_t>(crc >> 8);
  } else {
    const uint16_t sum = Sum16(f.data(), n);
    f[n] = static_cast<uint8_t>(sum >> 8);
    f[n + 1] = static_cast<uint8_t>(sum & 0xFF);
  }
}

namespace {

constexpr double kTimeConstantMs = 1000.0;
constexpr double kNoisePercent = 0.03;
// A second identical closing frame within this time is a retried identify.
constexpr int64_t kClosingRetryMs = 1500;

inline uint8_t Bit(bool b, int n) {
  return b ? static_cast<uint8_t>(1u << n) : 0;
}

Bytes KormastFrame(uint8_t code, int addr) {
  Bytes a(kFrameSize, 0);
  a[0] = code;
  a[7] = static_cast<uint8_t>(addr);
  return a;
}

Bytes ModbusException(uint8_t addr, uint8_t fn, uint8_t code) {
  Bytes a{addr, static_cast<uint8_t>(fn | 0x80), code, 0, 0};
  Seal(a, 1);
  return a;
}

void PutWord(Bytes& f, size_t at, uint16_t v) {
  f[at] = static_cast<uint8_t>(v >> 8);
  f[at + 1] = static_cast<uint8_t>(v & 0xFF);
}

uint16_t Word(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

bool ValveHeld(const Device& d) {
  return d.external != External::kNone;
}

void ZeroSetting(Device& d) {
  ++d.zeroCount;
  // With no gas flowing the reading becomes exactly zero.
  if (d.TargetFlow() == 0) {
    d.flow = 0;
    d.noise = 0;
  }
}

constexpr uint16_t kRegisterCount = 7;
constexpr uint16_t kCoilCount = 7;

uint16_t ReadRegister(const Device& d, uint16_t reg) {
  switch (reg) {
    case 0:
      return static_cast<uint16_t>(d.addr);
    case 1:
      return d.serial;
    case 2:
      return d.Status1In(true);
    case 3:
      return d.Status6In(true);
    case 4:
      return d.setpoint;
    case 5:
      return d.FlowWord();
    default:
      return SpeedCodeOf(d.speed);
  }
}

}  // namespace

uint8_t SpeedCodeOf(unsigned baud) {
  if (baud == 9600) return 0;
  if (baud == 38400) return 1;
  return 0x0F;
}

unsigned BaudOfCode(uint8_t code) {
  if (code == 0) return 9600;
  if (code == 1) return 38400;
  return 19200;
}

uint8_t Device::Status1In(bool newer) const {
  if (status1) return *status1;
  if (newer)
    return Bit(!rasre, 4) | Bit(valve == Valve::kClosed, 3) | Bit(valve == Valve::kOpen, 2) |
           Bit(digital, 1) | Bit(regulate, 0);
  return Bit(alarm, 7) | Bit(digital, 3) | Bit(regulate, 0);
}

uint8_t Device::Status6In(bool newer) const {
  if (status6) return *status6;
  const bool extClosed = external == External::kClosed;
  const bool extOpen = external == External::kOpen;
  // Bit 1 (newer) and bit 2 (older): regulation permitted, always on here.
  if (newer)
    return Bit(extClosed, 6) | Bit(extOpen, 5) | Bit(gasset, 4) | Bit(pres45, 3) |
           Bit(pressure, 2) | Bit(true, 1) | Bit(alarm, 0);
  return Bit(gasset, 6) | Bit(pres45, 5) | Bit(pressure, 4) | Bit(!rasre, 3) | Bit(true, 2) |
         Bit(extClosed, 1) | Bit(extOpen, 0);
}

uint8_t Device::ValveStatus() const {
  const bool open =
      external == External::kOpen || (external == External::kNone && valve == Valve::kOpen);
  return Bit(open, 4) | Bit(valve == Valve::kClosed, 3) | Bit(valve == Valve::kOpen, 2) |
         Bit(external == External::kClosed, 1) | Bit(external == External::kOpen, 0);
}

double Device::TargetFlow() const {
  if (external == External::kClosed) return 0;
  if (external == External::kOpen) return 100;
  if (valve == Valve::kClosed) return 0;
  if (valve == Valve::kOpen) return 100;
  if (regulate) return setpoint / 100.0;
  return freeFlow;
}

uint16_t Device::FlowWord() const {
  double v = std::clamp(flow + noise, -100.0, 100.0);
  const long mag = std::lround(std::fabs(v) * 100.0);
  if (mag == 0) return 0;
  return static_cast<uint16_t>((v < 0 ? 0x8000 : 0) | std::min<long>(mag, 0x7FFF));
}

void Device::Advance(double dtMs, std::mt19937& rng) {
  if (dtMs <= 0) return;
  const double target = TargetFlow();
  flow += (target - flow) * (1.0 - std::exp(-dtMs / kTimeConstantMs));
  if (std::fabs(target - flow) < 1e-6) flow = target;
  const bool regulating = regulate && valve == Valve::kRegulate && external == External::kNone;
  if (regulating) {
    std::normal_distribution<double> n(0.0, kNoisePercent);
    noise = n(rng);
  } else {
    noise = 0;
  }
}

Reply HandleKormast(Device& d, const uint8_t* q, int64_t nowMs) {
  Reply r;
  const uint8_t code = q[0];
  Bytes a = KormastFrame(code, d.addr);
  switch (code) {
    case CMD_IDENT: {
      const Bytes frame(q, q + kFrameSize);
      const bool closing = q[1] == static_cast<uint8_t>(d.addr + 1);
      if (closing) {
        const bool retried = frame == d.lastClosing && nowMs - d.lastClosingMs <= kClosingRetryMs;
        d.lastClosing = frame;
        d.lastClosingMs = nowMs;
        if (!retried) {
          r.note = "closing frame for address " + std::to_string(d.addr);
          return r;
        }
        r.note = "repeated closing frame taken as identify at address " + std::to_string(d.addr);
        d.lastClosing.clear();
      }
      a[1] = d.Status1();
      PutWord(a, 2, d.serial);
      a[4] = d.Status3();
      a[5] = static_cast<uint8_t>(d.format);
      a[6] = d.Status6();
      break;
    }
    case CMD_GETNET:
      a[1] = static_cast<uint8_t>(d.format);
      PutWord(a, 5, d.serial);
      break;
    case CMD_MEASURE:
      PutWord(a, 2, d.FlowWord());
      PutWord(a, 4, d.setpoint);
      break;
    case CMD_SPEED: {
      // A speed the device cannot take is answered with the code still in force.
      const unsigned baud = BaudOfCode(q[2]);
      if (d.CanRun(baud)) {
        a[2] = SpeedCodeOf(baud);
        if (baud != d.speed) r.newBaud = baud;
      } else {
        a[2] = SpeedCodeOf(d.speed);
        r.note = "speed " + std::to_string(baud) + " refused at address " + std::to_string(d.addr);
      }
      break;
    }
    case CMD_KIND:
      // D3 = 0x0F sets the kind only; D3 = 0 (and the single-regulator program,
      // whose D3 is left over) sets the mode as well; the byte carries both bits.
      d.pressure = (q[1] & 0x04) != 0;
      if (q[3] != 0x0F) d.regulate = (q[1] & 0x01) != 0;
      a[1] = q[1];
      break;
    case CMD_SETNET:
      if (q[2] == 255) {
        a[2] = static_cast<uint8_t>(d.addr);  // 255 is no device address: refused
        r.note = "address 255 refused at address " + std::to_string(d.addr);
      } else {
        a[2] = q[2];
        if (q[2] != d.addr) r.newAddr = q[2];
      }
      break;
    case CMD_RASRE:
      d.rasre = q[1] == 0;  // 1 = "Нет", 0 = "Запомнить"
      a[1] = q[1];
      break;
    case CMD_VALVE: {
      const uint8_t action = q[2];
      if (action > 2 || ValveHeld(d)) {
        a[0] = 0;  // refused
      } else {
        d.valve = action == 1 ? Valve::kOpen : action == 2 ? Valve::kClosed : Valve::kRegulate;
      }
      a[2] = action;
      a[3] = d.ValveStatus();
      break;
    }
    case CMD_DATE:
      a[1] = q[1];
      a[2] = d.day;
      a[3] = d.month;
      a[4] = d.year;
      a[5] = d.version;
      break;
    case CMD_ZERO:
    case CMD_ZERO6:
      if (q[1] == 0x1C && code == CMD_ZERO) {
        ZeroSetting(d);  // zero setting of the network programs
      } else {
        // Zero offset read (D3 = 0) or write (D3 = 28); format-6 devices know the
        // offset only under code 45, the others only under code 35.
        if ((d.format == 6) != (code == CMD_ZERO6)) return r;
        if (q[3] == 28) d.offset = Word(q + 4);
        a[1] = q[1];
        a[3] = q[3];
      }
      PutWord(a, 4, d.offset);
      break;
    case CMD_SETPOINT:
      if (q[1] == 0) {
        d.setpoint = std::min<uint16_t>(Word(q + 2), 10000);
        d.digital = true;
      } else if (q[1] == 1) {
        d.digital = false;
      }
      a[1] = q[1];
      PutWord(a, 2, d.setpoint);
      break;
    default:
      return r;  // unknown request: no answer
  }
  for (const Patch& p : d.faults.patches)
    if (p.code == code && p.at < 8) a[p.at] = p.value;
  Seal(a, 0);
  r.bytes = std::move(a);
  return r;
}

Reply HandleModbus(Device& d, const uint8_t* q, size_t len) {
  Reply r;
  const uint8_t addr = q[0];
  const uint8_t fn = q[1];
  const uint16_t start = len >= 6 ? Word(q + 2) : 0;
  const uint16_t count = len >= 6 ? Word(q + 4) : 0;
  switch (fn) {
    case 0x03: {
      if (count < 1 || count > 125) {
        r.bytes = ModbusException(addr, fn, kIllegalValue);
        return r;
      }
      if (start + count > kRegisterCount) {
        r.bytes = ModbusException(addr, fn, kIllegalAddress);
        return r;
      }
      Bytes a{addr, fn, static_cast<uint8_t>(2 * count)};
      for (uint16_t i = 0; i < count; ++i) {
        const uint16_t v = ReadRegister(d, static_cast<uint16_t>(start + i));
        a.push_back(static_cast<uint8_t>(v >> 8));
        a.push_back(static_cast<uint8_t>(v & 0xFF));
      }
      a.push_back(0);
      a.push_back(0);
      Seal(a, 1);
      r.bytes = std::move(a);
      return r;
    }
    case 0x06: {
      const uint16_t reg = start, v = count;
      uint8_t exc = 0;
      switch (reg) {
        case 0:
          if (v > 254) exc = kIllegalValue;
          break;
        case 4:
          if (v > 10000) exc = kIllegalValue;
          break;
        case 6:
          if ((v != 0 && v != 1 && v != 0x0F) || !d.CanRun(BaudOfCode(static_cast<uint8_t>(v))))
            exc = kIllegalValue;
          break;
        default:
          exc = kIllegalAddress;  // read-only or missing
      }
      if (exc) {
        r.bytes = ModbusException(addr, fn, exc);
        return r;
      }
      if (reg == 0 && v != d.addr) r.newAddr = v;
      if (reg == 4) d.setpoint = v;
      if (reg == 6 && BaudOfCode(static_cast<uint8_t>(v)) != d.speed)
        r.newBaud = BaudOfCode(static_cast<uint8_t>(v));
      r.bytes.assign(q, q + 8);
      Seal(r.bytes, 1);
      return r;
    }
    case 0x0F: {
      const uint8_t nbytes = q[6];
      if (count < 1 || count > 0x7B0 || nbytes != (count + 7) / 8) {
        r.bytes = ModbusException(addr, fn, kIllegalValue);
        return r;
      }
      if (start + count > kCoilCount) {
        r.bytes = ModbusException(addr, fn, kIllegalAddress);
        return r;
      }
      bool coil[kCoilCount] = {
          d.regulate, d.digital, d.valve == Valve::kOpen, d.valve == Valve::kClosed, !d.rasre,
          d.pressure, false};
      bool written[kCoilCount] = {};
      for (uint16_t i = 0; i < count; ++i) {
        coil[start + i] = (q[7 + i / 8] >> (i % 8)) & 1;
        written[start + i] = true;
      }
      const bool valveTouched = written[2] || written[3];
      if (valveTouched) {
        if (coil[2] && coil[3]) {
          r.bytes = ModbusException(addr, fn, kIllegalValue);
          return r;
        }
        if (ValveHeld(d)) {
          r.bytes = ModbusException(addr, fn, kDeviceFailure);
          r.note = "valve held by the external signal at address " + std::to_string(d.addr);
          return r;
        }
        d.valve = coil[2] ? Valve::kOpen : coil[3] ? Valve::kClosed : Valve::kRegulate;
      }
      d.regulate = coil[0];
      d.digital = coil[1];
      d.rasre = !coil[4];
      d.pressure = coil[5];
      if (written[6] && coil[6]) ZeroSetting(d);
      r.bytes.assign(q, q + 6);
      r.bytes.push_back(0);
      r.bytes.push_back(0);
      Seal(r.bytes, 1);
      return r;
    }
    default:
      r.bytes = ModbusException(addr, fn, kIllegalFunction);
      return r;
  }
}

}  // namespace kvl::sim
