// The gateway's rules that need no line: the configuration and what it
// refuses (with its line), the starting configuration of a scan, the Modbus
// register map, and the forms of an MQTT command.
#include <gtest/gtest.h>

#include "lineops/regulator.h"
#include "reggate/config.h"
#include "reggate/mqtt_messages.h"
#include "reggate/register_map.h"

namespace kvl::gate {
namespace {

constexpr const char* kGood = R"([line]
port = "/dev/ttyUSB1"
speed = 38400
protocol = "modbus"
poll_interval_ms = 500

[[regulator]]
address = 3
name = "inlet"

[[regulator]]
address = 7

[modbus]
listen = "0.0.0.0"
port = 1502
read_only = true

[mqtt]
enabled = true
prefix = "plant/line1"
username = "gate"
password = "secret"
state_interval_s = 5

[log]
level = "debug"
)";

TEST(GateConfig, ReadsEveryTable) {
  std::string error;
  const auto c = ParseConfig(kGood, "good.toml", error);
  ASSERT_TRUE(c) << error;
  EXPECT_EQ(c->line.port, "/dev/ttyUSB1");
  EXPECT_EQ(c->line.speedIndex, 2);
  EXPECT_EQ(c->line.protocol, 1);
  EXPECT_EQ(c->line.pollIntervalMs, 500);
  ASSERT_EQ(c->regulators.size(), 2u);
  EXPECT_EQ(c->regulators[0].name, "inlet");
  EXPECT_EQ(c->regulators[1].name, "7");  // the address names an unnamed regulator
  EXPECT_EQ(c->modbus.listen, "0.0.0.0");
  EXPECT_TRUE(c->modbus.readOnly);
  EXPECT_TRUE(c->mqtt.enabled);
  EXPECT_EQ(c->mqtt.prefix, "plant/line1");
  EXPECT_EQ(c->mqtt.stateIntervalS, 5);
  EXPECT_EQ(c->logLevel, "debug");
  // What is not given keeps its default: loopback only, MQTT off.
  const auto d =
      ParseConfig("[line]\nport = \"/dev/ttyS0\"\n[[regulator]]\naddress = 1\n", "d", error);
  ASSERT_TRUE(d) << error;
  EXPECT_EQ(d->modbus.listen, "127.0.0.1");
  EXPECT_FALSE(d->modbus.readOnly);
  EXPECT_FALSE(d->mqtt.enabled);
}

TEST(GateConfig, RefusesWithFileLineAndReason) {
  const std::string head = "[line]\nport = \"/dev/ttyS0\"\n[[regulator]]\naddress = 1\n";
  struct Case {
    std::string text;
    const char* where;
    const char* reason;
  } cases[] = {
      {head + "[modbus]\nlsten = \"0.0.0.0\"\n", "bad.toml:6:", "unknown key 'lsten' in [modbus]"},
      {head + "[modbus]\nport = \"502\"\n", "bad.toml:6:", "must be a whole number"},
      {head + "[modbus]\nport = 70000\n", "bad.toml:6:", "from 1 to 65535"},
      {head + "[modbus]\nread_only = 1\n", "bad.toml:6:", "true or false"},
      {"[line]\nport = \"/dev/ttyS0\"\nspeed = 14400\n", "bad.toml:3:", "9600, 19200 or 38400"},
      {"[line]\nport = \"x\"\nprotocol = \"rtu\"\n", "bad.toml:3:", "\"kormast\", \"modbus\""},
      {head + "[[regulator]]\naddress = 1\n", "bad.toml:5:", "address 1 is given to two"},
      {head + "[[regulator]]\naddress = 2\nname = \"a/b\"\n", "bad.toml:7:", "letters, digits"},
      {head + "[[regulator]]\naddress = 255\n", "bad.toml:6:", "from 0 to 254"},
      {head + "[[regulator]]\nname = \"x\"\n", "bad.toml:5:", "needs an address"},
      {head + "[mqtt]\nprefix = \"a/#\"\n", "bad.toml:6:", "without '+', '#'"},
      {head + "[mqtt]\ncert_file = \"c.pem\"\n", "bad.toml:5:", "need ca_file"},
      {head + "[log]\nlevel = \"loud\"\n", "bad.toml:6:", "\"trace\""},
      {head + "[serial]\nport = 1\n", "bad.toml:5:", "unknown table or key 'serial'"},
      {head + "[modbus\n", "bad.toml:5:", ""},  // not TOML at all
      {"[[regulator]]\naddress = 1\n", "bad.toml:1:", "port is missing"},
      {"[line]\nport = \"/dev/ttyS0\"\n", "bad.toml:1:", "no [[regulator]]"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseConfig(c.text, "bad.toml", error)) << c.text;
    EXPECT_EQ(error.rfind(c.where, 0), 0u) << c.text << "\n -> " << error;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.text << "\n -> " << error;
  }
}

ops::Identity Found(int address, int speedIndex, int protocol, bool pressure) {
  ops::Identity id;
  id.address = address;
  id.speedIndex = speedIndex;
  id.protocol = protocol;
  id.serial = 3100u + static_cast<unsigned>(address);
  id.data.pres = pressure ? 1 : 0;
  return id;
}

TEST(GateConfig, StartingConfigOfAScanRunsAtTheSpeedMostRegulatorsAnswered) {
  const std::string text = StartingConfig(
      "/dev/ttyUSB0",
      {Found(2, 0, 1, false), Found(3, 1, 0, false), Found(5, 0, 1, true), Found(9, 2, 0, false)});
  std::string error;
  const auto c = ParseConfig(text, "scan.toml", error);
  ASSERT_TRUE(c) << error << "\n" << text;
  EXPECT_EQ(c->line.speedIndex, 0);
  EXPECT_EQ(c->line.protocol, 1);
  ASSERT_EQ(c->regulators.size(), 2u);
  EXPECT_EQ(c->regulators[0].name, "flow-2");
  EXPECT_EQ(c->regulators[1].name, "pressure-5");
  EXPECT_NE(text.find("also found, but at 19200 baud, kormast: address 3"), std::string::npos);
  EXPECT_EQ(c->modbus.listen, "127.0.0.1");
}

TEST(GateRegisterMap, WritesBecomeTheRegulatorsSettings) {
  struct Case {
    bool coil;
    int at;
    uint16_t value;
    const char* setting;  // nullptr: nothing to do
    int exception;
  } cases[] = {
      {false, 0, 4000, "setpoint=40.00", 0},
      {false, 0, 1, "setpoint=0.01", 0},
      {false, 0, 65535, "setpoint=655.35", 0},  // above the nominal range
      {false, 1, 0, "valve=regulate", 0},
      {false, 1, 1, "valve=open", 0},
      {false, 1, 2, "valve=closed", 0},
      {false, 1, 3, nullptr, 3},
      {false, 2, 1, "zero", 0},
      {false, 2, 0, nullptr, 0},
      {false, 2, 2, nullptr, 3},
      {false, 3, 1, "input=analogue", 0},
      {false, 4, 1, "kind=pressure", 0},
      {false, 5, 0, nullptr, 2},
      {true, 0, 1, "valve=open", 0},
      {true, 0, 0, "valve=regulate", 0},
      {true, 1, 1, "valve=closed", 0},
      {true, 2, 1, "zero", 0},
      {true, 3, 0, "input=digital", 0},
      {true, 4, 0, "kind=flow", 0},
      {true, 5, 1, nullptr, 2},
  };
  for (const Case& c : cases) {
    int exception = -1;
    const auto s =
        c.coil ? CoilWrite(c.at, c.value != 0, exception) : HoldingWrite(c.at, c.value, exception);
    const std::string what =
        (c.coil ? "coil " : "register ") + std::to_string(c.at) + " := " + std::to_string(c.value);
    EXPECT_EQ(exception, c.exception) << what;
    ASSERT_EQ(s.has_value(), c.setting != nullptr) << what;
    if (s) {
      EXPECT_EQ(s->text, c.setting) << what;
    }
  }
  // A setpoint written as a register is the dialog's value, not rounded again.
  int exception = 0;
  EXPECT_DOUBLE_EQ(HoldingWrite(0, 1234, exception)->percent, 12.34);
}

TEST(GateRegisterMap, ReadsShowTheLastAnswerAndItsAge) {
  RegulatorState s;
  s.address = 4;
  auto in = InputRegisters(s, SteadyClock::now());
  EXPECT_EQ(in[6], 0);                                                 // not linked
  EXPECT_EQ(static_cast<uint32_t>(in[7] << 16 | in[8]), 0xFFFFFFFFu);  // never answered
  EXPECT_EQ(in[13], 1);                                                // silent until it answers

  ops::Identity id;
  id.serial = 3104;
  id.status1 = 0x25;
  id.status6 = 0x42;
  id.data.pres = 1;
  id.data.zifra = 1;
  id.data.regu = 1;
  id.hold.fstvon = 1;
  s.identity = id;
  s.polled = true;
  s.reading.outcome = ops::Outcome::kAnswered;
  s.reading.setpoint = 4000;
  s.reading.flow = -125;
  const auto t0 = SteadyClock::now();
  s.lastAnswer = t0;
  in = InputRegisters(s, t0 + std::chrono::milliseconds(70123));
  const uint16_t want[kInputRegisters] = {
      4000, static_cast<uint16_t>(-125), 0x25, 0x42, 3104, 1, 1, 1, 4587, 1, 0, 1, 0, 0};
  for (int i = 0; i < kInputRegisters; ++i) EXPECT_EQ(in[i], want[i]) << "input register " << i;
  const auto hold = HoldingRegisters(in);
  EXPECT_EQ(hold[0], 4000);
  EXPECT_EQ(hold[1], 1);  // open by command
  EXPECT_EQ(hold[3], 0);  // digital
  EXPECT_EQ(hold[4], 1);  // pressure
  EXPECT_EQ(Coils(in)[0], 1);

  s.reading.outcome = ops::Outcome::kSilent;  // the last poll went unanswered
  in = InputRegisters(s, t0);
  EXPECT_EQ(in[6], 0);
  EXPECT_EQ(in[0], 0);
  EXPECT_EQ(in[13], 1);
  EXPECT_EQ(in[4], 3104);  // what it is stays known
}

TEST(GateMqtt, CommandsInBothForms) {
  struct Case {
    const char* payload;
    std::vector<std::string> settings;
    const char* id;  // JSON of the id, "" when none; nullptr: refused
  } cases[] = {
      {"setpoint=40", {"setpoint=40"}, ""},
      {" setpoint=12.5, valve=open\n", {"setpoint=12.5", "valve=open"}, ""},
      {R"({"setpoint": 40, "valve": "open", "id": 7})", {"setpoint=40", "valve=open"}, "7"},
      {R"({"zero": true, "id": "a"})", {"zero"}, "\"a\""},
      {R"({"setpoint": 12.5})", {"setpoint=12.5"}, ""},
      {R"({"zero": false})", {}, nullptr},
      {R"({"valve": ["open"]})", {}, nullptr},
      {R"({"setpoint": )", {}, nullptr},
      {"   ", {}, nullptr},
  };
  for (const Case& c : cases) {
    std::string error;
    const auto cmd = ParseCommand(c.payload, error);
    ASSERT_EQ(cmd.has_value(), c.id != nullptr) << c.payload << ": " << error;
    if (!cmd) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    EXPECT_EQ(cmd->settings, c.settings) << c.payload;
    EXPECT_EQ(cmd->id.is_null() ? "" : cmd->id.dump(), c.id) << c.payload;
  }
}

TEST(GateMqtt, StateCarriesReadingIdentityAndTexts) {
  RegulatorState s;
  s.address = 5;
  s.name = "burner";
  s.reading.address = 5;
  auto j = StateJson(s);
  EXPECT_TRUE(j["status"].is_null());
  EXPECT_FALSE(j["linked"].get<bool>());
  EXPECT_TRUE(j["setpoint"].is_null());

  ops::Identity id;
  id.address = 5;
  id.serial = 3105;
  id.data.pres = 1;
  s.identity = id;
  s.polled = true;
  s.reading.outcome = ops::Outcome::kAnswered;
  s.reading.setpoint = 5500;
  s.reading.flow = 5490;
  j = StateJson(s);
  EXPECT_EQ(j["name"], "burner");
  EXPECT_EQ(j["address"], 5);
  EXPECT_EQ(j["serial"], 3105);
  EXPECT_TRUE(j["linked"].get<bool>());
  EXPECT_EQ(j["status"], "answered");
  EXPECT_DOUBLE_EQ(j["setpoint"].get<double>(), 55.0);
  EXPECT_EQ(j["kind"], "pressure");
  EXPECT_EQ(j["texts"]["kind"], "ВПЗ");
  EXPECT_EQ(j["texts"]["caption"], "Номер ВПЗ");
}

}  // namespace
}  // namespace kvl::gate
