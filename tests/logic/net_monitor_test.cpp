// The channel monitor window: opening, choosing the active channel, decoding
// of measure answers into cells, the indicator, and the valve texts.
#include <gtest/gtest.h>

#include "logic/net_fixture.h"
#include "network/monitor_window.h"
#include "network/valve_text.h"

namespace kvl::test {
namespace {

class MonitorTest : public testing::TestWithParam<const Variant*> {
 protected:
  void SetUp() override { rig.Start(); }
  FakeDialog& Open() {
    rig.prog->OnCommand(IDC_SHOW_MONITOR, 0);
    return *rig.ui.dialogs.back();
  }
  // Puts a measure answer with output bytes o and setpoint bytes p into the
  // receive buffer and decodes it for channel ch.
  void Answer(int ch, uint8_t o2, uint8_t o3, uint8_t p4, uint8_t p5, uint8_t code = 17) {
    auto& r = rig.S().ans.res;
    r[0] = code;
    r[2] = o2;
    r[3] = o3;
    r[4] = p4;
    r[5] = p5;
    WriteData(rig.C(), r[0], ch);
  }
  bool Net5() const { return GetParam() == &kNet5; }
  NetRig rig{*GetParam()};
};

TEST_P(MonitorTest, OpeningShowsLinkedChannelsAndTheActiveOnesStatus) {
  const int last = rig.T().Channels() - 1;
  rig.Link(1, 11, 4321);
  rig.Link(last, 12, 999);
  rig.T().cnl2 = last;
  auto& d = rig.T().Data[last];
  d.pres = 1;
  d.regu = 1;
  d.zifra = 1;
  rig.T().Satv[last].fsatoff = 1;
  FakeDialog& w = Open();

  for (int k = 0; k <= last; ++k) {
    const MonitorRow r = MonitorRowOf(*GetParam(), k);
    EXPECT_EQ(w.GetCheck(r.radio), k == last) << k;
    const bool linked = k == 1 || k == last;
    if (!linked) {
      EXPECT_EQ(w.texts.at(r.output), "");
      EXPECT_EQ(w.texts.at(r.setpoint), "");
      EXPECT_EQ(w.texts.count(r.number), 0u);  // keeps the resource's "?"
    }
    if (Net5()) {
      EXPECT_EQ(w.texts.at(r.deviation), linked ? "есть" : "нет связи");
    }
  }
  EXPECT_EQ(w.texts.at(MonitorRowOf(*GetParam(), 1).number), "4321");
  EXPECT_EQ(w.texts.at(MonitorRowOf(*GetParam(), last).number), "999");
  // In regnet5 channel 4 is the radio button 1261.
  if (Net5()) {
    EXPECT_TRUE(w.GetCheck(1261));
  }
  EXPECT_EQ(w.texts.at(IDX_MON_CHANNEL), "Ак.кан.№" + std::to_string(last) + ",");
  EXPECT_EQ(w.texts.at(IDX_MON_SERIAL), "№999,");
  EXPECT_EQ(w.texts.at(IDX_MON_FAMILY), "ВПЗ");
  EXPECT_EQ(w.texts.at(IDX_MON_MODE), "Режим: регулир.");
  EXPECT_EQ(w.texts.at(IDX_MON_VALVE), "Затвор: закрыт. Прог.");
  EXPECT_EQ(w.texts.at(IDX_MON_INPUT), "Вход:цифр.");
}

TEST_P(MonitorTest, OpeningWithAnUnlinkedActiveChannelShowsQuestionMarkValve) {
  rig.Link(2, 20);
  rig.T().cnl2 = 0;
  rig.T().Satv[0].fp15 = 1;
  FakeDialog& w = Open();
  EXPECT_EQ(w.texts.at(IDX_MON_VALVE), "?");
  EXPECT_EQ(w.texts.at(IDX_MON_FAMILY), "КВЛ");
  EXPECT_EQ(w.texts.at(IDX_MON_MODE), "Режим: измерение");
  EXPECT_EQ(w.texts.at(IDX_MON_INPUT), "Вход:анал.");
  for (int k = 0; k < rig.T().Channels(); ++k)
    EXPECT_FALSE(w.GetCheck(MonitorRowOf(*GetParam(), k).radio));
}

TEST_P(MonitorTest, ChoosingALinkedChannelMakesItActiveAndClosesTheSetpointDialog) {
  rig.Link(0, 10, 100);
  rig.Link(2, 20, 200);
  rig.T().Satv[2].fsaton = 1;
  FakeDialog& w = Open();
  FakeDialog setpoint(108);
  rig.S().hLspis = &setpoint;
  rig.S().lspisPort = rig.S().port0;

  const int radio2 = MonitorRowOf(*GetParam(), 2).radio;
  w.SetCheck(radio2, true);  // what the automatic radio button does on a click
  MonitorWindow(rig.C()).OnCommand(w, radio2, 0);
  EXPECT_EQ(rig.T().cnl2, 2);
  EXPECT_EQ(w.texts.at(IDX_MON_CHANNEL), "Ак.кан.№2,");
  EXPECT_EQ(w.texts.at(IDX_MON_SERIAL), "№200,");
  EXPECT_EQ(w.texts.at(IDX_MON_VALVE), "Затвор: открыт(прог.)");
  EXPECT_TRUE(setpoint.ended);
  EXPECT_EQ(rig.S().hLspis, nullptr);
  EXPECT_FALSE(rig.S().flist(rig.S().port0));
}

TEST_P(MonitorTest, ClickingTheActiveChannelAgainKeepsTheSetpointDialog) {
  rig.Link(0, 10);
  FakeDialog& w = Open();
  FakeDialog setpoint(108);
  rig.S().hLspis = &setpoint;
  rig.S().lspisPort = rig.S().port0;
  w.texts.clear();
  MonitorWindow(rig.C()).OnCommand(w, MonitorRowOf(*GetParam(), 0).radio, 0);
  EXPECT_FALSE(setpoint.ended);
  EXPECT_TRUE(rig.S().flist(rig.S().port0));
  EXPECT_TRUE(w.texts.empty());
}

TEST_P(MonitorTest, ClickingAnUnlinkedChannelRevertsToTheActiveOne) {
  rig.Link(0, 10);
  FakeDialog& w = Open();
  const int radio0 = MonitorRowOf(*GetParam(), 0).radio;
  const int radio3 = MonitorRowOf(*GetParam(), 3).radio;
  w.SetCheck(radio0, false);
  w.SetCheck(radio3, true);
  MonitorWindow(rig.C()).OnCommand(w, radio3, 0);
  EXPECT_EQ(rig.T().cnl2, 0);
  EXPECT_FALSE(w.GetCheck(radio3));
  EXPECT_TRUE(w.GetCheck(radio0));
  EXPECT_EQ(w.texts.at(IDX_MON_CHANNEL), "Ак.кан.№0,");
}

TEST_P(MonitorTest, OkAndCloseBoxDestroyTheWindowAndStopPolling) {
  for (bool byOk : {true, false}) {
    FakeDialog& w = Open();
    ASSERT_TRUE(rig.ui.TimerRunning(kTimerPoll));
    MonitorWindow logic(rig.C());
    if (byOk)
      logic.OnCommand(w, kIdOk, 0);
    else
      logic.OnClose(w);
    EXPECT_TRUE(w.ended);
    EXPECT_FALSE(rig.S().f_okno_cnl());
    EXPECT_EQ(rig.S().hCnlWnd, nullptr);
    EXPECT_FALSE(rig.ui.TimerRunning(kTimerPoll));
  }
}

TEST_P(MonitorTest, OutputIsSignAndMagnitude) {
  FakeDialog& w = Open();
  const MonitorRow r = MonitorRowOf(*GetParam(), 1);
  Answer(1, 0x80, 0x64, 0x27, 0x10);
  EXPECT_EQ(rig.T().Mem[1].adcA3, -100);
  EXPECT_EQ(w.texts.at(r.output), "-1.0%     ");
  EXPECT_EQ(w.texts.at(r.setpoint), "100.0");
  Answer(1, 0x00, 0x64, 0x00, 0x00);
  EXPECT_EQ(w.texts.at(r.output), "+1.0%     ");
  EXPECT_EQ(w.texts.at(r.setpoint), "0.0");
  Answer(1, 0x80, 0x00, 0x00, 0x00);
  EXPECT_EQ(rig.T().Mem[1].adcA3, 0);
  EXPECT_EQ(w.texts.at(r.output), "+0.0%     ");
  Answer(1, 0xFF, 0xFF, 0xFF, 0xFF);  // largest magnitude, unsigned setpoint
  EXPECT_EQ(rig.T().Mem[1].adcA3, -32767);
  EXPECT_EQ(rig.T().Mem[1].despns2, 65535u);
  EXPECT_EQ(w.texts.at(r.output), "-327.7%     ");
  EXPECT_EQ(w.texts.at(r.setpoint), "655.4");
  EXPECT_EQ(rig.T().Satv[1].sad_out, 65535 + 32767);
}

TEST_P(MonitorTest, DeviationAndItsCounter) {
  FakeDialog& w = Open();
  const MonitorRow r = MonitorRowOf(*GetParam(), 0);
  Answer(0, 0x13, 0x74, 0x13, 0x88);  // flow 49.80, setpoint 50.00
  EXPECT_EQ(rig.T().Satv[0].sad_out, 20);
  Answer(0, 0x13, 0x73, 0x13, 0x88);  // deviation 0.21
  Answer(0, 0x93, 0x88, 0x00, 0x00);  // flow -50.00, setpoint 0: deviation +50.00
  EXPECT_EQ(rig.T().Satv[0].sad_out, 5000);
  if (Net5()) {
    EXPECT_EQ(w.texts.at(r.deviation), "+50.0% ");
    EXPECT_EQ(rig.T().m_count1[0], 2u);  // 0.20 does not count, 0.21 and 50 do
  } else {
    EXPECT_EQ(rig.T().m_count1[0], 0u);
  }
}

TEST_P(MonitorTest, AnswerWithAnotherCodeChangesNothing) {
  FakeDialog& w = Open();
  const auto before = w.texts;
  Answer(0, 0x00, 0x64, 0x27, 0x10, 18);
  EXPECT_EQ(w.texts, before);
  EXPECT_EQ(rig.T().Mem[0].adcA3, 0);
  EXPECT_EQ(rig.T().Mem[0].despns2, 0u);
}

TEST_P(MonitorTest, WithoutTheWindowTheTableStillFollows) {
  Answer(2, 0x00, 0x10, 0x00, 0x20);
  EXPECT_EQ(rig.T().Mem[2].adcA3, 16);
  EXPECT_EQ(rig.T().Mem[2].despns2, 32u);
  Answer(rig.T().Channels(), 0x00, 0x10, 0x00, 0x20);  // outside the table: ignored
  EXPECT_EQ(rig.T().Mem[rig.T().Channels()].adcA3, 0);
}

TEST_P(MonitorTest, IndicatorFollowsTheBlinkPhase) {
  FakeDialog& w = Open();
  rig.S().f_mig = 1;
  BlinkIndicator(rig.C());
  EXPECT_FALSE(w.Visible(IDX_MON_ICON_A));
  EXPECT_TRUE(w.Visible(IDX_MON_ICON_B));
  rig.S().f_mig = 0;
  BlinkIndicator(rig.C());
  EXPECT_TRUE(w.Visible(IDX_MON_ICON_A));
  EXPECT_FALSE(w.Visible(IDX_MON_ICON_B));
}

TEST_P(MonitorTest, SilentChannelIsMarkedUntilItAnswers) {
  FakeDialog& w = Open();
  const MonitorRow r = MonitorRowOf(*GetParam(), 3);
  Answer(3, 0x00, 0x64, 0x27, 0x10);
  ShowSilent(rig.C(), 3);
  if (Net5()) {
    EXPECT_EQ(w.texts.at(r.deviation), "Нет связи");
    EXPECT_EQ(w.texts.at(r.output), "+1.0%     ");
  } else {
    EXPECT_EQ(w.texts.at(r.output), "нет связи");
  }
  EXPECT_EQ(w.texts.at(r.setpoint), "100.0");
  Answer(3, 0x00, 0x64, 0x27, 0x10);
  EXPECT_EQ(w.texts.at(r.output), "+1.0%     ");
}

INSTANTIATE_TEST_SUITE_P(Variants, MonitorTest, testing::Values(&kNet9, &kNet5), VariantName);

TEST(ValveText, LastSetFlagWinsInBothWordings) {
  Satvor s;
  EXPECT_EQ(ValveStatusText(s, true), "Затвор: регулир.");
  EXPECT_EQ(ValveStatusText(s, false), "Затвор: регулир.");
  s.fsaton = 1;
  EXPECT_EQ(ValveStatusText(s, true), "Затвор: открыт. Прог.");
  EXPECT_EQ(ValveStatusText(s, false), "Затвор: открыт(прог.)");
  s.fsatoff = 1;
  EXPECT_EQ(ValveStatusText(s, true), "Затвор: закрыт. Прог.");
  EXPECT_EQ(ValveStatusText(s, false), "Затвор: закрыт(прог.)");
  s.fm15 = 1;
  EXPECT_EQ(ValveStatusText(s, true), "Затвор: закрыт. Внешн.");
  EXPECT_EQ(ValveStatusText(s, false), "Затвор: закрыт(внешн.)");
  s.fp15 = 1;
  EXPECT_EQ(ValveStatusText(s, true), "Затвор: открыт. Внешн.");
  EXPECT_EQ(ValveStatusText(s, false), "Затвор: открыт(внешн.)");
}

TEST(ValveText, StatusByteBits) {
  Satvor s;
  s.sad_out = 77;
  DecodeValveStatus(s, 0x05);  // opened by program, opened externally
  EXPECT_EQ(s.fsaton, 1);
  EXPECT_EQ(s.fp15, 1);
  EXPECT_EQ(s.fsatoff, 0);
  EXPECT_EQ(s.fm15, 0);
  EXPECT_EQ(s.fsatvor, 0);
  EXPECT_EQ(ValveStatusText(s, true), "Затвор: открыт. Внешн.");
  DecodeValveStatus(s, 0xE8);  // only bit 3 among the used ones
  EXPECT_EQ(s.fsatoff, 1);
  EXPECT_EQ(s.fsaton, 0);
  EXPECT_EQ(s.fp15, 0);
  EXPECT_EQ(ValveStatusText(s, true), "Затвор: закрыт. Прог.");
  DecodeValveStatus(s, 0x12);
  EXPECT_EQ(s.fsatvor, 1);
  EXPECT_EQ(s.fm15, 1);
  EXPECT_EQ(s.fsatoff, 0);
  EXPECT_EQ(s.sad_out, 77);
}

}  // namespace
}  // namespace kvl::test
