// Check values, the answer test and the command set's bytes.
#include "protocol/frame.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "protocol/commands.h"

namespace kvl {
namespace {

TEST(CheckValues, PublishedCrcCheckValue) {
  const char* s = "123456789";
  EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>(s), 9), 0x4B37);
}

TEST(CheckValues, SumOfPollFrameOfAddress5) {
  Request rq;
  rq.com = {0x11, 0, 0, 0, 0, 0, 0, 5, 0xAA, 0xBB};
  ContrSum(rq);
  EXPECT_EQ(rq.com[8], 0x00);
  EXPECT_EQ(rq.com[9], 0x16);
}

TEST(CheckValues, SumIsSixteenBitsHighByteFirst) {
  uint8_t f[10] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0};
  ContrSum(f, 10, 0);
  EXPECT_EQ(f[8], 0x07);  // 8 * 255 = 0x07F8
  EXPECT_EQ(f[9], 0xF8);
}

TEST(CheckValues, ModbusCrcLowByteFirstOverWlength) {
  uint8_t f[10] = {5, 3, 0, 4, 0, 2, 0xEE, 0xEE, 0xEE, 0xEE};
  ContrSum(f, 8, 1);
  const uint16_t c = Crc16(f, 6);
  EXPECT_EQ(f[6], c & 0xFF);
  EXPECT_EQ(f[7], c >> 8);
  EXPECT_EQ(f[8], 0xEE);  // nothing beyond wlength is touched
}

TEST(CheckValues, ContrSumIgnoresImpossibleLengths) {
  uint8_t f[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  uint8_t copy[10];
  std::memcpy(copy, f, 10);
  ContrSum(f, 2, 0);
  ContrSum(f, 11, 1);
  EXPECT_EQ(0, std::memcmp(f, copy, 10));
}

TEST(AnswerTest, AcceptsOnlyCorrectCheckValue) {
  std::vector<uint8_t> a = {17, 5, 0, 100, 19, 136, 0, 3, 0, 0};
  ContrSum(a.data(), 10, 0);
  EXPECT_EQ(Response(a.data(), a.size(), 10, 0), 1);
  a[4] ^= 1;
  EXPECT_EQ(Response(a.data(), a.size(), 10, 0), 0);
}

TEST(AnswerTest, FewerThanThreeBytesNeverPass) {
  const uint8_t zeros[4] = {0, 0, 0, 0};
  EXPECT_EQ(Response(zeros, 4, 0, 0), 0);
  EXPECT_EQ(Response(zeros, 4, 2, 0), 0);
  EXPECT_EQ(Response(zeros, 4, 3, 0), 1);  // sum 0 == 0x0000
}

TEST(AnswerTest, LengthBeyondBufferFailsInsteadOfReading) {
  const uint8_t b[4] = {1, 0, 0, 1};
  EXPECT_EQ(Response(b, 4, 5, 0), 0);
  EXPECT_EQ(Response(b, 4, 600, 1), 0);
}

TEST(AnswerTest, ModbusMismatchLeavesDiagnosticText) {
  uint8_t a[7] = {5, 3, 2, 0, 7, 0, 0};
  const uint16_t c = Crc16(a, 5);
  a[5] = c & 0xFF;
  a[6] = c >> 8;
  std::string diag;
  EXPECT_EQ(Response(a, 7, 7, 1, &diag), 1);
  EXPECT_TRUE(diag.empty());
  a[6] ^= 0x01;  // received value is now c + 256
  EXPECT_EQ(Response(a, 7, 7, 1, &diag), 0);
  std::string expect = "response";
  for (int i = 0; i < 7; ++i) expect += std::to_string(a[i]) + "-";
  expect += "difference:" + std::to_string(-256) + ";7";
  EXPECT_EQ(diag, expect);
}

TEST(ProtocolChoice, KormastRestoresTenByteLengths) {
  Request rq;
  SelectModbus(rq);
  rq.wlength = 8;
  rq.rlength = 9;
  SelectKormast(rq);
  EXPECT_EQ(rq.fmodbuson, 0);
  EXPECT_EQ(rq.wlength, 10u);
  EXPECT_EQ(rq.rlength, 10u);
}

// Each request sets exactly the bytes it names and leaves the others as they were.
struct CommandCase {
  const char* name;
  void (*build)(Request&);
  std::vector<std::pair<int, int>> set;  // (byte, value)
};

TEST(CommandSet, EachRequestSetsOnlyItsBytes) {
  const std::vector<CommandCase> cases = {
      {"ident", [](Request& r) { cmd::Ident(r, 300); }, {{0, 1}, {7, 44}}},
      {"getnet",
       [](Request& r) { cmd::GetNet(r); },
       {{0, 2}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}}},
      {"measure", [](Request& r) { cmd::Measure(r, 5); }, {{0, 17}, {7, 5}}},
      {"speed 9600", [](Request& r) { cmd::Speed(r, 5, 0); }, {{0, 22}, {2, 0}, {7, 5}}},
      {"speed 19200", [](Request& r) { cmd::Speed(r, 5, 1); }, {{0, 22}, {2, 15}, {7, 5}}},
      {"speed 38400", [](Request& r) { cmd::Speed(r, 5, 2); }, {{0, 22}, {2, 1}, {7, 5}}},
      {"kind", [](Request& r) { cmd::Kind(r, 5, 5); }, {{0, 24}, {1, 5}, {3, 15}, {7, 5}}},
      {"mode", [](Request& r) { cmd::Mode(r, 5, 1); }, {{0, 24}, {1, 1}, {3, 0}, {7, 5}}},
      {"setnet", [](Request& r) { cmd::SetNet(r, 5, 300); }, {{0, 27}, {2, 44}, {7, 5}}},
      {"rasre", [](Request& r) { cmd::Rasre(r, 5, 1); }, {{0, 31}, {1, 1}, {7, 5}}},
      {"valve", [](Request& r) { cmd::Valve(r, 5, 2); }, {{0, 32}, {2, 2}, {7, 5}}},
      {"date", [](Request& r) { cmd::Date(r, 5); }, {{0, 34}, {1, 0x24}, {7, 5}}},
      {"zero", [](Request& r) { cmd::Zero(r, 5); }, {{0, 35}, {1, 28}, {3, 28}, {7, 5}}},
      {"analogue", [](Request& r) { cmd::InputSelect(r, 5, 1); }, {{0, 37}, {1, 1}, {7, 5}}},
      {"setpoint",
       [](Request& r) { cmd::Setpoint(r, 5, 5000); },
       {{0, 37}, {1, 0}, {2, 0x13}, {3, 0x88}, {7, 5}}},
      {"closing 255", [](Request& r) { cmd::ClosingFrame(r, 255); }, {{0, 1}, {1, 1}, {7, 255}}},
      {"closing 254", [](Request& r) { cmd::ClosingFrame(r, 254); }, {{0, 1}, {1, 255}, {7, 254}}},
      {"zero read f6",
       [](Request& r) { cmd::ZeroOffsetRead(r, 9, 6, false); },
       {{0, 45}, {1, 0xFF}, {3, 0}, {6, 0xFF}, {7, 9}}},
      {"zero write f7 300",
       [](Request& r) { cmd::ZeroOffsetWrite(r, 9, 7, true, 300); },
       {{0, 35}, {1, 0}, {3, 28}, {4, 1}, {5, 0x2C}, {6, 0}, {7, 9}}},
      {"solo kind", [](Request& r) { cmd::SoloKind(r, 9, 5); }, {{0, 24}, {1, 5}, {7, 9}}},
  };
  for (const auto& c : cases) {
    Request r;
    r.com = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9};
    c.build(r);
    std::array<int, 10> expect;
    for (int i = 0; i < 10; ++i) expect[i] = 0xA0 + i;
    for (auto [b, v] : c.set) expect[b] = v;
    for (int i = 0; i < 10; ++i) EXPECT_EQ(r.com[i], expect[i]) << c.name << " byte " << i;
  }
}

TEST(CommandSet, ModbusOnlySelectorsFollowTheProtocolSwitch) {
  Request r;
  r.com.fill(0x55);
  cmd::InputSelect(r, 1, 0);
  EXPECT_EQ(r.com[5], 0x55);
  cmd::Setpoint(r, 1, 1);
  EXPECT_EQ(r.com[5], 0x55);
  SelectModbus(r);
  cmd::InputSelect(r, 1, 0);
  EXPECT_EQ(r.com[5], 0x0F);
  cmd::Setpoint(r, 1, 1);
  EXPECT_EQ(r.com[5], 0);
}

TEST(CommandSet, SpeedCodesAndBackAgree) {
  EXPECT_EQ(cmd::SpeedIndexFromCode(cmd::SpeedCode(0)), 0);
  EXPECT_EQ(cmd::SpeedIndexFromCode(cmd::SpeedCode(1)), 1);
  EXPECT_EQ(cmd::SpeedIndexFromCode(cmd::SpeedCode(2)), 2);
  EXPECT_EQ(cmd::SpeedIndexFromCode(0x77), 1);
  EXPECT_EQ(cmd::BaudOfIndex(0), 9600u);
  EXPECT_EQ(cmd::BaudOfIndex(2), 38400u);
  EXPECT_EQ(cmd::BaudOfIndex(7), 19200u);
}

}  // namespace
}  // namespace kvl
