// The polling cycle against a scripted line of regulators.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "logic/net_fixture.h"
#include "network/monitor_window.h"
#include "network/polling.h"

namespace kvl::test {
namespace {

class PollingTest : public testing::TestWithParam<const Variant*> {
 protected:
  void SetUp() override {
    rig.Start();
    rig.OpenPort();
  }
  FakeDialog& OpenMonitor() {
    rig.prog->OnCommand(IDC_SHOW_MONITOR, 0);
    return *rig.ui.dialogs.back();
  }
  int Last() { return rig.T().Channels() - 1; }
  NetRig rig{*GetParam()};
};

TEST_P(PollingTest, OneTickAsksEveryActiveChannelOnceInAscendingOrder) {
  const int other = std::min(5, Last());  // channels 2 and 5 (4 in regnet5)
  rig.Link(other, 40);
  rig.Link(2, 31);
  FakeDialog& w = OpenMonitor();
  rig.line.devices[31].flow = -1.00;
  rig.line.devices[31].setpoint = 0x2710;
  TimerProc1(rig.C(), kTimerPoll);

  ASSERT_EQ(rig.link.written.size(), 2u);
  EXPECT_EQ(rig.line.asked, (std::vector<int>{31, 40}));
  for (const auto& f : rig.link.written) {
    ASSERT_EQ(f.frame.size(), 10u);
    EXPECT_EQ(f.frame[0], CMD_MEASURE);
    EXPECT_EQ(f.port, rig.S().port0);
  }
  const MonitorRow r2 = MonitorRowOf(*GetParam(), 2);
  EXPECT_EQ(w.texts.at(r2.output), "-1.0%     ");
  EXPECT_EQ(w.texts.at(r2.setpoint), "100.0");
  EXPECT_EQ(rig.T().Mem[other].despns2, 5000u);
  // Each answer is logged with its channel number.
  const auto& lines = rig.S().log.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "17;0;128-100;39-16;0-31;1-75;10;2");
  EXPECT_EQ(lines[1].substr(lines[1].rfind(';')), ";" + std::to_string(other));
  EXPECT_EQ(rig.S().fproc1end, 1);
}

TEST_P(PollingTest, NoActiveChannelSendsNothingButStillBlinks) {
  FakeDialog& w = OpenMonitor();
  rig.S().f_mig = 1;
  TimerProc1(rig.C(), kTimerPoll);
  EXPECT_TRUE(rig.link.written.empty());
  EXPECT_FALSE(w.Visible(IDX_MON_ICON_A));
  EXPECT_TRUE(w.Visible(IDX_MON_ICON_B));
  EXPECT_EQ(rig.S().f_mig, 0);  // each cycle inverts the phase
  TimerProc1(rig.C(), kTimerPoll);
  EXPECT_EQ(rig.S().f_mig, 1);
}

TEST_P(PollingTest, TickDuringARunningCycleSendsNothing) {
  rig.Link(0, 7);
  rig.Link(1, 8);
  size_t nestedWrites = 99;
  int calls = 0;
  rig.link.SetResponder([&](int port, const FakeLink::Bytes& f) {
    if (calls++ == 0) {
      // A message box's loop inside the transaction dispatches a timer tick.
      const size_t before = rig.link.written.size();
      rig.prog->OnTimer(kTimerPoll);
      nestedWrites = rig.link.written.size() - before;
    }
    (void)port;
    return rig.line.Answer(f);
  });
  TimerProc1(rig.C(), kTimerPoll);
  EXPECT_EQ(nestedWrites, 0u);
  EXPECT_EQ(rig.line.asked, (std::vector<int>{7, 8}));
  EXPECT_EQ(rig.S().fproc1end, 1);
  // The next tick polls normally again.
  TimerProc1(rig.C(), kTimerPoll);
  EXPECT_EQ(rig.line.asked.size(), 4u);
}

TEST_P(PollingTest, ModbusChosenBetweenTicksChangesTheNextPollAndBack) {
  rig.Link(1, 0x21);
  FakeDialog& w = OpenMonitor();
  rig.line.devices[0x21].setpoint = 2500;
  rig.line.devices[0x21].flow = 24.00;
  TimerProc1(rig.C(), kTimerPoll);
  ASSERT_EQ(rig.link.written.back().frame.size(), 10u);

  SelectModbus(rig.S().rq);
  TimerProc1(rig.C(), kTimerPoll);
  const auto& m = rig.link.written.back().frame;
  ASSERT_EQ(m.size(), 8u);
  EXPECT_EQ((std::vector<uint8_t>(m.begin(), m.begin() + 6)),
            (std::vector<uint8_t>{0x21, 0x03, 0x00, 0x04, 0x00, 0x02}));
  EXPECT_EQ(rig.S().rq.rlength, 9u);
  const MonitorRow r = MonitorRowOf(*GetParam(), 1);
  EXPECT_EQ(w.texts.at(r.output), "+24.0%     ");
  EXPECT_EQ(w.texts.at(r.setpoint), "25.0");
  EXPECT_EQ(rig.S().log.Lines().back().rfind("L=:9Modbus", 0), 0u);

  SelectKormast(rig.S().rq);
  TimerProc1(rig.C(), kTimerPoll);
  EXPECT_EQ(rig.link.written.back().frame.size(), 10u);
  EXPECT_EQ(rig.link.written.back().frame[7], 0x21);
}

TEST_P(PollingTest, SilentChannelStaysActiveIsMarkedAndTheCycleGoesOn) {
  rig.Link(0, 3);
  rig.Link(1, 4);
  FakeDialog& w = OpenMonitor();
  TimerProc1(rig.C(), kTimerPoll);
  const MonitorRow r0 = MonitorRowOf(*GetParam(), 0);
  ASSERT_EQ(w.texts.at(r0.setpoint), "50.0");

  rig.line.devices[3].silent = true;
  rig.line.asked.clear();
  TimerProc1(rig.C(), kTimerPoll);
  // Five attempts at the silent one, then the next channel.
  EXPECT_EQ(rig.line.asked, (std::vector<int>{3, 3, 3, 3, 3, 4}));
  EXPECT_EQ(rig.T().Data[0].svjac, 1);
  if (GetParam() == &kNet9)
    EXPECT_EQ(w.texts.at(r0.output), "нет связи");
  else
    EXPECT_EQ(w.texts.at(r0.deviation), "Нет связи");
  EXPECT_EQ(w.texts.at(r0.setpoint), "50.0");
  EXPECT_TRUE(rig.ui.messages.empty());  // polling raises no message box

  rig.line.devices[3].silent = false;
  rig.line.devices[3].flow = 12.34;
  TimerProc1(rig.C(), kTimerPoll);
  EXPECT_EQ(w.texts.at(r0.output), "+12.3%     ");
}

TEST_P(PollingTest, ClosedPortStopsTheTimerAndSendsNothing) {
  rig.Link(0, 3);
  OpenMonitor();
  rig.link.Close(rig.S().port0);
  TimerProc1(rig.C(), kTimerPoll);
  EXPECT_FALSE(rig.ui.TimerRunning(kTimerPoll));
  EXPECT_TRUE(rig.link.written.empty());
  EXPECT_TRUE(rig.ui.messages.empty());
}

TEST_P(PollingTest, ValuesFollowTheDevice) {
  rig.Link(0, 3);
  FakeDialog& w = OpenMonitor();
  const MonitorRow r = MonitorRowOf(*GetParam(), 0);
  for (uint16_t sp : {0, 1000, 7550, 10000}) {
    rig.line.devices[3].setpoint = sp;
    rig.line.devices[3].flow = sp / 100.0;
    TimerProc1(rig.C(), kTimerPoll);
    char want[32];
    std::snprintf(want, sizeof want, "%.1f", sp / 100.0);
    EXPECT_EQ(w.texts.at(r.setpoint), want);
    EXPECT_EQ(rig.T().Mem[0].adcA3, sp);
    EXPECT_EQ(rig.T().Satv[0].sad_out, 0);
  }
}

// Whatever the timing, no value is shown under a channel whose regulator did
// not send it: device 3 answers every poll 1.5 attempts late, device 4 is
// silent, and 3's late answers arrive while 4 is asked, in both protocols.
TEST_P(PollingTest, ALateAnswerNeverShowsUnderTheNextChannel) {
  rig.Link(0, 3);
  rig.Link(1, 4);
  rig.line.devices[3].setpoint = 7700;
  rig.line.devices[4].silent = true;
  rig.prog->Line().settings.attemptMs = 20;
  rig.link.answerDelay = [](int, const FakeLink::Bytes&) { return 30u; };
  FakeDialog& w = OpenMonitor();
  const MonitorRow r1 = MonitorRowOf(*GetParam(), 1);
  for (bool modbus : {false, true}) {
    if (modbus) SelectModbus(rig.S().rq);
    rig.prog->OnTimer(kTimerPoll);
    EXPECT_EQ(rig.T().Mem[0].despns2, 7700u) << "the late answer to channel 0's request counts";
    EXPECT_EQ(rig.T().Mem[1].despns2, 0u);
    EXPECT_EQ(w.texts.count(r1.setpoint) ? w.texts.at(r1.setpoint) : "", "");
    EXPECT_EQ(w.texts.at(GetParam()->deviationColumn ? r1.deviation : r1.output),
              SilentText(*GetParam()));
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, PollingTest, testing::Values(&kNet9, &kNet5), VariantName);

}  // namespace
}  // namespace kvl::test
