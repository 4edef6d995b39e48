// The line operations against the simulator on a pty, in both protocols: what
// each setting does to the regulator, refusals, address and speed changes with
// the speeds of both sides, a scan of a mixed line, and a port that goes away.
#include <gtest/gtest.h>

#include <memory>

#include "lineops/scan.h"
#include "lineops/settings.h"
#include "protocol/commands.h"
#include "support/regsim_process.h"
#include "serial/posix_link.h"

namespace kvl::test {
namespace {

using ops::Outcome;

std::array<std::string, kPortCount> Paths(const std::string& p) {
  std::array<std::string, kPortCount> a;
  a[0] = p;
  return a;
}

class LineOpsOnRegsim : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(line.Open());
    line.SetProtocol(GetParam());
  }
  ops::SetResult Set(const std::string& text) { return Set(text, four); }
  ops::SetResult Set(const std::string& text, int& address) {
    ops::Setting s;
    std::string error;
    EXPECT_TRUE(ops::ParseSetting(text, s, error)) << error;
    return ops::Apply(line, address, s);
  }
  RegsimProcess sim{KVL_REGSIM,
                    {"--dev", "addr=4,serial=3104,setpoint=10", "--dev",
                     "addr=9,kind=pressure,format=5,speeds=19200", "--dev",
                     "addr=6,kind=pressure,pres45=1,ext=open"}};
  PosixLink link{Paths(sim.path())};
  ops::Line line{link, 0};
  int four = 4;
};

TEST_P(LineOpsOnRegsim, IdentifyMeasureAndEverySetting) {
  ops::Identity id;
  ASSERT_EQ(ops::Identify(line, 4, id), Outcome::kAnswered);
  EXPECT_EQ(id.serial, 3104u);
  EXPECT_FALSE(id.Pressure());
  EXPECT_EQ(ops::TextsOf(id).mode, "Регулирование");
  ASSERT_EQ(ops::Identify(line, 9, id), Outcome::kAnswered);
  EXPECT_EQ(ops::TextsOf(id).kind, "ВПЗ");
  EXPECT_EQ(id.format, GetParam() ? 7u : 5u);  // Modbus devices read as format 7

  struct Step {
    const char* setting;
    const char* key;
    const char* value;
  } steps[] = {
      {"input=analogue", "digital", "0"},      {"setpoint=40", "setpoint", "40.00"},
      {"setpoint=40", "digital", "1"},         {"valve=open", "valve", "open"},
      {"valve=regulate", "valve", "regulate"}, {"kind=pressure", "kind", "pressure"},
      {"kind=flow", "kind", "flow"},           {"mode=measure", "regulate", "0"},
      {"mode=regulate", "regulate", "1"},      {"memorising=off", "rasre", "0"},
      {"memorising=on", "rasre", "1"},         {"zero", "zero_count", "1"},
      {"input=analogue", "digital", "0"},      {"input=digital", "digital", "1"},
  };
  for (const Step& s : steps) {
    const ops::SetResult r = Set(s.setting);
    EXPECT_EQ(r.outcome, Outcome::kAnswered) << s.setting << ": " << r.message;
    EXPECT_EQ(sim.Get(4, s.key), s.value) << s.setting;
  }
  // The digital input came back with the setpoint in force, unchanged.
  EXPECT_EQ(sim.Get(4, "setpoint"), "40.00");
  ops::Measurement m;
  ASSERT_EQ(ops::Measure(line, 4, m), Outcome::kAnswered);
  EXPECT_EQ(m.setpoint, 4000);
  EXPECT_EQ(ops::Measure(line, 5, m), Outcome::kSilent);
}

TEST_P(LineOpsOnRegsim, AddressAndSpeedChangesSayWhereEachSideIs) {
  int& address = four;
  ops::SetResult r = Set("address=12", address);
  EXPECT_EQ(r.outcome, Outcome::kAnswered) << r.message;
  EXPECT_EQ(address, 12);
  EXPECT_EQ(sim.Get(12, "serial"), "3104");

  r = Set("speed=38400", address);
  EXPECT_EQ(r.outcome, Outcome::kAnswered) << r.message;
  ASSERT_TRUE(r.speeds);
  EXPECT_EQ(r.speeds->regulator, 2);
  EXPECT_EQ(r.speeds->port, 2);
  EXPECT_EQ(line.SpeedIndex(), 2);
  EXPECT_EQ(sim.Get(12, "speed"), "38400");
  r = Set("speed=19200", address);
  EXPECT_EQ(r.outcome, Outcome::kAnswered) << r.message;

  // A regulator that cannot take the speed keeps its own, and so does the port.
  int nine = 9;
  r = Set("speed=9600", nine);
  EXPECT_EQ(r.outcome, Outcome::kRefused) << r.message;
  ASSERT_TRUE(r.speeds);
  EXPECT_EQ(r.speeds->regulator, 1);
  EXPECT_EQ(r.speeds->port, 1);
  EXPECT_NE(r.message.find("regulator at 19200 baud, port at 19200 baud"), std::string::npos)
      << r.message;
  EXPECT_EQ(sim.Get(9, "speed"), "19200");

  // The same regulator gone silent: neither speed finds it, and that is said.
  sim.Control("set 9 silent=1");
  r = Set("speed=38400", nine);
  EXPECT_EQ(r.outcome, Outcome::kSilent);
  EXPECT_EQ(r.speeds->regulator, -1);
  EXPECT_EQ(r.speeds->port, 1);
  EXPECT_NE(r.message.find("regctl scan"), std::string::npos) << r.message;
}

TEST_P(LineOpsOnRegsim, RefusalsAreToldInTheProgramsWords) {
  // The external signal holds the valve of 6: the regulator refuses to move it.
  int six = 6;
  ops::SetResult r = Set("valve=closed", six);
  EXPECT_EQ(r.outcome, Outcome::kRefused) << r.message;
  if (GetParam() == 0) {
    EXPECT_EQ(r.valveText, "Затвор: открыт. Внешн.");
    EXPECT_EQ(r.message, "valve: Затвор: открыт. Внешн.; Выключите внешнее управление затвором");
  }
  EXPECT_EQ(sim.Get(6, "valve"), "regulate");
  // Its pressure sensor cannot give flow: refused as the menu command refuses
  // it, and nothing is sent.
  r = Set("kind=flow", six);
  EXPECT_EQ(r.outcome, Outcome::kRefused);
  EXPECT_EQ(r.message, "kind: Нет возможности. Подключен ВПЗ");
  EXPECT_EQ(sim.Get(6, "kind"), "pressure");
}

INSTANTIATE_TEST_SUITE_P(Protocols, LineOpsOnRegsim, ::testing::Values(0, 1),
                         [](const auto& i) { return i.param ? "Modbus" : "Kormast"; });

TEST(LineOpsScan, MixedLineIsFoundExactly) {
  // Three speeds and both protocols on one line with real wire times; a silent
  // regulator and the empty addresses are not found.
  RegsimProcess sim(KVL_REGSIM, {"--wire", "--mixed-speeds", "--dev",
                                 "addr=2,speed=9600,protocols=kormast,format=5", "--dev",
                                 "addr=9,kind=pressure,protocols=modbus", "--dev",
                                 "addr=17,speed=38400", "--dev", "addr=18,silent"});
  PosixLink link(Paths(sim.path()));
  ops::Line line(link, 0);
  ASSERT_TRUE(line.Open());
  ops::ScanOptions o;
  o.speeds = {1, 0, 2};
  o.protocols = {0, 1};
  o.first = 1;
  o.last = 20;
  o.attemptMs = 100;  // a loaded test machine may keep the simulator waiting
  int calls = 0;
  const ops::ScanResult r = ops::Scan(line, o, [&](const ops::ScanProgress& p) {
    ++calls;
    EXPECT_EQ(p.total, 6 * 20);
    return true;
  });
  EXPECT_EQ(calls, 6 * 20);
  EXPECT_FALSE(r.stopped);
  std::vector<std::string> found;
  for (const ops::Identity& id : r.found)
    found.push_back(std::to_string(id.address) + " " +
                    std::to_string(cmd::BaudOfIndex(id.speedIndex)) + " " +
                    ops::ProtocolName(id.protocol) + " " + ops::TextsOf(id).kind + " " +
                    std::to_string(id.serial));
  EXPECT_EQ(found,
            (std::vector<std::string>{"2 9600 kormast КВЛ 1002", "9 19200 modbus ВПЗ 1009",
                                      "17 38400 kormast КВЛ 1017", "17 38400 modbus КВЛ 1017"}));
  EXPECT_EQ(line.SpeedIndex(), 1);  // the line is left as it was
  EXPECT_EQ(line.Protocol(), 0);
  // The default short attempt is the wire time of the identify exchange plus
  // 30 ms: under 20 s for 254 addresses at any speed.
  for (int speed : {0, 1, 2})
    for (int proto : {0, 1}) EXPECT_LT(ops::ShortAttemptMs(speed, proto) * 254, 20000u);
}

TEST(LineOpsScan, StoppedByItsCallerAndEndedByALostPort) {
  auto sim =
      std::make_unique<RegsimProcess>(KVL_REGSIM, std::vector<std::string>{"--dev", "addr=1"});
  PosixLink link(Paths(sim->path()));
  ops::Line line(link, 0);
  ASSERT_TRUE(line.Open());
  ops::ScanOptions o;
  o.last = 50;
  ops::ScanResult r = ops::Scan(line, o, [](const ops::ScanProgress& p) { return p.address < 3; });
  EXPECT_TRUE(r.stopped);
  ASSERT_EQ(r.found.size(), 1u);  // what answered before the stop is confirmed

  sim.reset();  // the other end of the line goes away
  r = ops::Scan(line, o);
  EXPECT_EQ(r.failure, Outcome::kPortLost);
  EXPECT_TRUE(r.found.empty());
  ops::Identity id;
  EXPECT_EQ(ops::Identify(line, 1, id), Outcome::kPortLost);
}

}  // namespace
}  // namespace kvl::test
