#include "lineops/settings.h"

#include <chrono>
#include <thread>

#include "commands/command_texts.h"
#include "commands/setpoint_value.h"
#include "lineops/reading.h"
#include "network/valve_text.h"
#include "protocol/commands.h"
#include "setup/status_texts.h"

namespace kvl::ops {

namespace {

struct Choice {
  const char* word;
  int value;
};

constexpr Choice kValves[] = {{"regulate", 0}, {"open", 1}, {"closed", 2}, {"close", 2}};
constexpr Choice kInputs[] = {{"digital", 0}, {"analogue", 1}, {"analog", 1}};
constexpr Choice kKinds[] = {{"flow", 0}, {"pressure", 1}};
constexpr Choice kModes[] = {{"measure", 0}, {"regulate", 1}};
constexpr Choice kSwitches[] = {{"off", 0}, {"on", 1}};
constexpr Choice kSpeeds[] = {{"9600", 0}, {"19200", 1}, {"38400", 2}};

template <size_t N>
bool Pick(const Choice (&list)[N], const std::string& v, int& out) {
  for (const Choice& c : list)
    if (v == c.word) {
      out = c.value;
      return true;
    }
  return false;
}

bool Decimal(const std::string& v, int lo, int hi, int& out) {
  if (v.empty() || v.size() > 3) return false;
  int n = 0;
  for (char ch : v) {
    if (ch < '0' || ch > '9') return false;
    n = n * 10 + (ch - '0');
  }
  if (n < lo || n > hi) return false;
  out = n;
  return true;
}

std::string Baud(int speedIndex) {
  return speedIndex < 0 ? "an unknown speed" : std::string(cmd::nUart[speedIndex]) + " baud";
}

Outcome Send(Line& line, const Request& rq, Answer* ans = nullptr) {
  ExchangeResult r = Exchange(line, rq);
  if (ans) *ans = r.ans;
  return r.outcome;
}

std::string Failed(const char* what, Outcome o) {
  switch (o) {
    case Outcome::kSilent:
      return std::string(what) + ": the regulator did not answer";
    case Outcome::kRefused:
      return std::string(what) + ": the regulator refused";
    default:
      return std::string(what) + ": the port failed (" + OutcomeName(o) + ")";
  }
}

// Short pause before a regulator is asked at a speed it has just switched to.
void Settle() {
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

bool AnswersAt(Line& line, int address, int speedIndex) {
  if (!line.SetSpeed(speedIndex)) return false;
  Settle();
  Identity probe;
  return Identify(line, address, probe) == Outcome::kAnswered;
}

SetResult Setpoint(Line& line, int address, const Setting& s) {
  SetResult res;
  const int raw = static_cast<int>(SetpointRaw(s.percent));
  Outcome select = Outcome::kAnswered;
  if (line.Protocol()) {
    // Modbus: the digital input is a write of its own, before the value; the
    // value is written whatever became of it, as the setpoint dialog does.
    Request in = NewRequest(line);
    cmd::InputSelect(in, address, 0);
    select = Send(line, in);
    if (select == Outcome::kPortLost || select == Outcome::kWriteFailed) {
      res.outcome = select;
      res.message = Failed("setpoint", select);
      return res;
    }
  }
  Request rq = NewRequest(line);
  cmd::Setpoint(rq, address, static_cast<uint16_t>(raw));
  Answer a;
  res.outcome = Send(line, rq, &a);
  if (res.outcome != Outcome::kAnswered) {
    res.message = Failed("setpoint", res.outcome);
    return res;
  }
  // The maker's answer tells the setpoint now in force; a Modbus echo the value.
  res.setpointInForce = line.Protocol() ? raw : cmd::SetpointOfAnswer(a.res[2], a.res[3]);
  res.message = "setpoint " + Percent(*res.setpointInForce) + " % in force";
  if (select != Outcome::kAnswered) {
    res.outcome = select;
    res.message += "; " + Failed("digital input select", select);
  } else {
    res.message += ", digital input";
  }
  return res;
}

SetResult Valve(Line& line, int address, const Setting& s) {
  SetResult res;
  Request rq = NewRequest(line);
  cmd::Valve(rq, address, static_cast<uint8_t>(s.value));
  Answer a;
  res.outcome = Send(line, rq, &a);
  if (res.outcome != Outcome::kAnswered) {
    res.message = Failed("valve", res.outcome);
    return res;
  }
  if (line.Protocol()) {
    res.message = "valve command done";  // Modbus answers carry no valve status
    return res;
  }
  // The maker's answer tells the valve status; with code 0 the regulator
  // refused the command, as the external signal holds the valve.
  Satvor v;
  DecodeValveStatus(v, a.res[3]);
  res.valveText = ValveStatusText(v, true);
  res.message = "valve: " + res.valveText;
  if (const char* warning = ExternalValveWarning(v)) {
    res.outcome = Outcome::kRefused;
    res.message += std::string("; ") + warning;
  } else if (a.res[0] == 0) {
    res.outcome = Outcome::kRefused;
    res.message += "; refused";
  }
  return res;
}

SetResult Simple(Line& line, const Request& rq, const char* what, const char* done) {
  SetResult res;
  res.outcome = Send(line, rq);
  res.message = res.outcome == Outcome::kAnswered ? std::string(done) : Failed(what, res.outcome);
  return res;
}

SetResult Input(Line& line, int address, const Setting& s) {
  if (s.value == 1 || line.Protocol()) {
    Request rq = NewRequest(line);
    cmd::InputSelect(rq, address, static_cast<uint8_t>(s.value));
    return Simple(line, rq, "input",
                  s.value ? "analogue input selected" : "digital input selected");
  }
  // "Кормаст-10м" has no request of its own for the digital input: a setpoint
  // selects it. The present setpoint is sent again, so nothing else changes.
  SetResult res;
  Measurement m;
  res.outcome = Measure(line, address, m);
  if (res.outcome != Outcome::kAnswered) {
    res.message = Failed("input (reading the present setpoint)", res.outcome);
    return res;
  }
  Setting sp;
  sp.key = Key::kSetpoint;
  sp.percent = m.setpoint / 100.0;
  res = Setpoint(line, address, sp);
  if (res.outcome == Outcome::kAnswered)
    res.message = "digital input selected with the present setpoint (" + res.message + ")";
  return res;
}

SetResult KindOrMode(Line& line, int address, const Setting& s, const Identity* known) {
  SetResult res;
  Identity id;
  if (known) {
    id = *known;
  } else {
    res.outcome = Identify(line, address, id);
    if (res.outcome != Outcome::kAnswered) {
      res.message = Failed(KeyName(s.key), res.outcome) + " (identify, needed for its status)";
      return res;
    }
  }
  Request rq = NewRequest(line);
  if (s.key == Key::kKind) {
    const bool pressure = s.value == 1;
    if (const char* refusal = KindRefusal(id.data, pressure)) {
      res.outcome = Outcome::kRefused;
      res.message = std::string("kind: ") + refusal;
      return res;
    }
    cmd::Kind(rq, address, cmd::KindByte(pressure, id.Regulating()));
    return Simple(line, rq, "kind", (std::string("kind: ") + KindText(pressure)).c_str());
  }
  cmd::Mode(rq, address, cmd::KindByte(id.Pressure(), s.value == 1));
  return Simple(line, rq, "mode", (std::string("mode: ") + ModeText(s.value == 1)).c_str());
}

SetResult Address(Line& line, int& address, const Setting& s) {
  SetResult res;
  const int wanted = s.value;
  Request rq = NewRequest(line);
  cmd::SetNet(rq, address, wanted);
  Answer a;
  res.outcome = Send(line, rq, &a);
  if (res.outcome != Outcome::kAnswered) {
    res.message = Failed("address", res.outcome);
    return res;
  }
  if (!line.Protocol() && a.res[2] != wanted) {
    res.outcome = Outcome::kRefused;
    res.address = address;
    res.message = "address: the regulator keeps address " + std::to_string(address);
    return res;
  }
  Identity probe;
  if (Identify(line, wanted, probe) == Outcome::kAnswered) {
    address = wanted;
    res.address = wanted;
    res.message = "address: the regulator now answers at " + std::to_string(wanted);
    return res;
  }
  if (Identify(line, address, probe) == Outcome::kAnswered) {
    res.outcome = Outcome::kRefused;
    res.address = address;
    res.message = "address: confirmed, but the regulator still answers at " +
                  std::to_string(address) + ", not at " + std::to_string(wanted);
    return res;
  }
  res.outcome = Outcome::kSilent;
  res.message = "address: confirmed, but the regulator answers neither at " +
                std::to_string(wanted) + " nor at " + std::to_string(address) +
                ": find it with regctl scan";
  return res;
}

SetResult Speed(Line& line, int address, const Setting& s) {
  SetResult res;
  const int old = line.SpeedIndex();
  const int wanted = s.value;
  Request rq = NewRequest(line);
  cmd::Speed(rq, address, wanted);
  Answer a;
  const Outcome o = Send(line, rq, &a);
  SpeedSides sides;
  std::string what;
  if (o == Outcome::kPortLost || o == Outcome::kWriteFailed) {
    res.outcome = o;
    res.message = Failed("speed", o);
    return res;
  }
  if (o == Outcome::kAnswered) {
    const int confirmed = cmd::SpeedIndexFromCode(a.res[2]);
    if (AnswersAt(line, address, confirmed)) {
      sides = {confirmed, confirmed};
      res.outcome = confirmed == wanted ? Outcome::kAnswered : Outcome::kRefused;
      what = confirmed == wanted ? "changed"
                                 : "not changed: the regulator confirmed " + Baud(confirmed);
    } else if (confirmed != old && AnswersAt(line, address, old)) {
      sides = {old, old};
      res.outcome = Outcome::kRefused;
      what = "confirmed " + Baud(confirmed) + ", but the regulator still answers at " + Baud(old);
    } else {
      line.SetSpeed(old);
      sides = {-1, line.SpeedIndex()};
      res.outcome = Outcome::kSilent;
      what = "confirmed " + Baud(confirmed) + ", but the regulator no longer answers";
    }
  } else if (AnswersAt(line, address, old)) {
    sides = {old, old};
    res.outcome = o;
    what = std::string(o == Outcome::kRefused ? "refused" : "not confirmed") +
           ": the regulator still answers at " + Baud(old);
  } else if (AnswersAt(line, address, wanted)) {
    sides = {wanted, wanted};
    res.outcome = Outcome::kAnswered;
    what = "changed (its confirmation was lost)";
  } else {
    line.SetSpeed(old);
    sides = {-1, line.SpeedIndex()};
    res.outcome = Outcome::kSilent;
    what = "not confirmed, and the regulator answers neither at " + Baud(old) + " nor at " +
           Baud(wanted);
  }
  res.speeds = sides;
  res.message =
      "speed " + what + "; regulator at " + Baud(sides.regulator) + ", port at " + Baud(sides.port);
  if (sides.regulator < 0) res.message += ": find it with regctl scan --speed all";
  return res;
}

}  // namespace

const char* KeyName(Key k) {
  switch (k) {
    case Key::kSetpoint:
      return "setpoint";
    case Key::kValve:
      return "valve";
    case Key::kZero:
      return "zero";
    case Key::kInput:
      return "input";
    case Key::kKind:
      return "kind";
    case Key::kMode:
      return "mode";
    case Key::kAddress:
      return "address";
    case Key::kSpeed:
      return "speed";
    case Key::kMemorising:
      return "memorising";
  }
  return "";
}

bool AsksConfirmation(Key k) {
  return k == Key::kZero || k == Key::kAddress || k == Key::kSpeed;
}

bool ParseSetting(const std::string& text, Setting& out, std::string& error) {
  const size_t eq = text.find('=');
  const std::string key = text.substr(0, eq);
  const std::string v = eq == std::string::npos ? "" : text.substr(eq + 1);
  Setting s;
  s.text = text;
  bool ok = false;
  const char* accepted = "";
  if (key == "zero") {
    s.key = Key::kZero;
    ok = eq == std::string::npos || v == "1" || v == "yes";
    accepted = "zero (no value)";
  } else if (key == "setpoint") {
    s.key = Key::kSetpoint;
    ok = ParseSetpoint(v, s.percent);
    accepted = "setpoint=P, P a per cent 0..655.35 such as 40 or 12.5";
  } else if (key == "valve") {
    s.key = Key::kValve;
    ok = Pick(kValves, v, s.value);
    accepted = "valve=open, valve=closed or valve=regulate";
  } else if (key == "input") {
    s.key = Key::kInput;
    ok = Pick(kInputs, v, s.value);
    accepted = "input=digital or input=analogue";
  } else if (key == "kind") {
    s.key = Key::kKind;
    ok = Pick(kKinds, v, s.value);
    accepted = "kind=flow (КВЛ) or kind=pressure (ВПЗ)";
  } else if (key == "mode") {
    s.key = Key::kMode;
    ok = Pick(kModes, v, s.value);
    accepted = "mode=regulate or mode=measure";
  } else if (key == "address") {
    s.key = Key::kAddress;
    ok = Decimal(v, 1, 254, s.value);
    accepted = "address=N, N from 1 to 254";
  } else if (key == "speed") {
    s.key = Key::kSpeed;
    ok = Pick(kSpeeds, v, s.value);
    accepted = "speed=9600, speed=19200 or speed=38400";
  } else if (key == "memorising") {
    s.key = Key::kMemorising;
    ok = Pick(kSwitches, v, s.value);
    accepted = "memorising=on or memorising=off";
  } else {
    error = "unknown setting '" + text +
            "': the keys are setpoint, valve, zero, input, kind, mode, address, speed, memorising";
    return false;
  }
  if (!ok) {
    error = "bad setting '" + text + "': use " + accepted;
    return false;
  }
  out = s;
  return true;
}

SetResult Apply(Line& line, int& address, const Setting& s, const Identity* id) {
  switch (s.key) {
    case Key::kSetpoint:
      return Setpoint(line, address, s);
    case Key::kValve:
      return Valve(line, address, s);
    case Key::kZero: {
      Request rq = NewRequest(line);
      cmd::Zero(rq, address);
      return Simple(line, rq, "zero", "zero set");
    }
    case Key::kInput:
      return Input(line, address, s);
    case Key::kKind:
    case Key::kMode:
      return KindOrMode(line, address, s, id);
    case Key::kAddress:
      return Address(line, address, s);
    case Key::kSpeed:
      return Speed(line, address, s);
    case Key::kMemorising: {
      Request rq = NewRequest(line);
      cmd::Rasre(rq, address, s.value ? 0 : 1);  // 0 = "Запомнить ", 1 = "Нет"
      return Simple(line, rq, "memorising", s.value ? "memorising on" : "memorising off");
    }
  }
  return {};
}

}  // namespace kvl::ops
