#include "reggate/mqtt_messages.h"

#include <sstream>

#include "lineops/json.h"

namespace kvl::gate {

nlohmann::ordered_json StateJson(const RegulatorState& s) {
  nlohmann::ordered_json j = ops::ToJson(s.reading);
  if (!s.polled) j["status"] = nullptr;  // not asked yet
  j["name"] = s.name;
  j["linked"] = s.Linked();
  if (s.identity) {
    const nlohmann::ordered_json id = ops::ToJson(*s.identity);
    for (const auto& [key, value] : id.items())
      if (key != "address" && key != "serial") j[key] = value;
    if (j["serial"].is_null()) j["serial"] = s.identity->serial;
  }
  return j;
}

std::optional<Command> ParseCommand(const std::string& payload, std::string& error) {
  Command c;
  const auto first = payload.find_first_not_of(" \t\r\n");
  if (first != std::string::npos && payload[first] == '{') {
    const auto j = nlohmann::ordered_json::parse(payload, nullptr, false);
    if (j.is_discarded() || !j.is_object()) {
      error = "the command is not valid JSON: send {\"setpoint\": 40} or setpoint=40";
      return std::nullopt;
    }
    for (const auto& [key, value] : j.items()) {
      if (key == "id") {
        c.id = value;
      } else if (key == "zero" && value.is_boolean()) {
        if (value.get<bool>()) c.settings.push_back("zero");
      } else if (value.is_string()) {
        c.settings.push_back(key + "=" + value.get<std::string>());
      } else if (value.is_number()) {
        c.settings.push_back(key + "=" + value.dump());
      } else {
        error = "the value of \"" + key + "\" must be a text or a number";
        return std::nullopt;
      }
    }
  } else {
    std::string text = payload;
    for (char& ch : text)
      if (ch == ',' || ch == ';') ch = ' ';
    std::istringstream words(text);
    for (std::string w; words >> w;) c.settings.push_back(w);
  }
  if (c.settings.empty()) {
    error = "the command names no setting: send e.g. setpoint=40 or valve=open";
    return std::nullopt;
  }
  return c;
}

}  // namespace kvl::gate
