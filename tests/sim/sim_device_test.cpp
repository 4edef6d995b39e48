// The simulated regulator against the programs' own request builders, translation
// and status decoding: every request in both protocols.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "network/channel_table.h"
#include "setup/status_flags.h"
#include "sim_bench.h"
#include "solo/solo_flags.h"

namespace kvl::sim::test {
namespace {

TEST(SimKormast, IdentifyGivesSerialFormatAndStatusInTheNewerLayout) {
  Bench b;
  b.Add("addr=5,serial=4660,format=7,regulate=1,digital=1,rasre=0,valve=closed,kind=pressure");
  Request rq;
  cmd::Ident(rq, 5);
  const Bytes a = b.Kormast(rq);
  ASSERT_TRUE(KormastValid(a));
  EXPECT_EQ(a[0], CMD_IDENT);
  EXPECT_EQ(a[7], 5);
  EXPECT_EQ(Word(a, 2), 4660);
  EXPECT_EQ(a[5], 7);

  // The network programs' own decoder reads what the device meant.
  ChannelTable t(kNet9);
  CommandHold hold;
  SetFlags(t, 0, a.data(), a[5], hold);
  EXPECT_EQ(t.Data[0].regu, 1);
  EXPECT_EQ(t.Data[0].zifra, 1);
  EXPECT_EQ(t.Data[0].rasre, 0);
  EXPECT_EQ(t.Data[0].pres, 1);
  EXPECT_EQ(hold.fstvoff, 1);
  EXPECT_EQ(hold.fstvon, 0);
  EXPECT_EQ(t.Satv[0].fm15, 0);
}

TEST(SimKormast, OlderFormatUsesTheOlderLayout) {
  Bench b;
  b.Add("addr=3,format=5,regulate=1,digital=1,alarm=1,kind=pressure,ext=open");
  Request rq;
  cmd::Ident(rq, 3);
  const Bytes a = b.Kormast(rq);
  ASSERT_TRUE(KormastValid(a));
  EXPECT_EQ(a[5], 5);
  EXPECT_EQ(a[1] & 0x80, 0x80);  // alarm
  EXPECT_EQ(a[1] & 0x08, 0x08);  // digital
  ChannelTable t(kNet9);
  CommandHold hold;
  SetFlags(t, 1, a.data(), a[5], hold);
  EXPECT_EQ(t.Data[1].avar, 1);
  EXPECT_EQ(t.Data[1].zifra, 1);
  EXPECT_EQ(t.Data[1].regu, 1);
  EXPECT_EQ(t.Data[1].pres, 1);
  EXPECT_EQ(t.Satv[1].fp15, 1);
  EXPECT_EQ(t.Satv[1].fm15, 0);

  // The single-regulator program reads memorising from byte 6 in this layout.
  solo::StatusFlags f;
  solo::PortFlags p;
  solo::SetFlags(a.data(), a[5], f, p);
  EXPECT_EQ(f.frasre, 1);
  EXPECT_EQ(f.flagPres, 1);
  EXPECT_EQ(p.favari, 1);
}

TEST(SimKormast, SingleRegulatorProgramSeesAFreeValveWithTheDocumentedOverride) {
  for (const char* text : {"addr=2,format=7,status6=0x42", "addr=2,format=5,status6=0x06"}) {
    Bench b;
    b.Add(text);
    Request rq;
    cmd::Ident(rq, 2);
    rq.com[1] = 0;
    const Bytes a = b.Kormast(rq);
    solo::StatusFlags f;
    solo::PortFlags p;
    solo::SetFlags(a.data(), a[5], f, p);
    EXPECT_EQ(f.fvnech, 0) << text;
    EXPECT_EQ(f.fda0, 1) << text;
  }
}

// One request to a fresh device, and the answer bytes that tell what the device
// did (index, value); no bytes at all: no answer. Each row is a test of its own.
struct AnswerCase {
  const char* name;
  const char* device;
  std::function<void(Request&)> request;
  std::vector<std::pair<int, int>> bytes;
};

template <class Case>
std::string RowName(const testing::TestParamInfo<Case>& i) {
  return i.param.name;
}

class SimKormastAnswer : public testing::TestWithParam<AnswerCase> {};

TEST_P(SimKormastAnswer, Bytes) {
  const AnswerCase& c = GetParam();
  Bench b;
  b.Add(c.device);
  Request rq;
  c.request(rq);
  const Bytes a = b.Kormast(rq);
  if (c.bytes.empty()) {
    EXPECT_TRUE(a.empty());
    return;
  }
  ASSERT_TRUE(KormastValid(a));
  for (auto [at, value] : c.bytes) EXPECT_EQ(a[at], value) << "byte " << at;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SimKormastAnswer,
    testing::Values(AnswerCase{"RawStatusOverridesAreSentAsGiven",
                               "addr=2,status1=0xA5,status3=7,status6=0x5A",
                               [](Request& rq) { cmd::Ident(rq, 2); },
                               {{1, 0xA5}, {4, 7}, {6, 0x5A}}},
                    // Flow in sign and magnitude (-0.50 %), then the setpoint (42.50 %).
                    AnswerCase{"MeasureGivesSignedFlowAndSetpoint",
                               "addr=4,regulate=0,flow=-0.5,setpoint=42.5",
                               [](Request& rq) { cmd::Measure(rq, 4); },
                               {{2, 0x80}, {3, 0x32}, {4, 0x10}, {5, 0x9A}}},
                    // Valve status: bit 4 open, 3 closed by program, 2 opened by program, 1 closed
                    // by the external signal.
                    AnswerCase{"ValveOpenedByProgram",
                               "addr=8",
                               [](Request& rq) { cmd::Valve(rq, 8, 1); },
                               {{0, CMD_VALVE}, {3, 0x10 | 0x04}}},
                    AnswerCase{"ValveClosedByProgram",
                               "addr=8",
                               [](Request& rq) { cmd::Valve(rq, 8, 2); },
                               {{0, CMD_VALVE}, {3, 0x08}}},
                    AnswerCase{"ValveToRegulation",
                               "addr=8",
                               [](Request& rq) { cmd::Valve(rq, 8, 0); },
                               {{0, CMD_VALVE}, {3, 0x00}}},
                    AnswerCase{"ValveHeldByTheExternalSignalRefusesWithCodeZero",
                               "addr=8,ext=closed",
                               [](Request& rq) { cmd::Valve(rq, 8, 1); },
                               {{0, 0}, {3, 0x02}}},
                    AnswerCase{"FirmwareDate",
                               "addr=13,date=1-2-19-4",
                               [](Request& rq) { cmd::Date(rq, 13); },
                               {{2, 1}, {3, 2}, {4, 19}, {5, 4}}},
                    AnswerCase{"UnknownCodeIsNotAnswered",
                               "addr=1",
                               [](Request& rq) { rq.com = {99, 0, 0, 0, 0, 0, 0, 1, 0, 0}; },
                               {}}),
    RowName<AnswerCase>);

TEST(SimKormast, UnknownCodeIsTraced) {
  Bench b;
  b.Add("addr=1");
  Request rq;
  rq.com = {99, 0, 0, 0, 0, 0, 0, 1, 0, 0};
  b.Kormast(rq);
  EXPECT_TRUE(b.TraceHas("RX K 63"));
}

TEST(SimKormast, OnlyTheAddressedDeviceAnswers) {
  Bench b;
  b.Add("addr=1");
  b.Add("addr=2,serial=222");
  Request rq;
  cmd::Ident(rq, 2);
  Bytes a = b.Kormast(rq);
  ASSERT_TRUE(KormastValid(a));
  EXPECT_EQ(Word(a, 2), 222);
  cmd::Ident(rq, 9);
  EXPECT_TRUE(b.Kormast(rq).empty());
}

TEST(SimKormast, AddressQueryIsAnsweredByTheDeviceOnTheLine) {
  Bench b;
  b.Add("addr=17,serial=300,format=6");
  Request rq;
  cmd::GetNet(rq);
  const Bytes a = b.Kormast(rq);
  ASSERT_TRUE(KormastValid(a));
  EXPECT_EQ(a[1], 6);
  EXPECT_EQ(Word(a, 5), 300);
  EXPECT_EQ(a[7], 17);
  // At a typed address the device there answers; elsewhere nobody does.
  cmd::GetNetAt(rq, 17);
  EXPECT_TRUE(KormastValid(b.Kormast(rq)));
  cmd::GetNetAt(rq, 18);
  EXPECT_TRUE(b.Kormast(rq).empty());
}

TEST(SimKormast, AddressQueryWithSeveralDevicesGetsOneAnswerEach) {
  Bench b;
  b.Add("addr=1");
  b.Add("addr=2");
  Request rq;
  cmd::GetNet(rq);
  const Bytes a = b.Kormast(rq);
  ASSERT_EQ(a.size(), 20u);
  EXPECT_TRUE(KormastValid(Bytes(a.begin(), a.begin() + 10)));
  EXPECT_TRUE(KormastValid(Bytes(a.begin() + 10, a.end())));
  EXPECT_EQ(a[7], 1);
  EXPECT_EQ(a[17], 2);
}

TEST(SimKormast, SetpointIsTakenClampedAndSelectsTheDigitalInput) {
  Bench b;
  Device& d = b.Add("addr=4,digital=0");
  Request rq;
  cmd::Setpoint(rq, 4, 5000);
  Bytes a = b.Kormast(rq);
  ASSERT_TRUE(KormastValid(a));
  EXPECT_EQ(Word(a, 2), 5000);
  EXPECT_EQ(d.setpoint, 5000);
  EXPECT_TRUE(d.digital);
  cmd::Setpoint(rq, 4, 60000);  // beyond 100 %: the device keeps to its range
  a = b.Kormast(rq);
  EXPECT_EQ(Word(a, 2), 10000);
  cmd::InputSelect(rq, 4, 1);
  b.Kormast(rq);
  EXPECT_FALSE(b.line.Find(4)->digital);
  EXPECT_EQ(b.line.Find(4)->setpoint, 10000);
}

TEST(SimKormast, KindAndModeFollowTheThirdDataByte) {
  Bench b;
  Device& d = b.Add("addr=6,regulate=1");
  Request rq;
  cmd::Kind(rq, 6, cmd::KindByte(true, false));  // kind only: mode kept
  ASSERT_TRUE(KormastValid(b.Kormast(rq)));
  EXPECT_TRUE(d.pressure);
  EXPECT_TRUE(d.regulate);
  cmd::Mode(rq, 6, cmd::KindByte(true, false));  // mode (and kind) from the byte
  b.Kormast(rq);
  EXPECT_FALSE(d.regulate);
  EXPECT_TRUE(d.pressure);
  // The single-regulator program leaves the third byte over: both bits count.
  rq.com[3] = 28;
  cmd::SoloKind(rq, 6, cmd::KindByte(false, true));
  b.Kormast(rq);
  EXPECT_FALSE(d.pressure);
  EXPECT_TRUE(d.regulate);
}

TEST(SimKormast, ValveCommandsSetTheValve) {
  Bench b;
  Device& d = b.Add("addr=8");
  Request rq;
  cmd::Valve(rq, 8, 1);
  b.Kormast(rq);
  EXPECT_EQ(d.valve, Valve::kOpen);
  cmd::Valve(rq, 8, 0);
  b.Kormast(rq);
  EXPECT_EQ(d.valve, Valve::kRegulate);
  // Held by the external signal: refused, and the valve stays.
  d.external = External::kClosed;
  cmd::Valve(rq, 8, 2);
  b.Kormast(rq);
  EXPECT_EQ(d.valve, Valve::kRegulate);
}

TEST(SimKormast, SpeedChangeAnswersTheCodeThenSwitchesTheLine) {
  Bench b;
  b.Add("addr=9");
  Request rq;
  cmd::Speed(rq, 9, 2);
  std::vector<Output> outs;
  ContrSum(rq.com.data(), 10, 0);
  const Bytes a = b.Send(Bytes(rq.com.begin(), rq.com.end()), 5000, &outs);
  ASSERT_TRUE(KormastValid(a));
  EXPECT_EQ(a[2], 1);
  ASSERT_FALSE(outs.empty());
  EXPECT_EQ(outs.back().baudAfter.value_or(0), 38400u);
  EXPECT_EQ(b.line.Baud(), 38400u);
  EXPECT_TRUE(b.TraceHas("NOTE line speed switched to 38400"));
  // The device now listens at 38400 only; a device left at 19200 is deaf.
  b.Add("addr=10,speed=19200");
  cmd::Ident(rq, 10);
  EXPECT_TRUE(b.Kormast(rq).empty());
  cmd::Ident(rq, 9);
  EXPECT_TRUE(KormastValid(b.Kormast(rq)));
}

TEST(SimKormast, SpeedTheDeviceCannotTakeIsAnsweredWithTheCodeInForce) {
  Bench b;
  b.Add("addr=9,speeds=9600+19200");
  Request rq;
  cmd::Speed(rq, 9, 2);  // 38400
  const Bytes a = b.Kormast(rq);
  ASSERT_TRUE(KormastValid(a));
  EXPECT_EQ(a[2], 0x0F);  // still 19200
  EXPECT_EQ(b.line.Baud(), 19200u);
  EXPECT_EQ(b.line.Find(9)->speed, 19200u);
  Request m;
  cmd::Speed(m, 9, 2);
  const Bytes e = b.Modbus(m);
  ASSERT_EQ(e.size(), 5u);
  EXPECT_EQ(e[2], kIllegalValue);
  Device d;
  EXPECT_NE(ParseDevice("addr=1,speeds=9600,speed=19200", 19200, d).find("not among"),
            std::string::npos);
}

TEST(SimKormast, PatchedAnswerBytesKeepAValidSum) {
  Bench b;
  b.Add("addr=8,patch=32:0:0+31:1:7");
  Request rq;
  cmd::Valve(rq, 8, 1);
  Bytes a = b.Kormast(rq);
  ASSERT_TRUE(KormastValid(a));
  EXPECT_EQ(a[0], 0);  // looks refused
  cmd::Rasre(rq, 8, 1);
  a = b.Kormast(rq);
  ASSERT_TRUE(KormastValid(a));
  EXPECT_EQ(a[1], 7);
  cmd::Measure(rq, 8);
  EXPECT_EQ(b.Kormast(rq)[0], CMD_MEASURE);  // other answers untouched
}

TEST(SimKormast, AddressChangeAnswersFromTheOldAddressThenMoves) {
  Bench b;
  b.Add("addr=11");
  Request rq;
  cmd::SetNet(rq, 11, 44);
  const Bytes a = b.Kormast(rq);
  ASSERT_TRUE(KormastValid(a));
  EXPECT_EQ(a[7], 11);
  EXPECT_EQ(a[2], 44);
  EXPECT_EQ(b.line.Find(11), nullptr);
  ASSERT_NE(b.line.Find(44), nullptr);
  cmd::SetNet(rq, 44, 255);  // not an address: refused, the answer keeps 44
  const Bytes r = b.Kormast(rq);
  EXPECT_EQ(r[2], 44);
  EXPECT_NE(b.line.Find(44), nullptr);
}

TEST(SimKormast, TwoDevicesMovedToOneAddressBothAnswer) {
  Bench b;
  b.Add("addr=1,serial=111");
  b.Add("addr=2,serial=222");
  Request rq;
  cmd::SetNet(rq, 2, 1);
  ASSERT_TRUE(KormastValid(b.Kormast(rq)));
  EXPECT_TRUE(b.TraceHas("NOTE address 1 is now used twice"));
  cmd::Ident(rq, 1);
  rq.com[1] = 0;
  const Bytes a = b.Kormast(rq);
  ASSERT_EQ(a.size(), 20u);
  EXPECT_EQ(Word(a, 2), 111);
  EXPECT_EQ(Word(a, 12), 222);
}

TEST(SimKormast, MemorisingEchoesTheRequestByte) {
  Bench b;
  Device& d = b.Add("addr=12,rasre=1");
  Request rq;
  cmd::Rasre(rq, 12, 1);  // "Нет"
  Bytes a = b.Kormast(rq);
  EXPECT_EQ(a[1], 1);
  EXPECT_FALSE(d.rasre);
  cmd::Ident(rq, 12);
  rq.com[1] = 0;
  a = b.Kormast(rq);
  EXPECT_EQ(a[1] & 0x10, 0x10);  // newer layout: bit 4 set = not remembered
}

TEST(SimKormast, ZeroSettingCountsAndZeroOffsetReadsAndWrites) {
  Bench b;
  Device& d = b.Add("addr=14,offset=77,valve=closed");
  Request rq;
  cmd::Zero(rq, 14);
  ASSERT_TRUE(KormastValid(b.Kormast(rq)));
  EXPECT_EQ(d.zeroCount, 1);
  EXPECT_EQ(d.offset, 77);

  cmd::ZeroOffsetRead(rq, 14, 7, false);
  Bytes a = b.Kormast(rq);
  ASSERT_TRUE(KormastValid(a));
  EXPECT_EQ(Word(a, 4), 77);
  cmd::ZeroOffsetWrite(rq, 14, 7, false, 300);
  a = b.Kormast(rq);
  EXPECT_EQ(a[4], 0x01);
  EXPECT_EQ(a[5], 0x2C);
  EXPECT_EQ(d.offset, 300);
  // Code 45 belongs to format-6 devices only.
  cmd::ZeroOffsetRead(rq, 14, 6, false);
  EXPECT_TRUE(b.Kormast(rq).empty());
}

TEST(SimKormast, FormatSixDevicesKeepTheOffsetUnderCode45) {
  Bench b;
  Device& d = b.Add("addr=15,format=6,kind=pressure");
  Request rq;
  cmd::ZeroOffsetWrite(rq, 15, 6, true, 1234);
  const Bytes a = b.Kormast(rq);
  ASSERT_TRUE(KormastValid(a));
  EXPECT_EQ(a[0], CMD_ZERO6);
  EXPECT_EQ(Word(a, 4), 1234);
  EXPECT_EQ(d.offset, 1234);
  cmd::ZeroOffsetRead(rq, 15, 7, true);  // code 35 is not theirs
  EXPECT_TRUE(b.Kormast(rq).empty());
}

TEST(SimKormast, ClosingFrameIsRecordedAndNotAnswered) {
  Bench b;
  b.Add("addr=16");
  Request rq;
  cmd::ClosingFrame(rq, 16);
  EXPECT_TRUE(b.Kormast(rq).empty());
  EXPECT_TRUE(b.TraceHas("NOTE closing frame for address 16"));
  // An identify whose left-over first byte happens to look the same is retried
  // by the programs, and the copy is answered.
  EXPECT_TRUE(KormastValid(b.Kormast(rq)));
  // An ordinary identify is answered at once.
  cmd::Ident(rq, 16);
  rq.com[1] = 0;
  EXPECT_TRUE(KormastValid(b.Kormast(rq)));
}

TEST(SimKormast, ClosingFrameForAnEmptyAddressIsStillRecorded) {
  Bench b;
  b.Add("addr=1");
  Request rq;
  cmd::ClosingFrame(rq, 255);
  EXPECT_EQ(rq.com[1], 1);
  EXPECT_TRUE(b.Kormast(rq).empty());
  EXPECT_TRUE(b.TraceHas("NOTE closing frame for address 255 (no device there)"));
}

// Modbus: the programs' translation of each command, answered and translated back.

TEST(SimModbus, IdentifyAndMeasureTranslateBack) {
  Bench b;
  b.Add("addr=5,serial=4660,regulate=1,digital=1,setpoint=25,flow=25");
  Request rq;
  cmd::Ident(rq, 5);
  Bytes raw = b.Modbus(rq);
  ASSERT_TRUE(ModbusValid(raw));
  EXPECT_EQ(raw.size(), rq.rlength);
  Answer ans;
  std::copy(raw.begin(), raw.end(), ans.res.begin());
  PrebrasBack(rq, ans);
  EXPECT_EQ(ans.res[2] << 8 | ans.res[3], 4660);
  EXPECT_EQ(ans.res[1] & 0x03, 0x03);  // regulating, digital

  Request m;
  cmd::Measure(m, 5);
  const Bytes a = b.ModbusBack(m);
  EXPECT_EQ(Word(a, 4), 2500);
  EXPECT_NEAR(Word(a, 2) & 0x7FFF, 2500, 20);
}

TEST(SimModbus, OlderDevicesReportTheNewerLayoutOverModbus) {
  // The translation takes every Modbus answer for format 7, so the registers must
  // be in the newer layout whatever the device's format byte.
  Bench b;
  b.Add("addr=6,format=5,digital=1,regulate=0,kind=pressure");
  Request rq;
  cmd::Ident(rq, 6);
  const Bytes a = b.ModbusBack(rq);
  ChannelTable t(kNet9);
  CommandHold hold;
  SetFlags(t, 0, a.data(), a[5], hold);
  EXPECT_EQ(a[5], 7);
  EXPECT_EQ(t.Data[0].zifra, 1);
  EXPECT_EQ(t.Data[0].pres, 1);
}

TEST(SimModbus, AddressQueryAtAddressZero) {
  Bench b;
  b.Add("addr=21,serial=777");
  Request rq;
  cmd::GetNet(rq);
  Bytes raw = b.Modbus(rq);
  ASSERT_TRUE(ModbusValid(raw));
  EXPECT_EQ(raw.size(), 9u);
  Answer ans;
  std::copy(raw.begin(), raw.end(), ans.res.begin());
  PrebrasBack(rq, ans);
  EXPECT_EQ(ans.res[7], 21);
  EXPECT_EQ(raw[5] << 8 | raw[6], 777);
}

TEST(SimModbus, WritesEchoAndChangeTheDevice) {
  Bench b;
  Device& d = b.Add("addr=7,regulate=1,digital=1,rasre=1");
  Request rq;
  cmd::Setpoint(rq, 7, 3300);
  Bytes raw = b.Modbus(rq);
  ASSERT_EQ(raw.size(), 8u);
  EXPECT_TRUE(ModbusValid(raw));
  EXPECT_EQ(d.setpoint, 3300);

  cmd::InputSelect(rq, 7, 1);  // analogue
  ASSERT_TRUE(ModbusValid(b.Modbus(rq)));
  EXPECT_FALSE(d.digital);

  cmd::Kind(rq, 7, cmd::KindByte(true, true));
  ASSERT_TRUE(ModbusValid(b.Modbus(rq)));
  EXPECT_TRUE(d.pressure);

  cmd::Mode(rq, 7, cmd::KindByte(true, false));
  ASSERT_TRUE(ModbusValid(b.Modbus(rq)));
  EXPECT_FALSE(d.regulate);

  cmd::Rasre(rq, 7, 1);
  ASSERT_TRUE(ModbusValid(b.Modbus(rq)));
  EXPECT_FALSE(d.rasre);

  cmd::Valve(rq, 7, 2);
  ASSERT_TRUE(ModbusValid(b.Modbus(rq)));
  EXPECT_EQ(d.valve, Valve::kClosed);
  cmd::Valve(rq, 7, 0);
  b.Modbus(rq);
  EXPECT_EQ(d.valve, Valve::kRegulate);

  cmd::Zero(rq, 7);
  ASSERT_TRUE(ModbusValid(b.Modbus(rq)));
  EXPECT_EQ(d.zeroCount, 1);

  cmd::SetNet(rq, 7, 70);
  const Bytes echo = b.ModbusBack(rq);
  EXPECT_EQ(echo[2], 70);
  EXPECT_NE(b.line.Find(70), nullptr);
}

TEST(SimModbus, SpeedWriteSwitchesAfterTheEcho) {
  Bench b;
  b.Add("addr=3");
  Request rq;
  cmd::Speed(rq, 3, 0);
  const Bytes a = b.ModbusBack(rq);
  EXPECT_EQ(a[2], 0);
  EXPECT_EQ(b.line.Baud(), 9600u);
}

Bytes ModbusRequest(Bytes body) {
  body.push_back(0);
  body.push_back(0);
  ContrSum(body.data(), static_cast<uint32_t>(body.size()), 1);
  return body;
}

// Exceptions for what the device does not have: a request (without its CRC) to
// a device whose valve the external signal holds open, and the exception code.
struct ExceptionCase {
  const char* name;
  Bytes request;
  uint8_t exception;
};

class SimModbusException : public testing::TestWithParam<ExceptionCase> {};

TEST_P(SimModbusException, Answer) {
  const ExceptionCase& c = GetParam();
  Bench b;
  b.Add("addr=2,ext=open");
  const Bytes a = b.Send(ModbusRequest(c.request));
  ASSERT_EQ(a.size(), 5u);
  EXPECT_TRUE(ModbusValid(a));
  EXPECT_EQ(a[1], c.request[1] | 0x80);
  EXPECT_EQ(a[2], c.exception);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SimModbusException,
    testing::Values(
        ExceptionCase{"UnknownFunction", {2, 0x01, 0, 0, 0, 1}, kIllegalFunction},
        ExceptionCase{"RegistersBeyond6", {2, 0x03, 0, 5, 0, 3}, kIllegalAddress},
        ExceptionCase{"ReadOnlyRegister", {2, 0x06, 0, 1, 0, 9}, kIllegalAddress},
        ExceptionCase{"CoilsBeyond6", {2, 0x0F, 0, 6, 0, 2, 1, 3}, kIllegalAddress},
        ExceptionCase{"SetpointBeyond100Percent", {2, 0x06, 0, 4, 0x27, 0x11}, kIllegalValue},
        ExceptionCase{"ValveHeldByTheExternalSignal", {2, 0x0F, 0, 2, 0, 2, 1, 2}, kDeviceFailure},
        // Judged after the gap, its length being unknown.
        ExceptionCase{"FunctionOfUnknownLength", {2, 0x2B, 0x0E, 1, 0}, kIllegalFunction}),
    RowName<ExceptionCase>);

TEST(SimModbus, BroadcastWritesAreDoneWithoutAnswer) {
  Bench b;
  b.Add("addr=1");
  b.Add("addr=2");
  EXPECT_TRUE(b.Send(ModbusRequest({0, 0x06, 0, 4, 0x03, 0xE8})).empty());
  EXPECT_EQ(b.line.Find(1)->setpoint, 1000);
  EXPECT_EQ(b.line.Find(2)->setpoint, 1000);
}

// Flow dynamics.

TEST(SimDynamics, FlowFollowsTheSetpointWithALag) {
  Device d;
  d.regulate = true;
  d.setpoint = 8000;
  d.flow = 0;
  std::mt19937 rng(1);
  d.Advance(500, rng);
  EXPECT_GT(d.flow, 20.0);  // about 31 % after half a time constant
  EXPECT_LT(d.flow, 45.0);
  d.Advance(1000, rng);
  const double mid = d.flow;
  EXPECT_GT(mid, 60.0);
  EXPECT_LT(mid, 80.0);
  for (int i = 0; i < 10; ++i) d.Advance(1000, rng);
  EXPECT_NEAR(d.flow, 80.0, 0.01);
  // Noise stays small while regulating.
  EXPECT_NE(d.noise, 0.0);
  EXPECT_LT(std::abs(d.noise), 0.3);
}

TEST(SimDynamics, ValveAndModeSetWhereTheFlowGoes) {
  Device d;
  d.setpoint = 3000;
  d.valve = Valve::kOpen;
  EXPECT_EQ(d.TargetFlow(), 100.0);
  d.valve = Valve::kClosed;
  EXPECT_EQ(d.TargetFlow(), 0.0);
  d.valve = Valve::kRegulate;
  d.external = External::kOpen;
  EXPECT_EQ(d.TargetFlow(), 100.0);
  d.external = External::kNone;
  d.regulate = false;
  d.freeFlow = 12.5;
  EXPECT_EQ(d.TargetFlow(), 12.5);
  std::mt19937 rng(1);
  d.flow = 12.5;
  d.Advance(1000, rng);
  EXPECT_EQ(d.noise, 0.0);  // measuring only: no regulation noise
  EXPECT_EQ(d.FlowWord(), 1250);
}

}  // namespace
}  // namespace kvl::sim::test
