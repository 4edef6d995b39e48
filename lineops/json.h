// The JSON records of the tools (regctl --json, the gateway's messages): one
// vocabulary for a reading, an identity and the result of a setting.
//
// reading:  {"time", "address", "serial" (null when unknown), "setpoint",
//            "flow" (per cent, null unless answered), "status"}
// identity: {"address", "protocol", "speed", "serial", "format", "kind"
//            ("flow"/"pressure"), "status1", "status6", "regulating",
//            "digital_input", "alarm", "memorising" (null in the older layout),
//            "valve" (held: "regulate", "open_by_command", "closed_by_command",
//            "open_by_signal", "closed_by_signal"), "texts": {"kind", "mode",
//            "input", "state", "valve", "caption"}}, plus "firmware": {"day",
//            "month", "year", "version", "text"} when read
// setting:  {"setting", "key", "status", "message"} plus, when known,
//            "setpoint", "valve_text", "address", "regulator_speed", "port_speed"
#pragma once

#include <nlohmann/json.hpp>
#include <optional>

#include "lineops/reading.h"
#include "lineops/regulator.h"
#include "lineops/settings.h"

namespace kvl::ops {

nlohmann::ordered_json ToJson(const Reading& r);
nlohmann::ordered_json ToJson(const Identity& id, const std::optional<Firmware>& fw = std::nullopt);
nlohmann::ordered_json ToJson(const Setting& s, const SetResult& r);

}  // namespace kvl::ops
