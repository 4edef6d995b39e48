// Exchange log lines and the 14-line window.
#include "protocol/exchange_log.h"

#include <gtest/gtest.h>

namespace kvl {
namespace {

TEST(ExchangeLogLines, KormastLineOfAPollAnswer) {
  const uint8_t r[10] = {17, 5, 0, 100, 19, 136, 0, 0, 0, 0};
  EXPECT_EQ(KormastLine(r, 10, 2), "17;5;0-100;19-136;0-0;0-0;10;2");
}

TEST(ExchangeLogLines, ModbusLineShowsRawBytesInHex) {
  const uint8_t r[9] = {5, 3, 4, 0x0A, 0xFF, 0, 0x10, 0xAB, 0xCD};
  EXPECT_EQ(ModbusLine(r, 9), "L=:9Modbus 5- 3- 4- A-FF- 0-10-AB-CD-");
}

TEST(ExchangeLogLines, ModbusExceptionAnswerIsMarked) {
  const uint8_t r[5] = {5, 0x83, 2, 0x11, 0x22};
  EXPECT_EQ(ModbusLine(r, 5), "L=:5Modbus 5-83- 2-11-22--error");
}

TEST(ExchangeLogLines, ModbusLineLengthIsBounded) {
  std::array<uint8_t, kResSize> r{};
  EXPECT_EQ(ModbusLine(r.data(), -4), "L=:-4Modbus");
  EXPECT_EQ(ModbusLine(r.data(), 100000).size(),
            std::string("L=:100000Modbus").size() + 3 * kResSize);
}

TEST(ExchangeLogLines, SoloLineAndTimeOut) {
  const uint8_t r[10] = {17, 3, 0, 12, 39, 16, 0, 1, 0, 88};
  EXPECT_EQ(SoloAnswerLine(r, 0), "17;3;0-12;39-16;0-1;0-88;0");
  EXPECT_EQ(TimeOutLine(0), "TimeOut0");
  EXPECT_EQ(TimeOutLine(4), "TimeOut4");
}

TEST(ExchangeLogWindow, KeepsTheNewestFourteenInOrder) {
  ExchangeLog log;
  int removed = 0;
  std::vector<std::string> mirror;
  log.SetObserver([&](const std::string& added, bool removedFirst) {
    if (removedFirst) {
      ++removed;
      mirror.erase(mirror.begin());
    }
    mirror.push_back(added);
  });
  for (int i = 0; i < 20; ++i) log.Add("line" + std::to_string(i));
  ASSERT_EQ(log.Lines().size(), 14u);
  EXPECT_EQ(log.Lines().front(), "line6");
  EXPECT_EQ(log.Lines().back(), "line19");
  EXPECT_EQ(log.m_len(), 14);
  EXPECT_EQ(removed, 6);
  EXPECT_EQ(std::vector<std::string>(log.Lines().begin(), log.Lines().end()), mirror);
}

}  // namespace
}  // namespace kvl
