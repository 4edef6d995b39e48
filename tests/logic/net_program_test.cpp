// Start-up, main menu commands and the close sequence of the network programs.
#include <gtest/gtest.h>

#include "logic/net_fixture.h"
#include "network/monitor_window.h"
#include "setup/network_dialog.h"

namespace kvl::test {
namespace {

class NetProgramTest : public testing::TestWithParam<const Variant*> {
 protected:
  NetRig rig{*GetParam()};
};

TEST_P(NetProgramTest, StartUpLoadsTheFileButLinksNoChannel) {
  ChannelTable t(*GetParam());
  t.Data[0].comm = 3;
  t.Data[0].net = 17;
  t.Data[1].net = 23;
  t.Data[1].comm = 7;  // only record 0 decides the port
  for (int k = 0; k < t.Channels(); ++k) t.Data[k].svjac = 1;
  ASSERT_TRUE(SaveConfiguration(t, 3, rig.S().configPath).empty());
  rig.S().rq.fmodbuson = 1;
  rig.S().rq.wlength = 8;

  ASSERT_TRUE(rig.prog->OnCreate());
  EXPECT_EQ(rig.S().port0, 3);
  EXPECT_EQ(rig.S().port1, 1);
  EXPECT_EQ(rig.T().Data[0].net, 17);
  EXPECT_EQ(rig.T().Data[1].net, 23);
  EXPECT_EQ(rig.T().FirstLinked(), -1);
  EXPECT_EQ(rig.S().rq.fmodbuson, 0);
  EXPECT_EQ(rig.S().rq.wlength, 10u);
  EXPECT_EQ(rig.S().rq.rlength, 10u);
  EXPECT_EQ(rig.S().fproc1end, 1);
  EXPECT_EQ(rig.S().nUartIndex, 1);
  EXPECT_TRUE(rig.ui.messages.empty());
  EXPECT_EQ(rig.ui.quitPosts, 0);
  EXPECT_EQ(rig.link.opens, 0);  // no port is opened at start-up
}

TEST_P(NetProgramTest, StartUpMenuState) {
  rig.Start();
  const bool net9 = GetParam() == &kNet9;
  for (int id : {40080, 40081, 40017, 40018, 40076, 40058, 40062, 40037})
    EXPECT_FALSE(rig.ui.Enabled(id)) << id;
  EXPECT_TRUE(rig.ui.Enabled(40057));
  for (int id : {40035, 40031, 40019, 262, 263}) EXPECT_EQ(rig.ui.Enabled(id), net9) << id;
}

TEST_P(NetProgramTest, MissingFileShowsBothMessagesAndEndsTheProgram) {
  ASSERT_TRUE(rig.prog->OnCreate());
  ASSERT_EQ(rig.ui.messages.size(), 2u);
  EXPECT_TRUE(
      IsBox(rig.ui.messages[0], "Не могу открыть файл KVL.icx в текущей директории", "Error"));
  EXPECT_EQ(rig.ui.messages[1].text, "Не читается");
  EXPECT_EQ(rig.ui.quitPosts, 1);
  // Creation still completes: the menu is set up.
  EXPECT_FALSE(rig.ui.Enabled(40080));
}

TEST_P(NetProgramTest, ExchangeLogMirrorsTheNewest14LinesInTheListBox) {
  rig.Start();
  for (int i = 0; i < 20; ++i) rig.S().log.Add("line" + std::to_string(i));
  const auto& shown = rig.ui.main.lists[IDW_LOG_LIST];
  ASSERT_EQ(shown.size(), 14u);
  EXPECT_EQ(shown.front(), "line6");
  EXPECT_EQ(shown.back(), "line19");
}

TEST_P(NetProgramTest, WithoutTheLinksEventsTheWindowIsNotCreated) {
  rig.WriteConfig({});
  rig.link.failEvents = true;
  EXPECT_FALSE(rig.prog->OnCreate());
  ASSERT_EQ(rig.ui.messages.size(), 1u);
  EXPECT_TRUE(IsBox(rig.ui.messages[0], "Failed to create event for thread!", "TTY Error!"));
  EXPECT_EQ(rig.ui.messages[0].icon, MsgIcon::kWarning);
}

TEST_P(NetProgramTest, LogWindowOnAndOff) {
  rig.Start();
  rig.prog->OnCommand(40057, 0);
  EXPECT_TRUE(rig.ui.main.Visible(IDW_LOG_LIST));
  EXPECT_FALSE(rig.ui.Enabled(40057));
  EXPECT_TRUE(rig.ui.Enabled(40058));
  rig.prog->OnCommand(40058, 0);
  EXPECT_FALSE(rig.ui.main.Visible(IDW_LOG_LIST));
  EXPECT_TRUE(rig.ui.Enabled(40057));
  EXPECT_FALSE(rig.ui.Enabled(40058));
}

TEST_P(NetProgramTest, AboutRunsDialog107AndClosesOnlyThroughOk) {
  rig.Start();
  bool endedByCancel = true, endedByOk = false;
  rig.ui.onModal = [&](FakeDialog& d, DialogLogic& l) {
    l.OnCommand(d, kIdCancel, 0);
    l.OnClose(d);
    endedByCancel = d.ended;
    l.OnCommand(d, kIdOk, 0);
    endedByOk = d.ended && d.endResult == 1;
  };
  rig.prog->OnCommand(260, 0);
  ASSERT_EQ(rig.ui.dialogs.size(), 1u);
  EXPECT_EQ(rig.ui.dialogs[0]->templateId, 107);
  EXPECT_FALSE(endedByCancel);
  EXPECT_TRUE(endedByOk);
}

TEST_P(NetProgramTest, ExitPostsCloseAndUnknownIdsDoNothing) {
  rig.Start();
  const auto before = rig.ui.menuEnabled;
  for (int id : {40020, 12345, 0, 836 + 1}) rig.prog->OnCommand(id, 0);
  EXPECT_EQ(rig.ui.closePosts, 0);
  EXPECT_TRUE(rig.ui.dialogs.empty());
  EXPECT_EQ(rig.ui.menuEnabled, before);
  EXPECT_TRUE(rig.link.written.empty());
  rig.prog->OnCommand(258, 0);
  EXPECT_EQ(rig.ui.closePosts, 1);
}

TEST_P(NetProgramTest, ShowMonitorOpensOneWindowAndOneTimer) {
  rig.Start();
  rig.prog->OnCommand(IDC_SHOW_MONITOR, 0);
  rig.prog->OnCommand(IDC_SHOW_MONITOR, 0);
  ASSERT_EQ(rig.ui.dialogs.size(), 1u);
  EXPECT_EQ(rig.ui.dialogs[0]->templateId, 130);
  EXPECT_EQ(rig.ui.timerStarts, 1);
  EXPECT_EQ(rig.ui.timers[kTimerPoll], 700u);
  EXPECT_TRUE(rig.S().f_okno_cnl());
  EXPECT_EQ(rig.S().hCnlWnd, rig.ui.dialogs[0].get());

  // Closing the window stops polling; the command opens it again.
  rig.ui.dialogs[0]->texts.clear();
  MonitorWindow(rig.C()).OnClose(*rig.ui.dialogs[0]);
  EXPECT_FALSE(rig.ui.TimerRunning(kTimerPoll));
  EXPECT_EQ(rig.S().hCnlWnd, nullptr);
  rig.prog->OnCommand(IDC_SHOW_MONITOR, 0);
  EXPECT_EQ(rig.ui.dialogs.size(), 2u);
  EXPECT_TRUE(rig.ui.TimerRunning(kTimerPoll));
}

TEST_P(NetProgramTest, NetworkCommandRunsDialog122ThenSetsTheMenuForTheActiveChannel) {
  rig.Start({5});
  rig.line.devices[5].serial = 777;
  rig.OpenPort();
  rig.ui.onModal = [&](FakeDialog& d, DialogLogic& l) {
    EXPECT_EQ(d.templateId, 122);
    d.SetText(IDX_NET_ADDRESS, "5");
    l.OnCommand(d, IDX_NET_REGISTER, 0);
    l.OnCommand(d, kIdOk, 0);
  };
  rig.prog->OnCommand(40082, 0);
  EXPECT_EQ(rig.T().Data[0].svjac, 1);
  EXPECT_EQ(rig.T().Data[0].n_ofqx, 777u);
  for (int id : {40076, 40017, 40018, 40080, 40081, 40037, 40062})
    EXPECT_TRUE(rig.ui.Enabled(id)) << id;
  ASSERT_EQ(rig.ui.menuInserted.size(), 1u);
  EXPECT_EQ(rig.ui.menuInserted[0].id, IDC_SHOW_MONITOR);

  // Without a linked channel the same command greys them again.
  rig.line.devices[5].silent = true;
  rig.ui.onModal = [&](FakeDialog& d, DialogLogic& l) {
    l.OnCommand(d, IDX_NET_CHECK, 0);
    l.OnCommand(d, kIdOk, 0);
  };
  rig.prog->OnCommand(40082, 0);
  for (int id : {40076, 40017, 40018, 40080, 40081, 40037, 40062})
    EXPECT_FALSE(rig.ui.Enabled(id)) << id;
  EXPECT_EQ(rig.ui.menuRemoved.size(), 1u);
}

TEST_P(NetProgramTest, RegulatorSetupServesChannelZeroThenSetsTheMenu) {
  rig.Start();
  rig.OpenPort();
  rig.Link(0, 5);
  rig.Link(3, 6);
  rig.T().cnl2 = 3;
  int channelInDialog = -1;
  rig.ui.onModal = [&](FakeDialog& d, DialogLogic&) {
    EXPECT_EQ(d.templateId, 114);
    channelInDialog = rig.T().cnl2;
    rig.T().Data[0].svjac = 0;  // the dialog lost the device
  };
  rig.ui.menuEnabled.clear();  // as after a command that enabled them
  rig.prog->OnCommand(40048, 0);
  EXPECT_EQ(channelInDialog, 0);
  for (int id : {40076, 40017, 40018, 40080, 40081, 40037, 40062})
    EXPECT_FALSE(rig.ui.Enabled(id)) << id;
}

TEST_P(NetProgramTest, CloseSequenceStopsEverythingBeforeAsking) {
  rig.Start();
  rig.OpenPort();
  ASSERT_TRUE(rig.link.Open(1, false));
  rig.Link(0, 5);
  rig.prog->OnCommand(IDC_SHOW_MONITOR, 0);
  rig.ui.answers = {kIdCancel};
  EXPECT_FALSE(rig.prog->OnClose());
  ASSERT_EQ(rig.ui.messages.size(), 1u);
  EXPECT_TRUE(IsBox(rig.ui.messages[0], "OK to close window?", "КВЛ30"));
  EXPECT_EQ(rig.ui.messages[0].buttons, MsgButtons::kOkCancel);
  EXPECT_EQ(rig.ui.messages[0].icon, MsgIcon::kQuestion);
  // Cancel leaves a window with closed ports, no active channel and no timer.
  EXPECT_FALSE(rig.link.IsOpen(0));
  EXPECT_FALSE(rig.link.IsOpen(1));
  EXPECT_EQ(rig.T().FirstLinked(), -1);
  EXPECT_FALSE(rig.ui.TimerRunning(kTimerPoll));
  for (int id : {40080, 40081, 40035, 40076, 40017, 40018, 40037, 40062})
    EXPECT_FALSE(rig.ui.Enabled(id)) << id;

  rig.ui.answers = {kIdOk};
  EXPECT_TRUE(rig.prog->OnClose());
}

TEST_P(NetProgramTest, TimerOneDrivesThePollAndOtherTimersAreIgnored) {
  rig.Start();
  rig.OpenPort();
  rig.Link(0, 9);
  rig.prog->OnTimer(2);
  EXPECT_TRUE(rig.link.written.empty());
  rig.prog->OnTimer(kTimerPoll);
  ASSERT_EQ(rig.link.written.size(), 1u);
  EXPECT_EQ(rig.link.written[0].frame[0], CMD_MEASURE);
  EXPECT_EQ(rig.link.written[0].frame[7], 9);
}

INSTANTIATE_TEST_SUITE_P(Variants, NetProgramTest, testing::Values(&kNet9, &kNet5), VariantName);

}  // namespace
}  // namespace kvl::test
