#include "lineops/json.h"

#include "protocol/commands.h"

namespace kvl::ops {

namespace {

double Pct(int hundredths) {
  return hundredths / 100.0;
}

const char* ValveHold(const Identity& id) {
  const char* v = "regulate";
  if (id.hold.fstvoff) v = "closed_by_command";
  if (id.hold.fstvon) v = "open_by_command";
  if (id.valve.fp15) v = "open_by_signal";
  if (id.valve.fm15) v = "closed_by_signal";
  return v;
}

}  // namespace

nlohmann::ordered_json ToJson(const Reading& r) {
  nlohmann::ordered_json j;
  j["time"] = IsoLocalTime(r.time);
  j["address"] = r.address;
  j["serial"] = r.serial ? nlohmann::ordered_json(*r.serial) : nlohmann::ordered_json();
  const bool answered = r.outcome == Outcome::kAnswered;
  j["setpoint"] = answered ? nlohmann::ordered_json(Pct(r.setpoint)) : nlohmann::ordered_json();
  j["flow"] = answered ? nlohmann::ordered_json(Pct(r.flow)) : nlohmann::ordered_json();
  j["status"] = OutcomeName(r.outcome);
  return j;
}

nlohmann::ordered_json ToJson(const Identity& id, const std::optional<Firmware>& fw) {
  nlohmann::ordered_json j;
  j["address"] = id.address;
  j["protocol"] = ProtocolName(id.protocol);
  j["speed"] = cmd::BaudOfIndex(id.speedIndex);
  j["serial"] = id.serial;
  j["format"] = id.format;
  j["kind"] = id.Pressure() ? "pressure" : "flow";
  j["status1"] = id.status1;
  j["status6"] = id.status6;
  j["regulating"] = id.Regulating();
  j["digital_input"] = id.data.zifra == 1;
  j["alarm"] = id.data.avar == 1;
  const auto mem = id.Memorising();
  j["memorising"] = mem ? nlohmann::ordered_json(*mem) : nlohmann::ordered_json();
  j["valve"] = ValveHold(id);
  const StatusTexts t = TextsOf(id);
  j["texts"] = {{"kind", t.kind},   {"mode", t.mode},   {"input", t.input},
                {"state", t.state}, {"valve", t.valve}, {"caption", t.caption}};
  if (fw)
    j["firmware"] = {{"day", fw->day},
                     {"month", fw->month},
                     {"year", fw->year},
                     {"version", fw->version},
                     {"text", fw->Text()}};
  return j;
}

nlohmann::ordered_json ToJson(const Setting& s, const SetResult& r) {
  nlohmann::ordered_json j;
  j["setting"] = s.text;
  j["key"] = KeyName(s.key);
  j["status"] = OutcomeName(r.outcome);
  j["message"] = r.message;
  if (r.setpointInForce) j["setpoint"] = Pct(*r.setpointInForce);
  if (!r.valveText.empty()) j["valve_text"] = r.valveText;
  if (r.address) j["address"] = *r.address;
  if (r.speeds) {
    auto baud = [](int idx) {
      return idx < 0 ? nlohmann::ordered_json() : nlohmann::ordered_json(cmd::BaudOfIndex(idx));
    };
    j["regulator_speed"] = baud(r.speeds->regulator);
    j["port_speed"] = baud(r.speeds->port);
  }
  return j;
}

}  // namespace kvl::ops
