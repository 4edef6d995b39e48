#include "reggate/register_map.h"

#include <string>

#include "lineops/json.h"

namespace kvl::gate {

namespace {

constexpr int kIllegalAddress = 2;
constexpr int kIllegalValue = 3;

// 0 regulate, 1 open by command, 2 closed by command, 3/4 open/closed by signal.
uint16_t ValveCode(const ops::Identity& id) {
  const std::string v = ops::ToJson(id)["valve"];
  const char* names[] = {"regulate", "open_by_command", "closed_by_command", "open_by_signal",
                         "closed_by_signal"};
  for (uint16_t i = 0; i < 5; ++i)
    if (v == names[i]) return i;
  return 0;
}

std::optional<ops::Setting> Parsed(const std::string& text, int& exception) {
  ops::Setting s;
  std::string error;
  if (!ops::ParseSetting(text, s, error)) {
    exception = kIllegalValue;
    return std::nullopt;
  }
  exception = 0;
  return s;
}

std::optional<ops::Setting> Word(const char* key, uint16_t value,
                                 std::initializer_list<const char*> words, int& exception) {
  if (value >= words.size()) {
    exception = kIllegalValue;
    return std::nullopt;
  }
  return Parsed(std::string(key) + "=" + words.begin()[value], exception);
}

}  // namespace

std::array<uint16_t, kInputRegisters> InputRegisters(const RegulatorState& s,
                                                     SteadyClock::time_point now) {
  std::array<uint16_t, kInputRegisters> r{};
  const bool answered = s.Linked();
  r[0] = answered ? static_cast<uint16_t>(s.reading.setpoint) : 0;
  r[1] = answered ? static_cast<uint16_t>(static_cast<int16_t>(s.reading.flow)) : 0;
  uint32_t age = 0xFFFFFFFFu;
  if (s.lastAnswer) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - *s.lastAnswer).count();
    age = static_cast<uint32_t>(std::min<long long>(std::max<long long>(ms, 0), 0xFFFFFFFEll));
  }
  r[7] = static_cast<uint16_t>(age >> 16);
  r[8] = static_cast<uint16_t>(age & 0xFFFF);
  r[6] = answered ? 1 : 0;
  r[13] = s.polled ? static_cast<uint16_t>(s.reading.outcome) : 1;
  if (s.identity) {
    const ops::Identity& id = *s.identity;
    r[2] = id.status1;
    r[3] = id.status6;
    r[4] = static_cast<uint16_t>(id.serial);
    r[5] = id.Pressure() ? 1 : 0;
    r[9] = ValveCode(id);
    r[10] = id.data.zifra == 1 ? 0 : 1;
    r[11] = id.Regulating() ? 1 : 0;
    r[12] = id.data.avar == 1 ? 1 : 0;
  }
  return r;
}

std::array<uint16_t, kHoldingRegisters> HoldingRegisters(const Inputs& in) {
  std::array<uint16_t, kHoldingRegisters> h{};
  h[0] = in[0];
  h[1] = in[9] == 1 ? 1 : in[9] == 2 ? 2 : 0;  // held by a signal: the command is regulate
  h[3] = in[10];
  h[4] = in[5];
  return h;
}

std::array<uint8_t, kCoils> Coils(const Inputs& in) {
  const auto h = HoldingRegisters(in);
  return {static_cast<uint8_t>(h[1] == 1), static_cast<uint8_t>(h[1] == 2), 0,
          static_cast<uint8_t>(h[3]), static_cast<uint8_t>(h[4])};
}

std::optional<ops::Setting> HoldingWrite(int reg, uint16_t value, int& exception) {
  switch (reg) {
    case 0:  // any 16-bit value: a regulator may take more than its nominal 100 %
      return Parsed("setpoint=" + ops::Percent(value), exception);
    case 1:
      return Word("valve", value, {"regulate", "open", "closed"}, exception);
    case 2:
      if (value > 1) break;
      exception = 0;
      return value ? Parsed("zero", exception) : std::nullopt;
    case 3:
      return Word("input", value, {"digital", "analogue"}, exception);
    case 4:
      return Word("kind", value, {"flow", "pressure"}, exception);
    default:
      exception = kIllegalAddress;
      return std::nullopt;
  }
  exception = kIllegalValue;
  return std::nullopt;
}

std::optional<ops::Setting> CoilWrite(int coil, bool on, int& exception) {
  switch (coil) {
    case 0:
      return HoldingWrite(1, on ? 1 : 0, exception);
    case 1:
      return HoldingWrite(1, on ? 2 : 0, exception);
    case 2:
      return HoldingWrite(2, on ? 1 : 0, exception);
    case 3:
      return HoldingWrite(3, on ? 1 : 0, exception);
    case 4:
      return HoldingWrite(4, on ? 1 : 0, exception);
    default:
      exception = kIllegalAddress;
      return std::nullopt;
  }
}

}  // namespace kvl::gate
