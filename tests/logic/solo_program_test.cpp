// regsolo's main window: start-up with "KVL.dfg", the menu commands, the close
// sequence and the menu after the connection dialog.
#include "logic/solo_fixture.h"
#include "solo/solo_messages.h"
#include "solo/zero_offset_dialog.h"

namespace kvl::test {
namespace {

using namespace kvl::solo;

// ---- start-up -------------------------------------------------------------

TEST_F(SoloTest, StartUpTakesPortAndAddressFromTheFileAndGreysTheValveItems) {
  Start(3, 17);
  EXPECT_EQ(prog.State().port0, 3);
  EXPECT_EQ(prog.State().nofcan[3], 17);
  EXPECT_EQ(prog.State().nofcan[0], 1);  // other ports keep address 1
  EXPECT_TRUE(ui.messages.empty());
  for (int id : {IDC_VALVE_OPEN, IDC_VALVE_CLOSE, IDC_VALVE_REGULATE, IDC_LOG_OFF})
    EXPECT_FALSE(ui.Enabled(id));
  EXPECT_TRUE(ui.Enabled(IDC_LOG_ON));
  EXPECT_EQ(prog.State().fsatbor, kValveUnknown);
  EXPECT_EQ(link.opens, 0);  // no port is opened at start-up
}

TEST_F(SoloTest, MissingFileEndsTheProgramWithMessage103) {
  ASSERT_TRUE(prog.OnCreate());
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(IsBox(ui.messages[0], "Не могу открыть файл KVL.dfg в текущей директории.Ошибка103",
                    "Error"));
  EXPECT_EQ(ui.quitPosts, 1);
}

TEST_F(SoloTest, WithoutTheLinksEventsTheWindowIsNotCreatedWithMessage108) {
  WriteConfig({0, 5});
  link.failEvents = true;
  EXPECT_FALSE(prog.OnCreate());
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(IsBox(ui.messages[0], "Failed to create event for thread!.Ошибка108", "Error!"));
  EXPECT_EQ(ui.messages[0].icon, MsgIcon::kWarning);
}

TEST_F(SoloTest, OneByteFileGivesThePortAndAddressZero) {
  WriteConfig({2});
  ASSERT_TRUE(prog.OnCreate());
  EXPECT_EQ(prog.State().port0, 2);
  EXPECT_EQ(prog.State().nofcan[2], 0);
  EXPECT_EQ(ui.quitPosts, 0);
}

TEST_F(SoloTest, LongerFileUsesTheFirstTwoBytesAndSavingKeepsTheRest) {
  WriteConfig({1, 9, 0xAA, 0xBB});
  ASSERT_TRUE(prog.OnCreate());
  EXPECT_EQ(prog.State().port0, 1);
  EXPECT_EQ(prog.State().nofcan[1], 9);
  reg.addr = 9;
  Connect("9");
  EXPECT_EQ(ReadConfig(), (std::vector<uint8_t>{1, 9, 0xAA, 0xBB}));
}

TEST_F(SoloTest, PortByteAboveNineIsReplacedByComOneWithAMessage) {
  WriteConfig({12, 4});
  ASSERT_TRUE(prog.OnCreate());
  EXPECT_EQ(prog.State().port0, 0);
  EXPECT_EQ(prog.State().nofcan[0], 4);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].text.find("COM1"), std::string::npos);
  EXPECT_EQ(ui.quitPosts, 0);
}

// ---- commands without a connection ----------------------------------------

TEST_F(SoloTest, DeviceCommandsWithoutConnectionShowMessage106AndSendNothing) {
  Start();
  for (int id : {IDC_SOLO_POLL_START, IDC_KIND_FLOW, IDC_KIND_PRESSURE, IDC_VALVE_REGULATE,
                 IDC_VALVE_OPEN, IDC_VALVE_CLOSE, IDC_ZERO, IDC_INPUT_DIGITAL, IDC_INPUT_ANALOG}) {
    ui.messages.clear();
    prog.OnCommand(id, 0);
    ASSERT_EQ(ui.messages.size(), 1u) << id;
    EXPECT_TRUE(IsBox(ui.messages[0], "Нет связи.Ошибка106", "Error")) << id;
  }
  EXPECT_TRUE(link.written.empty());
  EXPECT_FALSE(ui.TimerRunning(kTimerPoll));
  EXPECT_TRUE(ui.dialogs.empty());
}

TEST_F(SoloTest, AcceleratorsAndTheEmptyItemDoNothing) {
  Start();
  Connect();
  const auto before = link.written.size();
  const auto invalidations = ui.invalidations.size();
  for (int id : {256, 257, 261, 40020}) prog.OnCommand(id, 0);
  EXPECT_EQ(link.written.size(), before);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(ui.invalidations.size(), invalidations);
  EXPECT_EQ(ui.closePosts, 0);
}

TEST_F(SoloTest, ExitPostsCloseAboutRunsTemplate107AndTheLogItemsToggle) {
  Start();
  prog.OnCommand(IDC_EXIT, 0);
  EXPECT_EQ(ui.closePosts, 1);

  // The network programs' box: Esc and the close box leave it open, OK ends it.
  bool endedBeforeOk = true;
  ui.onModal = [&](FakeDialog& d, DialogLogic& l) {
    l.OnCommand(d, kIdCancel, 0);
    l.OnClose(d);
    endedBeforeOk = d.ended;
    l.OnCommand(d, kIdOk, 0);
  };
  prog.OnCommand(IDC_ABOUT, 0);
  ASSERT_EQ(ui.dialogs.size(), 1u);
  EXPECT_EQ(LastDialog().templateId, 107);
  EXPECT_FALSE(endedBeforeOk);
  EXPECT_TRUE(LastDialog().ended);

  prog.OnCommand(IDC_LOG_ON, 0);
  EXPECT_TRUE(ui.main.Visible(IDW_LOG_LIST));
  EXPECT_FALSE(ui.Enabled(IDC_LOG_ON));
  EXPECT_TRUE(ui.Enabled(IDC_LOG_OFF));
  prog.OnCommand(IDC_LOG_OFF, 0);
  EXPECT_FALSE(ui.main.Visible(IDW_LOG_LIST));
  EXPECT_TRUE(ui.Enabled(IDC_LOG_ON));
  EXPECT_FALSE(ui.Enabled(IDC_LOG_OFF));
}

// ---- connection and the menu after the dialog ------------------------------

TEST_F(SoloTest, ConnectingEnablesTheValveItemsByTheDecodedStatus) {
  Start();
  reg.status1 = 0x05;  // layout A: regulating, valve opened by program
  reg.status6 = 0x42;  // external control, regulation permitted: not held
  Connect();
  ASSERT_TRUE(prog.State().Connected());
  EXPECT_FALSE(ui.Enabled(IDC_VALVE_OPEN));  // already open
  EXPECT_TRUE(ui.Enabled(IDC_VALVE_CLOSE));
  EXPECT_TRUE(ui.Enabled(IDC_VALVE_REGULATE));
  EXPECT_TRUE(ui.Enabled(IDC_INPUT_ANALOG));
  EXPECT_EQ(prog.State().fsatbor, kValveOpen);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SoloTest, ValveHeldByTheAnalogSignalWarnsAndKeepsTheValveItems) {
  Start();
  reg.status6 = 0x60;  // layout A: external flag and analog signal open -> held open
  Connect();
  ASSERT_TRUE(prog.State().Connected());
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(IsBox(ui.messages[0], "Затвор открыт аналоговым сигналом", "Предупреждение"));
  EXPECT_FALSE(ui.Enabled(IDC_VALVE_OPEN));  // greyed at start-up, left so
  EXPECT_TRUE(ui.Enabled(IDC_INPUT_ANALOG));
  EXPECT_EQ(prog.State().fsatbor, kValveAnalog);

  ui.messages.clear();
  reg.status6 = 0x00;  // neither flag -> held closed
  Connect();
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_EQ(ui.messages.back().text, "Затвор закрыт аналоговым сигналом");
}

TEST_F(SoloTest, NoConnectionAfterTheDialogGreysTheDeviceItems) {
  Start();
  reg.silent = true;
  ui.answers = {kIdOk, kIdOk};
  Connect();
  EXPECT_FALSE(prog.State().Connected());
  for (int id : {IDC_VALVE_OPEN, IDC_VALVE_CLOSE, IDC_VALVE_REGULATE, IDC_INPUT_ANALOG})
    EXPECT_FALSE(ui.Enabled(id));
}

// ---- device kind ------------------------------------------------------------

TEST_F(SoloTest, KindCommandsSendTheKindByteAndSetTheMode) {
  Start();
  Connect();
  auto mark = Mark();
  prog.OnCommand(IDC_KIND_PRESSURE, 0);
  auto w = WrittenSince(mark);
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0][0], 24);
  EXPECT_EQ(w[0][1], 5);  // ВПЗ, regulating
  EXPECT_EQ(w[0][7], 5);
  EXPECT_EQ(prog.State().flags.flagPres, 1);
  EXPECT_EQ(prog.OnPaint(0, 300).back().text, "ВПЗ");

  prog.State().Current().freg = 0;
  mark = Mark();
  prog.OnCommand(IDC_KIND_FLOW, 0);
  w = WrittenSince(mark);
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0][1], 0);  // КВЛ, measuring
  EXPECT_EQ(prog.State().flags.flagPres, 0);
  EXPECT_EQ(prog.State().log.Lines().back(), "24;0;0-0;0-0;0-5;0-29;0");
}

TEST_F(SoloTest, PressureKindIsRefusedWhenAFlowDeviceIsFitted) {
  Start();
  reg.status6 = 0x52;  // layout A: flow device fitted
  Connect();
  ASSERT_EQ(prog.State().flags.fgasset, 1);
  const auto mark = Mark();
  prog.OnCommand(IDC_KIND_PRESSURE, 0);
  EXPECT_TRUE(WrittenSince(mark).empty());
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(IsBox(ui.messages[0], "Нет возможности. Подключен КВЛ", "Предупреждение"));
  EXPECT_EQ(prog.State().flags.flagPres, 0);
}

TEST_F(SoloTest, FailedKindShowsMessage100AndKeepsTheMode) {
  Start();
  Connect();
  reg.silent = true;
  prog.OnCommand(IDC_KIND_PRESSURE, 0);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Нет связи.Ошибка100");
  EXPECT_EQ(prog.State().flags.flagPres, 0);
  // Five attempts, each logged as a time-out.
  const auto& lines = prog.State().log.Lines();
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines.back(), "TimeOut4");
  EXPECT_EQ(reg.Seen(24).size(), 5u);
}

// ---- valve --------------------------------------------------------------------

TEST_F(SoloTest, ValveCommandsSendTheActionAndMoveTheMenuAndState) {
  Start();
  Connect();
  struct Case {
    int id;
    uint8_t action;
    uint8_t state;
  };
  for (Case c : {Case{IDC_VALVE_OPEN, 1, kValveOpen}, Case{IDC_VALVE_CLOSE, 2, kValveClosed},
                 Case{IDC_VALVE_REGULATE, 0, kValveRegulating}}) {
    const auto mark = Mark();
    prog.OnCommand(c.id, 0);
    const auto w = WrittenSince(mark);
    ASSERT_EQ(w.size(), 1u) << c.id;
    EXPECT_EQ(w[0][0], 32);
    EXPECT_EQ(w[0][2], c.action);
    EXPECT_EQ(prog.State().fsatbor, c.state);
    for (int id : {IDC_VALVE_OPEN, IDC_VALVE_CLOSE, IDC_VALVE_REGULATE})
      EXPECT_EQ(ui.Enabled(id), id != c.id) << c.id << " item " << id;
  }
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(prog.OnPaint(0, 300)[2].text, "Затвор:  регул.");
}

TEST_F(SoloTest, RefusedValveCommandWarnsAndChangesNothing) {
  Start();
  Connect();
  reg.acceptValve = false;
  const auto state = prog.State().fsatbor;
  const bool openEnabled = ui.Enabled(IDC_VALVE_OPEN);
  for (int id : {IDC_VALVE_OPEN, IDC_VALVE_CLOSE, IDC_VALVE_REGULATE}) {
    ui.messages.clear();
    prog.OnCommand(id, 0);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(IsBox(ui.messages[0], "Выключите внешнее управление затвором", "Предупреждение"));
  }
  EXPECT_EQ(prog.State().fsatbor, state);
  EXPECT_EQ(ui.Enabled(IDC_VALVE_OPEN), openEnabled);
}

TEST_F(SoloTest, RefusedCloseIsLoggedButRefusedOpenIsNot) {
  Start();
  Connect();
  reg.acceptValve = false;
  const size_t lines = prog.State().log.Lines().size();
  prog.OnCommand(IDC_VALVE_OPEN, 0);
  EXPECT_EQ(prog.State().log.Lines().size(), lines);
  prog.OnCommand(IDC_VALVE_CLOSE, 0);
  ASSERT_EQ(prog.State().log.Lines().size(), lines + 1);
  EXPECT_EQ(prog.State().log.Lines().back().substr(0, 6), "0;0;2-");
}

TEST_F(SoloTest, FailedValveCommandShowsMessage100) {
  Start();
  Connect();
  reg.silent = true;
  const auto state = prog.State().fsatbor;
  prog.OnCommand(IDC_VALVE_CLOSE, 0);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Нет связи.Ошибка100");
  EXPECT_EQ(prog.State().fsatbor, state);
}

// ---- zero, digital and analog input --------------------------------------------

TEST_F(SoloTest, ZeroAsksFirstForAFlowDeviceAndNoStopsIt) {
  Start();
  Connect();
  ui.answers = {kIdNo};
  prog.OnCommand(IDC_ZERO, 0);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(IsBox(ui.messages[0], "Операция проводится при нуле расходе на эталоне.Продолжить?",
                    "ВНИМАНИЕ!!! ВЫКЛЮЧИТЕ ГАЗ"));
  EXPECT_EQ(ui.messages[0].buttons, MsgButtons::kYesNo);
  const size_t dialogs = ui.dialogs.size();
  EXPECT_EQ(ui.dialogs.size(), dialogs);

  ui.messages.clear();
  ui.answers = {kIdYes};
  prog.OnCommand(IDC_ZERO, 0);
  ASSERT_EQ(ui.dialogs.size(), dialogs + 1);
  EXPECT_EQ(LastDialog().templateId, 111);  // format 7
}

TEST_F(SoloTest, ZeroInPressureModeOpensTheDialogWithoutQuestion) {
  Start();
  Connect();
  prog.OnCommand(IDC_KIND_PRESSURE, 0);
  ASSERT_EQ(prog.State().flags.flagPres, 1);
  const size_t dialogs = ui.dialogs.size();
  prog.OnCommand(IDC_ZERO, 0);
  EXPECT_TRUE(ui.messages.empty());
  ASSERT_EQ(ui.dialogs.size(), dialogs + 1);
  // The offset read names a pressure device in byte 1.
  const auto reads = reg.Seen(35);
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0][1], 0x00);
}

TEST_F(SoloTest, ZeroDialogTemplateFollowsTheFormatByte) {
  for (uint8_t format : {5, 6, 7}) {
    SCOPED_TRACE(format);
    FakeLink l;
    FakeServices u;
    FakeRegulator r = SoloRegulator();
    r.format = format;
    l.SetResponder(r.Responder());
    SoloProgram p(l, u);
    p.SetConfigPath(cfg);
    WriteConfig({0, 5});
    ASSERT_TRUE(p.OnCreate());
    u.onModal = [](FakeDialog& d, DialogLogic& lg) {
      d.SetCheck(IDX_PORT_OPEN, true);
      lg.OnCommand(d, IDX_PORT_OPEN, 0);
      lg.OnCommand(d, IDX_SETUP_LINK, 0);
      lg.OnCommand(d, kIdCancel, 0);
    };
    p.OnCommand(IDC_SETUP, 0);
    u.onModal = nullptr;
    ASSERT_EQ(p.State().version_KVL, format);
    u.answers = {kIdYes};
    p.OnCommand(IDC_ZERO, 0);
    EXPECT_EQ(u.dialogs.back()->templateId, format > 5 ? 111 : 130);
    EXPECT_EQ(r.Seen(45).size(), format == 6 ? 1u : 0u);
    EXPECT_EQ(r.Seen(35).size(), format == 6 ? 0u : 1u);
  }
}

TEST_F(SoloTest, DigitalOpensOneSetpointWindowUntilItIsClosed) {
  Start();
  Connect();
  prog.OnCommand(IDC_INPUT_DIGITAL, 0);
  ASSERT_EQ(LastDialog().templateId, 108);
  FakeDialog& window = LastDialog();
  EXPECT_EQ(prog.State().flist[0], 1);
  EXPECT_EQ(window.lists[1001].size(), 11u);

  prog.OnCommand(IDC_INPUT_DIGITAL, 0);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(IsBox(ui.messages[0], "Окно уже есть", "Предупреждение"));

  // The window's logic is the program's: closing it allows a new one.
  const size_t dialogs = ui.dialogs.size();
  prog.OnCommand(IDC_INPUT_DIGITAL, 0);  // still open: no new window
  EXPECT_EQ(ui.dialogs.size(), dialogs);
}

TEST_F(SoloTest, AnalogClearsDigitalInputAndSelectsTheAnalogInput) {
  Start();
  reg.status1 = 0x03;  // layout A: regulating, digital input
  Connect();
  ASSERT_EQ(prog.State().Current().fopzi, 1);
  const auto mark = Mark();
  prog.OnCommand(IDC_INPUT_ANALOG, 0);
  const auto w = WrittenSince(mark);
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0][0], 37);
  EXPECT_EQ(w[0][1], 1);
  EXPECT_EQ(prog.State().Current().fopzi, 0);
  EXPECT_EQ(prog.State().log.Lines().back().substr(0, 5), "37;1;");

  reg.silent = true;
  prog.State().Current().fopzi = 1;
  prog.OnCommand(IDC_INPUT_ANALOG, 0);
  EXPECT_EQ(prog.State().Current().fopzi, 0);  // cleared before sending
  EXPECT_TRUE(Shown("Нет связи.Ошибка100"));
}

// ---- close sequence ------------------------------------------------------------

TEST_F(SoloTest, CloseSendsTheClosingFrameThenAsks) {
  Start();
  Connect();
  prog.OnCommand(IDC_SOLO_POLL_START, 0);
  ASSERT_TRUE(ui.TimerRunning(kTimerPoll));
  const auto mark = Mark();
  EXPECT_TRUE(prog.OnClose());
  EXPECT_FALSE(ui.TimerRunning(kTimerPoll));
  EXPECT_EQ(prog.State().m_tim1, 0);
  const auto w = WrittenSince(mark);
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0], KormastAnswer({1, 6, 0, 0, 0, 0, 0, 5}));  // byte 1 = address + 1
  EXPECT_FALSE(link.IsOpen(0));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(IsBox(ui.messages[0], "OK to close window?", "DemoKVl"));
  EXPECT_EQ(ui.messages[0].buttons, MsgButtons::kOkCancel);
  EXPECT_EQ(ui.messages[0].icon, MsgIcon::kQuestion);
  for (int id : {IDC_VALVE_OPEN, IDC_VALVE_CLOSE, IDC_INPUT_ANALOG}) EXPECT_FALSE(ui.Enabled(id));
}

TEST_F(SoloTest, ClosingFrameForAddresses255And254) {
  for (uint8_t addr : {255, 254}) {
    SCOPED_TRACE(addr);
    FakeLink l;
    FakeServices u;
    FakeRegulator r = SoloRegulator();
    r.addr = addr;
    l.SetResponder(r.Responder());
    SoloProgram p(l, u);
    p.SetConfigPath(cfg);
    WriteConfig({0, addr});
    ASSERT_TRUE(p.OnCreate());
    u.onModal = [&](FakeDialog& d, DialogLogic& lg) {
      d.SetCheck(IDX_PORT_OPEN, true);
      lg.OnCommand(d, IDX_PORT_OPEN, 0);
      lg.OnCommand(d, IDX_SETUP_LINK, 0);
      lg.OnCommand(d, kIdOk, 0);
    };
    p.OnCommand(IDC_SETUP, 0);
    ASSERT_TRUE(p.State().Connected());
    const size_t mark = l.written.size();
    p.OnClose();
    ASSERT_EQ(l.written.size(), mark + 1);
    const auto& f = l.written.back().frame;
    EXPECT_EQ(f[0], 1);
    EXPECT_EQ(f[1], addr == 255 ? 1 : 255);
    EXPECT_EQ(f[7], addr);
  }
}

TEST_F(SoloTest, CancelOnCloseKeepsRunningWithThePortClosedAndReconnectWorks) {
  Start();
  Connect();
  ui.answers = {kIdCancel};
  EXPECT_FALSE(prog.OnClose());
  EXPECT_FALSE(link.IsOpen(0));
  EXPECT_FALSE(prog.State().Connected());

  ui.messages.clear();
  prog.OnCommand(IDC_VALVE_OPEN, 0);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Нет связи.Ошибка106");

  Connect();
  EXPECT_TRUE(prog.State().Connected());
  EXPECT_TRUE(link.IsOpen(0));
}

TEST_F(SoloTest, CloseWithoutAnOpenPortSendsNothing) {
  Start();
  EXPECT_TRUE(prog.OnClose());
  EXPECT_TRUE(link.written.empty());
  EXPECT_EQ(link.closes, 0);
}

TEST_F(SoloTest, ClosingAPortWithoutAConnectedRegulatorSendsNoFrame) {
  Start();
  reg.silent = true;
  Connect();  // the port opens, nobody answers
  ASSERT_TRUE(link.IsOpen(0));
  ASSERT_FALSE(prog.State().Connected());
  const size_t mark = Mark();
  ui.messages.clear();
  EXPECT_TRUE(prog.OnClose());
  EXPECT_TRUE(WrittenSince(mark).empty());
  EXPECT_FALSE(link.IsOpen(0));
  EXPECT_EQ(ui.Texts(), std::vector<std::string>{"OK to close window?"});
}

TEST_F(SoloTest, FailedClosingFrameWriteShowsMessage102AndStillCloses) {
  Start();
  Connect();
  link.writeScript = {{WriteStatus::kRefused, 0}};
  EXPECT_TRUE(prog.OnClose());
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(ui.messages[0].text, "Нет связи.Ошибка102");
  EXPECT_FALSE(link.IsOpen(0));
}

// ---- the exchange log list -------------------------------------------------------

TEST_F(SoloTest, LogListMirrorsTheNewestFourteenLines) {
  Start();
  Connect();
  for (int i = 0; i < 20; ++i) prog.OnCommand(IDC_KIND_FLOW, 0);
  const auto& list = ui.main.lists[IDW_LOG_LIST];
  const auto& lines = prog.State().log.Lines();
  ASSERT_EQ(lines.size(), 14u);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.end()), list);
}

}  // namespace
}  // namespace kvl::test
