// The setpoint dialog: presets and free entry, the rounding rule, the value the
// device took, the two Modbus writes, refused input, closing and reopening, and
// the channel it sends to.
#include <gtest/gtest.h>

#include "commands/menu_commands.h"
#include "commands/setpoint_dialog.h"
#include "commands/setpoint_value.h"
#include "logic/net_commands_fixture.h"
#include "network/monitor_window.h"

namespace kvl::test {
namespace {

// One reading and one rounding of a typed setpoint, for the three programs.
TEST(SetpointRounding, RemainderOfExactlyOneHalfStaysDown) {
  EXPECT_EQ(SetpointRaw(12.125), 1212);
  EXPECT_EQ(SetpointRaw(12.126), 1213);
  EXPECT_EQ(SetpointRaw(12.345), 1234);
  EXPECT_EQ(SetpointRaw(12.346), 1235);
  EXPECT_EQ(SetpointRaw(100.004), 10000);
  EXPECT_EQ(SetpointRaw(655.35), 65535);
  EXPECT_EQ(SetpointRaw(50), 5000);
  EXPECT_EQ(SetpointRaw(0.29), 29);  // 28.999... rounds up
  EXPECT_EQ(SetpointRaw(100), 10000);
  EXPECT_EQ(SetpointRaw(0.004), 0);
  EXPECT_EQ(SetpointRaw(0.006), 1);
}

TEST(SetpointParsing, PlainNumbersInRange) {
  double v = -1;
  EXPECT_TRUE(ParseSetpoint("12.5", v));
  EXPECT_DOUBLE_EQ(v, 12.5);
  EXPECT_TRUE(ParseSetpoint("  12,5 % ", v));  // comma, blanks, per cent sign
  EXPECT_DOUBLE_EQ(v, 12.5);
  EXPECT_TRUE(ParseSetpoint("0", v));
  EXPECT_DOUBLE_EQ(v, 0);
  EXPECT_TRUE(ParseSetpoint("100", v));
  EXPECT_TRUE(ParseSetpoint("+7.", v));
  EXPECT_DOUBLE_EQ(v, 7);
  EXPECT_TRUE(ParseSetpoint(".5", v));
  EXPECT_DOUBLE_EQ(v, 0.5);
  // Up to what the 16-bit setpoint carries, 655.35 % (a regulator may take
  // more than its nominal 100 %).
  for (const char* t : {"100.01", "150", "655.35", "655.354", "655.355 %"}) {
    EXPECT_TRUE(ParseSetpoint(t, v)) << t;
    EXPECT_LE(SetpointRaw(v), 65535) << t;
  }
}

TEST(SetpointParsing, EverythingElseIsRefused) {
  for (const char* t :
       {"", "   ", "abc", "12abc", "1e2", "-5", "-0.01", "655.356", "655.36", "1000",
        "99999999999999999999", "1.2.3", "nan", "inf", "%", ".", "1 2", "0x10", "12,5,1"}) {
    double v = 42;
    EXPECT_FALSE(ParseSetpoint(t, v)) << t;
    EXPECT_EQ(v, 42) << t;  // untouched
  }
}

class SetpointDialogTest : public testing::TestWithParam<const Variant*> {
 protected:
  SetpointDialogTest() {
    r.OpenMonitor();
    HandleMenuCommand(r.c, 40062);
    d = r.ui.dialogs.back().get();
  }
  // Reaches the dialog's logic the way the binding does.
  DialogLogic& Logic() { return *logic; }
  void Select(int index) {
    d->ListSelect(IDX_SETPOINT_PRESETS, index);
    Cmd(IDX_SETPOINT_PRESETS, 1);
  }
  void Enter(const std::string& text) {
    d->SetText(IDX_SETPOINT_EDIT, text);
    Cmd(IDX_SETPOINT_SEND, 0);
  }
  void Cmd(int id, int code) { logic->OnCommand(*d, id, code); }
  uint16_t SentRaw() const {
    const Bytes& f = r.LastFrame();
    return static_cast<uint16_t>(f[2] << 8 | f[3]);
  }

  CmdRig r{*GetParam()};
  FakeDialog* d = nullptr;
  DialogLogic* logic = nullptr;

  void SetUp() override {
    // The program's services keep only the dialogs; build a second logic on
    // the same state to drive it, as the monitor and the menu see the same
    // NetState.
    ASSERT_NE(d, nullptr);
    owned = std::make_unique<SetpointDialog>(r.c);
    logic = owned.get();
    logic->OnInit(*d);
  }
  std::unique_ptr<SetpointDialog> owned;
};

std::string Name(const testing::TestParamInfo<const Variant*>& i) {
  return i.param->program;
}
INSTANTIATE_TEST_SUITE_P(Both, SetpointDialogTest, testing::Values(&kNet9, &kNet5), Name);

TEST_P(SetpointDialogTest, OpeningFillsThePresetsAndTheChannel) {
  const std::vector<std::string> presets{"0%",  "10%", "20%", "30%", "40%", "50%",
                                         "60%", "70%", "80%", "90%", "100%"};
  EXPECT_EQ(d->lists[IDX_SETPOINT_PRESETS], presets);
  EXPECT_EQ(d->texts[IDX_SETPOINT_CHANNEL], "0");
  EXPECT_EQ(r.Sent(), 0u);
}

TEST_P(SetpointDialogTest, PresetIsSentOnSelection) {
  r.Ch().zifra = 0;
  Select(5);
  EXPECT_EQ(r.LastFrame(), K({37, 0, 0x13, 0x88, 0, 0, 0, 5}));
  EXPECT_EQ(d->texts[IDX_SETPOINT_EDIT], "50.0");
  EXPECT_EQ(r.Ch().zifra, 1);
  EXPECT_EQ(r.monitor.texts[1267], "Вход:цифр.");
  EXPECT_EQ(r.s.log.Lines().size(), 1u);
  EXPECT_TRUE(r.ui.messages.empty());
}

TEST_P(SetpointDialogTest, PresetShowsTheValueTheDeviceTook) {
  r.dev.takenSetpoint = 4321;
  Select(5);
  EXPECT_EQ(d->texts[IDX_SETPOINT_EDIT], "43.2");
}

TEST_P(SetpointDialogTest, FreeEntryIsSentWithTheButtonAndNotRewritten) {
  d->ListSelect(IDX_SETPOINT_PRESETS, 3);
  r.dev.takenSetpoint = 1;  // a free value is not read back
  Enter("12.125");
  EXPECT_EQ(SentRaw(), 1212);
  EXPECT_EQ(d->ListSelection(IDX_SETPOINT_PRESETS), -1);
  EXPECT_EQ(d->texts[IDX_SETPOINT_EDIT], "12.125");
  Enter("12.126");
  EXPECT_EQ(SentRaw(), 1213);
  Enter("12,5");
  EXPECT_EQ(SentRaw(), 1250);
  Enter("150");  // above the nominal range: a regulator may take it
  EXPECT_EQ(SentRaw(), 15000);
}

TEST_P(SetpointDialogTest, OutOfRangeOrNonNumbersAreRefusedAndNothingIsSent) {
  r.Ch().zifra = 0;
  for (const char* t : {"655.36", "abc", "-1", ""}) {
    r.ui.messages.clear();
    Enter(t);
    ASSERT_EQ(r.ui.messages.size(), 1u) << t;
    EXPECT_TRUE(IsBox(r.ui.messages[0], "Задание вне допустимого диапазона(0-655.35%)",
                      "Ошибка ввода", Owner::kDialog));
  }
  EXPECT_EQ(r.Sent(), 0u);
  EXPECT_EQ(r.Ch().zifra, 0);
  EXPECT_TRUE(r.s.log.Lines().empty());
}

TEST_P(SetpointDialogTest, ModbusSelectsDigitalInputThenWritesRegisterFour) {
  r.Modbus();
  r.dev.takenSetpoint = 1;  // no read-back in Modbus
  Select(5);
  ASSERT_EQ(r.Sent(), 2u);
  EXPECT_EQ(r.link.written[0].frame, M({5, 0x0F, 0, 1, 0, 1, 1, 1}));
  EXPECT_EQ(r.link.written[1].frame, M({5, 0x06, 0, 4, 0x13, 0x88}));
  EXPECT_EQ(d->texts[IDX_SETPOINT_EDIT], "50.0");
  EXPECT_EQ(r.s.log.Lines().size(), 2u);
  EXPECT_EQ(r.Ch().zifra, 1);
  EXPECT_EQ(r.dev.registers, (std::vector<std::pair<int, int>>{{4, 5000}}));
}

TEST_P(SetpointDialogTest, FailedInputSelectStillSendsTheValue) {
  r.Modbus();
  r.dev.silentCodes = {0x0F};
  Enter("20");
  EXPECT_EQ(r.ui.Texts(), std::vector<std::string>{"Нет связи"});
  EXPECT_EQ(r.ui.messages[0].caption, "List");
  EXPECT_EQ(r.LastFrame(), M({5, 0x06, 0, 4, 0x07, 0xD0}));
  EXPECT_EQ(r.Ch().zifra, 1);
}

TEST_P(SetpointDialogTest, FailedSetpointKeepsTheInputAndIsLogged) {
  r.Ch().zifra = 0;
  r.dev.silent = true;
  Select(10);
  EXPECT_EQ(r.ui.Texts(), std::vector<std::string>{"Нет связи"});
  EXPECT_EQ(r.ui.messages[0].caption, "List");
  EXPECT_EQ(r.Ch().zifra, 0);
  EXPECT_EQ(r.monitor.texts.count(1267), 0u);
  EXPECT_EQ(r.s.log.Lines().size(), 6u);  // time-outs and the empty answer
  EXPECT_EQ(d->texts[IDX_SETPOINT_EDIT], "100.0");
}

TEST_P(SetpointDialogTest, SendsToTheChannelItWasOpenedFor) {
  // The regulator setup dialog moves the active channel without closing this one.
  r.Ch(4) = r.Ch(0);
  r.Ch(4).net = 9;
  r.s.table.cnl2 = 4;
  Select(2);
  EXPECT_EQ(r.LastFrame()[7], 5);
  EXPECT_EQ(r.Ch(0).zifra, 1);
  EXPECT_EQ(r.Ch(4).zifra, 0);
  EXPECT_EQ(r.monitor.texts.count(1267), 0u);  // the monitor shows channel 4
}

TEST_P(SetpointDialogTest, UnlinkedChannelGetsNothing) {
  r.Ch().svjac = 0;
  Select(2);
  EXPECT_EQ(r.Sent(), 0u);
  EXPECT_EQ(r.ui.Texts(), std::vector<std::string>{"Нет связи"});
}

TEST(SetpointDialogLife, OkAndCloseBoxClearTheFlagAndAllowAFreshDialog) {
  CmdRig r;
  HandleMenuCommand(r.c, 40062);
  FakeDialog* first = r.ui.dialogs.back().get();
  SetpointDialog logic(r.c);
  logic.OnInit(*first);
  logic.OnCommand(*first, kIdOk, 0);
  EXPECT_TRUE(first->ended);
  EXPECT_FALSE(r.s.flist(0));
  EXPECT_EQ(r.s.hLspis, nullptr);
  HandleMenuCommand(r.c, 40062);
  ASSERT_EQ(r.ui.dialogs.size(), 2u);
  FakeDialog* second = r.ui.dialogs.back().get();
  EXPECT_EQ(r.s.hLspis, second);
  EXPECT_EQ(second->lists[IDX_SETPOINT_PRESETS].size(), 11u);
  SetpointDialog logic2(r.c);
  logic2.OnInit(*second);
  logic2.OnClose(*second);
  EXPECT_TRUE(second->ended);
  EXPECT_FALSE(r.s.flist(0));
  // A closed dialog's logic sends nothing any more.
  second->ListSelect(IDX_SETPOINT_PRESETS, 1);
  logic2.OnCommand(*second, IDX_SETPOINT_PRESETS, 1);
  EXPECT_EQ(r.Sent(), 0u);
  EXPECT_TRUE(r.ui.messages.empty());
}

TEST(SetpointDialogLife, FlagOfThePortItWasOpenedOnIsCleared) {
  CmdRig r;
  HandleMenuCommand(r.c, 40062);
  FakeDialog* d = r.ui.dialogs.back().get();
  SetpointDialog logic(r.c);
  logic.OnInit(*d);
  r.s.port0 = 3;  // another port chosen in a setup dialog meanwhile
  logic.OnCommand(*d, kIdOk, 0);
  EXPECT_FALSE(r.s.flist(0));
  r.s.port0 = 0;
  HandleMenuCommand(r.c, 40062);
  EXPECT_EQ(r.ui.dialogs.size(), 2u);
  EXPECT_TRUE(r.ui.messages.empty());
}

TEST(SetpointDialogLife, ChangeOfChannelInTheMonitorClosesIt) {
  CmdRig r;
  r.Ch(1) = r.Ch(0);
  r.Ch(1).net = 6;
  MonitorWindow mon(r.c);
  r.OpenMonitor();
  mon.OnInit(r.monitor);
  HandleMenuCommand(r.c, 40062);
  FakeDialog* sp = r.ui.dialogs.back().get();
  EXPECT_EQ(sp->texts[IDX_SETPOINT_CHANNEL], "0");
  const int radio1 = MonitorRowOf(kNet9, 1).radio;
  r.monitor.SetCheck(MonitorRowOf(kNet9, 0).radio, false);
  r.monitor.SetCheck(radio1, true);
  mon.OnCommand(r.monitor, radio1, 0);
  EXPECT_EQ(r.s.table.cnl2, 1);
  EXPECT_TRUE(sp->ended);
  EXPECT_FALSE(r.s.flist(0));
  EXPECT_EQ(r.s.hLspis, nullptr);
  HandleMenuCommand(r.c, 40062);
  ASSERT_EQ(r.ui.dialogs.size(), 2u);
  EXPECT_EQ(r.ui.dialogs.back()->texts[IDX_SETPOINT_CHANNEL], "1");
  EXPECT_TRUE(r.ui.messages.empty());
}

TEST(SetpointDialogLife, OneDialogAlsoAfterAPortChange) {
  CmdRig r;
  HandleMenuCommand(r.c, 40062);
  r.s.port0 = 2;  // chosen in a setup dialog while the setpoint dialog stays open
  HandleMenuCommand(r.c, 40062);
  EXPECT_EQ(r.ui.dialogs.size(), 1u);
  EXPECT_EQ(r.ui.Texts(), std::vector<std::string>{"Окно уже есть"});
}

}  // namespace
}  // namespace kvl::test
