// What the gateway says and hears on MQTT, in regctl's JSON vocabulary.
//
//   <prefix>/availability       "online" / "offline" (the last will), retained
//   <prefix>/line               {"open": true/false, "message": "..."}, retained
//   <prefix>/<name>/state       the regulator's state, retained (StateJson)
//   <prefix>/<name>/set         commands: "setpoint=40 valve=open" (regctl set's
//                               KEY=VALUE words, spaces or commas between), or
//                               {"setpoint": 40, "valve": "open", "id": "abc"}
//   <prefix>/<name>/result      one record per setting of a command: regctl's
//                               setting record, plus "name", "address" and "id"
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "reggate/store.h"

namespace kvl::gate {

// A reading record (time, address, serial, setpoint, flow, status) with
// "name" and "linked", and the identity's fields (kind, status bytes, flags,
// valve, "texts" with the programs' status texts) once it was identified.
nlohmann::ordered_json StateJson(const RegulatorState& s);

struct Command {
  std::vector<std::string> settings;  // "setpoint=40", "zero", ...
  nlohmann::ordered_json id;          // the caller's "id", null when none
};
// nullopt with error set when the payload is neither form.
std::optional<Command> ParseCommand(const std::string& payload, std::string& error);

}  // namespace kvl::gate
