// regsolo's polling, status line and status block, and the typed-number rules.
#include "solo/solo_status.h"

#include "logic/solo_fixture.h"
#include "solo/solo_numbers.h"

namespace kvl::test {
namespace {

using namespace kvl::solo;

TEST(SoloValues, FlowIsSignAndMagnitude) {
  EXPECT_EQ(FlowValue(0x80, 0x32), -50);
  EXPECT_EQ(FlowValue(0x00, 0x32), 50);
  EXPECT_EQ(FlowValue(0x00, 0x00), 0);
  EXPECT_EQ(FlowValue(0x80, 0x00), 0);
  EXPECT_EQ(FlowValue(0xA7, 0x10), -10000);
  EXPECT_EQ(FlowValue(0x27, 0x10), 10000);
}

TEST(SoloValues, StatusLineAndOutputTexts) {
  const std::string ctime = "Mon Dec  7 10:20:30 2026\n";
  EXPECT_EQ(Chasi(ctime), "Dec  7 10:20:30");
  EXPECT_EQ(Vivod(5000, FlowValue(0x80, 0x32), ctime),
            " Задание: 50.0%; Расход: -0.5%; Дата: Dec  7 10:20:30");
  EXPECT_EQ(Vivod(0, 0, ctime), " Задание: 0.0%; Расход: +0.0%; Дата: Dec  7 10:20:30");
  EXPECT_EQ(Vivod(2505, 50, ctime), " Задание: 25.1%; Расход: +0.5%; Дата: Dec  7 10:20:30");
  EXPECT_EQ(Chasi(""), "");  // a missing clock text leaves the date empty
  EXPECT_EQ(OutputText(-10), "-0.1%");
  EXPECT_EQ(OutputText(10), "+0.1%");
}

TEST(SoloNumbers, DecimalValueReadsLikeAtoi) {
  EXPECT_EQ(DecimalValue("300"), 300);
  EXPECT_EQ(DecimalValue("  12abc"), 12);
  EXPECT_EQ(DecimalValue("-7"), -7);
  EXPECT_EQ(DecimalValue(""), 0);
  EXPECT_EQ(DecimalValue("x5"), 0);
  EXPECT_EQ(DecimalValue("999999999"), 999999999);
  EXPECT_EQ(DecimalValue("4294967297"), 2147483647);  // beyond int: the largest
  EXPECT_EQ(DecimalValue("-99999999999"), -2147483647 - 1);
}

TEST(SoloNumbers, WholeNumbersRefuseOtherText) {
  EXPECT_EQ(WholeNumber(" 42 "), 42);
  EXPECT_EQ(WholeNumber("-3"), -3);
  EXPECT_FALSE(WholeNumber("4 2"));
  EXPECT_FALSE(WholeNumber("1.5"));
  EXPECT_FALSE(WholeNumber(""));
  EXPECT_FALSE(WholeNumber("99999999999999999999"));
  EXPECT_FALSE(WholeNumber("4294967296"));  // 0 in a 32-bit long
  EXPECT_FALSE(WholeNumber("-4294967295"));
}

// ---- polling ------------------------------------------------------------------

class SoloPollingTest : public SoloTest {};

TEST_F(SoloPollingTest, TickReadsTheRegulatorAndBuildsTheStatusLine) {
  Start();
  Connect();
  reg.flow = -0.50;  // flow word 0x8032
  reg.setpoint = 5000;
  prog.OnCommand(IDC_SOLO_POLL_START, 0);
  ASSERT_TRUE(ui.TimerRunning(kTimerPoll));
  EXPECT_EQ(ui.timers[kTimerPoll], 700u);
  EXPECT_EQ(prog.State().m_tim1, 1);

  const size_t mark = Mark();
  prog.OnTimer(kTimerPoll);
  const auto w = WrittenSince(mark);
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0], KormastAnswer({17, 0, 0, 0, 0, 0, 0, 5}));
  EXPECT_EQ(prog.State().buf1, " Задание: 50.0%; Расход: -0.5%; Дата: Dec  7 10:20:30");
  EXPECT_EQ(prog.State().log.Lines().back(), "17;0;128-50;19-136;0-5;1-99;0");
  const auto block = prog.OnPaint(10, 390);
  ASSERT_EQ(block.size(), 4u);
  EXPECT_EQ(block[0], (PaintText{150, 2, prog.State().buf1, 0x0000FF00}));
}

TEST_F(SoloPollingTest, OtherTimerIdsDoNothing) {
  Start();
  Connect();
  prog.OnCommand(IDC_SOLO_POLL_START, 0);
  const size_t mark = Mark();
  prog.OnTimer(2);
  EXPECT_TRUE(WrittenSince(mark).empty());
  EXPECT_TRUE(ui.TimerRunning(kTimerPoll));
}

TEST_F(SoloPollingTest, SilentRegulatorIsLoggedAndPollingGoesOn) {
  Start();
  Connect();
  prog.OnCommand(IDC_SOLO_POLL_START, 0);
  prog.OnTimer(kTimerPoll);
  const std::string line = prog.State().buf1;
  ASSERT_FALSE(line.empty());
  reg.silent = true;
  prog.OnTimer(kTimerPoll);
  const auto& lines = prog.State().log.Lines();
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[lines.size() - 6], "TimeOut0");
  EXPECT_EQ(lines[lines.size() - 2], "TimeOut4");
  EXPECT_EQ(lines.back(), "Ошибка связи N:100");
  EXPECT_EQ(prog.State().buf1, line);  // previous values stay
  EXPECT_TRUE(ui.TimerRunning(kTimerPoll));
  EXPECT_TRUE(ui.messages.empty());

  reg.silent = false;  // it speaks again
  prog.OnTimer(kTimerPoll);
  EXPECT_EQ(prog.State().log.Lines().back().substr(0, 3), "17;");
}

TEST_F(SoloPollingTest, TickWithThePortClosedStopsPolling) {
  Start();
  Connect();
  prog.OnCommand(IDC_SOLO_POLL_START, 0);
  link.Close(0);
  prog.OnTimer(kTimerPoll);
  EXPECT_FALSE(ui.TimerRunning(kTimerPoll));
  EXPECT_EQ(prog.State().m_tim1, 0);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(IsBox(ui.messages[0], "Порт закрыт", "Предупреждение", Owner::kMain));
}

TEST_F(SoloPollingTest, TickWithoutConnectionStopsPollingWithMessage106) {
  Start();
  Connect();
  prog.OnCommand(IDC_SOLO_POLL_START, 0);
  prog.State().fsvjac[0] = 0;
  prog.OnTimer(kTimerPoll);
  EXPECT_FALSE(ui.TimerRunning(kTimerPoll));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(IsBox(ui.messages[0], "Уточните номер канала.Ошибка106", "ErrorSvjac"));
}

TEST_F(SoloPollingTest, StopKeepsTheLineOnGrey) {
  Start();
  Connect();
  prog.OnCommand(IDC_SOLO_POLL_START, 0);
  prog.OnTimer(kTimerPoll);
  const std::string line = prog.State().buf1;
  prog.OnCommand(IDC_SOLO_POLL_STOP, 0);
  EXPECT_FALSE(ui.TimerRunning(kTimerPoll));
  EXPECT_EQ(prog.State().m_tim1, 0);
  const auto block = prog.OnPaint(0, 300);
  EXPECT_EQ(block[0], (PaintText{140, 2, line, 0x008F8F8F}));
}

// ---- status block -----------------------------------------------------------------

TEST_F(SoloPollingTest, StatusBlockBeforeConnection) {
  Start();
  const auto block = prog.OnPaint(5, 300);
  ASSERT_EQ(block.size(), 4u);
  EXPECT_EQ(block[0], (PaintText{145, 2, "", 0x008F8F8F}));
  EXPECT_EQ(block[1], (PaintText{205, 200, "Режим:Нет Связи", 0x00F0F0F0}));
  EXPECT_EQ(block[2], (PaintText{205, 220, "Затвор: ?", 0x00F0F0F0}));
  EXPECT_EQ(block[3], (PaintText{205, 240, "КВЛ", 0x00F0F0F0}));
}

TEST_F(SoloPollingTest, StatusBlockFollowsModeAndValve) {
  Start();
  reg.status1 = 0x00;  // layout A: measuring
  reg.status6 = 0x42;
  Connect();
  auto block = prog.OnPaint(0, 300);
  EXPECT_EQ(block[1].text, "Режим:   Измерение");
  EXPECT_EQ(block[2].text, "Затвор:  регул.");
  SoloState& s = prog.State();
  s.Current().freg = 1;
  const std::pair<uint8_t, const char*> valves[] = {{0, "Затвор: закрыт"},  {1, "Затвор: открыт"},
                                                    {2, "Затвор:  регул."}, {3, "Затвор:включен"},
                                                    {4, "Затвор: ?"},       {9, "Затвор: ?"}};
  for (auto [state, text] : valves) {
    s.fsatbor = state;
    block = prog.OnPaint(0, 300);
    EXPECT_EQ(block[1].text, "Режим:Регулировка");
    EXPECT_EQ(block[2].text, text);
  }
}

TEST_F(SoloPollingTest, LayoutBDecodesFromTheGetnetFormat) {
  Start();
  reg.format = 3;      // layout B
  reg.status1 = 0x89;  // alarm, digital input, regulating
  reg.status6 = 0x50;  // flow device fitted, works as ВПЗ; bit 3 clear: remembered
  Connect();
  const SoloState& s = prog.State();
  EXPECT_EQ(s.Current().favari, 1);
  EXPECT_EQ(s.Current().fopzi, 1);
  EXPECT_EQ(s.flags.fgasset, 1);
  EXPECT_EQ(s.flags.flagPres, 1);
  EXPECT_EQ(s.flags.frasre, 1);
  EXPECT_EQ(prog.OnPaint(0, 300)[3].text, "ВПЗ");
}

}  // namespace
}  // namespace kvl::test
