// The device commands of the main menu on the active channel: exact frames in
// both protocols, the table fields, the monitor window's status line, message
// boxes and log lines, in both network programs.
#include <gtest/gtest.h>

#include "commands/menu_commands.h"
#include "logic/net_commands_fixture.h"

namespace kvl::test {
namespace {

class Commands : public testing::TestWithParam<const Variant*> {
 protected:
  CmdRig r{*GetParam()};
  bool Menu(int id) { return HandleMenuCommand(r.c, id); }
};

std::string Name(const testing::TestParamInfo<const Variant*>& i) {
  return i.param->program;
}

INSTANTIATE_TEST_SUITE_P(Both, Commands, testing::Values(&kNet9, &kNet5), Name);

// ---- link check ---------------------------------------------------------

TEST_P(Commands, EveryDeviceCommandNeedsTheLink) {
  r.Ch().svjac = 0;
  for (int id : {40017, 40018, 40076, 40035, 40037, 40080, 40081}) {
    r.ui.messages.clear();
    EXPECT_TRUE(Menu(id)) << id;
    ASSERT_EQ(r.ui.messages.size(), 1u) << id;
    EXPECT_TRUE(IsBox(r.ui.messages[0], "Нет связи", "Message")) << id;
  }
  EXPECT_EQ(r.Sent(), 0u);
  EXPECT_TRUE(r.s.log.Lines().empty());
}

TEST_P(Commands, IdsThatAreNoDeviceCommandDoNothing) {
  for (int id : {40020, 0, 1, 836, 40048, 40082, 99999}) EXPECT_FALSE(Menu(id)) << id;
  EXPECT_EQ(r.Sent(), 0u);
  EXPECT_TRUE(r.ui.messages.empty());
}

// ---- valve --------------------------------------------------------------

TEST_P(Commands, OpenWithExternalSignalWarnsInsteadOfRepainting) {
  r.OpenMonitor();
  r.dev.valveStatus = 0x05;
  Menu(40017);
  EXPECT_EQ(r.LastFrame(), K({32, 0, 1, 0, 0, 0, 0, 5}));
  const Satvor& v = r.s.table.Satv[0];
  EXPECT_EQ(v.fsaton, 1);
  EXPECT_EQ(v.fp15, 1);
  EXPECT_EQ(v.fsatoff, 0);
  EXPECT_EQ(r.monitor.texts[1266], "Затвор: открыт. Внешн.");
  ASSERT_EQ(r.ui.messages.size(), 1u);
  EXPECT_TRUE(IsBox(r.ui.messages[0], "Выключите внешнее управление затвором", "Предупреждение"));
  EXPECT_TRUE(r.ui.invalidations.empty());
  ASSERT_EQ(r.s.log.Lines().size(), 1u);
  EXPECT_EQ(r.s.log.Lines()[0], "32;0;1-5;0-0;0-5;0-43;10;0");
}

TEST_P(Commands, StatusBitThreeAfterOpenShowsClosedByProgram) {
  r.OpenMonitor();
  r.s.table.Satv[0].fsaton = 1;
  r.dev.valveStatus = 0x08;
  Menu(40017);
  EXPECT_EQ(r.s.table.Satv[0].fsatoff, 1);
  EXPECT_EQ(r.s.table.Satv[0].fsaton, 0);
  EXPECT_EQ(r.monitor.texts[1266], "Затвор: закрыт. Прог.");
  EXPECT_TRUE(r.ui.messages.empty());
  ASSERT_EQ(r.ui.invalidations.size(), 1u);
  EXPECT_FALSE(r.ui.invalidations[0]);  // without erasing
}

TEST_P(Commands, ValveWithNoFlagSetShowsRegulation) {
  r.OpenMonitor();
  r.s.table.Satv[0] = {1, 1, 0, 1, 1, 7};
  r.dev.valveStatus = 0xF0;  // bits 7..5 ignored, bit 4 only the status bit
  Menu(40018);
  EXPECT_EQ(r.LastFrame()[2], 2);
  const Satvor& v = r.s.table.Satv[0];
  EXPECT_EQ(v.fsatvor, 1);
  EXPECT_EQ(v.fp15 + v.fm15 + v.fsaton + v.fsatoff, 0);
  EXPECT_EQ(v.sad_out, 7);
  EXPECT_EQ(r.monitor.texts[1266], "Затвор: регулир.");
}

TEST_P(Commands, RegulateSendsZeroAndExternalCloseWins) {
  r.OpenMonitor();
  r.dev.valveStatus = 0x06;  // held open by program, closed externally
  Menu(40076);
  EXPECT_EQ(r.LastFrame(), K({32, 0, 0, 0, 0, 0, 0, 5}));
  EXPECT_EQ(r.monitor.texts[1266], "Затвор: закрыт. Внешн.");
  EXPECT_EQ(r.ui.Texts(), std::vector<std::string>{"Выключите внешнее управление затвором"});
}

TEST_P(Commands, ValveInModbusDecodesNothing) {
  r.OpenMonitor();
  r.Modbus();
  r.s.table.Satv[0].fsaton = 1;
  r.dev.valveStatus = 0x01;
  Menu(40017);
  EXPECT_EQ(r.LastFrame(), M({5, 0x0F, 0, 2, 0, 2, 1, 1}));
  Menu(40018);
  EXPECT_EQ(r.LastFrame(), M({5, 0x0F, 0, 2, 0, 2, 1, 2}));
  EXPECT_EQ(r.s.table.Satv[0].fsaton, 1);
  EXPECT_EQ(r.s.table.Satv[0].fp15, 0);
  EXPECT_EQ(r.monitor.texts.count(1266), 0u);
  EXPECT_TRUE(r.ui.messages.empty());
  ASSERT_EQ(r.s.log.Lines().size(), 2u);
  EXPECT_EQ(r.s.log.Lines()[0].rfind("L=:8Modbus", 0), 0u);
}

TEST_P(Commands, SilentDeviceLeavesTheValveAlone) {
  r.OpenMonitor();
  r.s.table.Satv[0].fsaton = 1;
  r.dev.silent = true;
  Menu(40018);
  EXPECT_EQ(r.Sent(), 5u);
  EXPECT_EQ(r.ui.Texts(), std::vector<std::string>{"Нет связи"});
  EXPECT_EQ(r.s.table.Satv[0].fsaton, 1);
  EXPECT_EQ(r.monitor.texts.count(1266), 0u);
  EXPECT_EQ(r.s.log.Lines().size(), 5u);  // the time-outs only
}

TEST_P(Commands, WithoutMonitorTheTableStillChanges) {
  r.dev.valveStatus = 0x04;
  Menu(40017);
  EXPECT_EQ(r.s.table.Satv[0].fsaton, 1);
  EXPECT_TRUE(r.monitor.texts.empty());
}

TEST_P(Commands, CommandsGoToTheActiveChannelsAddress) {
  r.s.table.cnl2 = 2;
  r.Ch(2) = r.Ch(0);
  r.Ch(2).net = 300;  // only the low 8 bits reach the frame
  r.dev.addr = 44;
  r.dev.valveStatus = 0x04;
  Menu(40017);
  EXPECT_EQ(r.LastFrame()[7], 44);
  EXPECT_EQ(r.s.table.Satv[2].fsaton, 1);
  EXPECT_EQ(r.s.table.Satv[0].fsaton, 0);
}

// ---- zero setting -------------------------------------------------------

TEST_P(Commands, ZeroAnsweredNoSendsAndLogsNothing) {
  r.ui.answers = {kIdNo};
  Menu(40035);
  ASSERT_EQ(r.ui.messages.size(), 1u);
  EXPECT_TRUE(IsBox(r.ui.messages[0], "Операция проводится при нулевом расходе.Установить ноль?",
                    "ВНИМАНИЕ!!! ВЫКЛЮЧИТЕ ГАЗ"));
  EXPECT_EQ(r.ui.messages[0].buttons, MsgButtons::kYesNo);
  EXPECT_EQ(r.Sent(), 0u);
  EXPECT_TRUE(r.s.log.Lines().empty());
  EXPECT_TRUE(r.ui.pauses.empty());
}

TEST_P(Commands, ZeroOnAPressureRegulatorCompletes) {
  r.s.table.cnl2 = 3;
  r.Ch(3) = r.Ch(0);
  r.Ch(3).pres = 1;
  Menu(40035);
  EXPECT_TRUE(IsBox(r.ui.messages[0], "Операция проводится при нулевом давлении.Установить ноль?",
                    "ВНИМАНИЕ!!! НУЛЕВОЕ ДАВЛЕНИЕ"));
  EXPECT_EQ(r.LastFrame(), K({35, 0x1C, 0, 0x1C, 0, 0, 0, 5}));
  EXPECT_EQ(r.ui.pauses, std::vector<unsigned>{1000});
  ASSERT_EQ(r.ui.messages.size(), 2u);
  EXPECT_TRUE(IsBox(r.ui.messages[1], "Установка нуля в кан.№ 3 завершена", "Message"));
  EXPECT_EQ(r.s.log.Lines().size(), 1u);
  EXPECT_EQ(r.ui.waitCursor, 0);  // shown and restored
}

TEST_P(Commands, FailedZeroIsLoggedAllTheSame) {
  r.dev.silent = true;
  Menu(40035);
  EXPECT_EQ(r.ui.Texts()[1], "Нет связи");
  EXPECT_TRUE(r.ui.pauses.empty());
  ASSERT_EQ(r.s.log.Lines().size(), 6u);  // five time-outs, then the empty answer
  EXPECT_EQ(r.s.log.Lines()[5], "0;0;0-0;0-0;0-0;0-0;0;0");
  EXPECT_EQ(r.ui.waitCursor, 0);
}

TEST_P(Commands, ZeroIsTranslatedInModbus) {
  r.Modbus();
  Menu(40035);
  EXPECT_EQ(r.LastFrame(), M({5, 0x0F, 0, 6, 0, 1, 1, 1}));
  EXPECT_EQ(r.dev.coils, (std::vector<std::pair<int, int>>{{6, 1}}));
  EXPECT_EQ(r.ui.Texts().back(), "Установка нуля в кан.№ 0 завершена");
}

// ---- setpoint input -----------------------------------------------------

TEST_P(Commands, AnalogueInput) {
  r.OpenMonitor();
  r.Ch().zifra = 1;
  Menu(40037);
  EXPECT_EQ(r.LastFrame(), K({37, 1, 0, 0, 0, 0, 0, 5}));
  EXPECT_EQ(r.Ch().zifra, 0);
  EXPECT_EQ(r.monitor.texts[1267], "Вход:анал.");
  EXPECT_EQ(r.s.log.Lines().size(), 1u);
}

TEST_P(Commands, AnalogueInputInModbusWritesCoilOne) {
  r.Modbus();
  r.Ch().zifra = 1;
  Menu(40037);
  EXPECT_EQ(r.LastFrame(), M({5, 0x0F, 0, 1, 0, 1, 1, 0}));
  EXPECT_EQ(r.Ch().zifra, 0);
}

TEST_P(Commands, FailedAnalogueInputKeepsDigitalAndIsLogged) {
  r.OpenMonitor();
  r.Ch().zifra = 1;
  r.dev.silent = true;
  Menu(40037);
  EXPECT_EQ(r.Ch().zifra, 1);
  EXPECT_EQ(r.monitor.texts.count(1267), 0u);
  EXPECT_EQ(r.ui.Texts(), std::vector<std::string>{"Нет связи"});
  EXPECT_EQ(r.s.log.Lines().size(), 6u);
}

TEST_P(Commands, RefusalIsLoggedOnceAndFailsTheCommand) {
  r.Modbus();
  r.Ch().zifra = 1;
  r.link.SetResponder([](int, const Bytes&) { return std::vector<Bytes>{M({5, 0x8F, 4})}; });
  Menu(40037);  // logs after a failure as well
  EXPECT_EQ(r.Sent(), 1u) << "a refusal is not asked again";
  EXPECT_EQ(r.Ch().zifra, 1);
  EXPECT_EQ(r.ui.Texts(), std::vector<std::string>{"Нет связи"});
  ASSERT_EQ(r.s.log.Lines().size(), 1u);
  EXPECT_EQ(r.s.log.Lines()[0].rfind("L=:5Modbus 5-8F- 4-", 0), 0u);
}

TEST_P(Commands, DigitalInputOpensTheSetpointDialogOnce) {
  EXPECT_TRUE(Menu(40062));
  ASSERT_EQ(r.ui.dialogs.size(), 1u);
  EXPECT_EQ(r.ui.dialogs[0]->templateId, 108);
  EXPECT_EQ(r.s.hLspis, r.ui.dialogs[0].get());
  EXPECT_TRUE(r.s.flist(0));
  Menu(40062);
  EXPECT_EQ(r.ui.dialogs.size(), 1u);
  EXPECT_EQ(r.ui.Texts(), std::vector<std::string>{"Окно уже есть"});
  EXPECT_EQ(r.ui.messages[0].caption, "Message");
  EXPECT_EQ(r.Sent(), 0u);
}

// ---- device family ------------------------------------------------------

TEST_P(Commands, FamilyCarriesTheRegulationBit) {
  r.OpenMonitor();
  r.Ch().regu = 1;
  Menu(40080);
  EXPECT_EQ(r.LastFrame(), K({24, 1, 0, 0x0F, 0, 0, 0, 5}));
  EXPECT_EQ(r.Ch().pres, 0);
  EXPECT_EQ(r.monitor.texts[1263], "КВЛ");
  Menu(40081);
  EXPECT_EQ(r.LastFrame(), K({24, 5, 0, 0x0F, 0, 0, 0, 5}));
  EXPECT_EQ(r.Ch().pres, 1);
  EXPECT_EQ(r.monitor.texts[1263], "ВПЗ");
  r.Ch().regu = 0;
  Menu(40081);
  EXPECT_EQ(r.LastFrame()[1], 4);
  EXPECT_EQ(r.s.log.Lines().size(), 3u);
}

TEST_P(Commands, FamilyRefusedByTheFittedSensor) {
  r.Ch().f45pres = 1;
  Menu(40080);
  r.Ch().f45pres = 0;
  r.Ch().fgasset = 1;
  Menu(40081);
  EXPECT_EQ(r.ui.Texts(), (std::vector<std::string>{"Нет возможности. Подключен ВПЗ",
                                                    "Нет возможности. Подключен КВЛ"}));
  EXPECT_EQ(r.Sent(), 0u);
  // The refusal of one family does not stop the other.
  Menu(40080);
  EXPECT_EQ(r.Sent(), 1u);
}

TEST_P(Commands, FamilyInModbusWritesCoilFive) {
  r.OpenMonitor();
  r.Modbus();
  r.Ch().regu = 1;
  Menu(40081);
  EXPECT_EQ(r.LastFrame(), M({5, 0x0F, 0, 5, 0, 1, 1, 1}));
  EXPECT_EQ(r.Ch().pres, 1);
  EXPECT_EQ(r.monitor.texts[1263], "ВПЗ");
  // The answer was translated back into the maker's layout.
  EXPECT_EQ(r.s.ans.res[0], CMD_KIND);
  EXPECT_EQ(r.s.ans.res[7], 5);
}

TEST_P(Commands, FailedFamilyChangesNothingAndLogsNoAnswer) {
  r.OpenMonitor();
  r.dev.silent = true;
  Menu(40081);
  EXPECT_EQ(r.Ch().pres, 0);
  EXPECT_EQ(r.monitor.texts.count(1263), 0u);
  EXPECT_EQ(r.s.log.Lines().size(), 5u);
}

// ---- protocol -----------------------------------------------------------

TEST_P(Commands, ProtocolSwitchTakesEffectWithTheNextRequest) {
  EXPECT_TRUE(Menu(40084));
  EXPECT_EQ(r.s.rq.fmodbuson, 1);
  EXPECT_EQ(r.Sent(), 0u);
  Menu(40017);
  EXPECT_EQ(r.LastFrame().size(), 10u);
  EXPECT_EQ(r.LastFrame()[0], 5);  // Modbus: address first
  EXPECT_TRUE(Menu(40083));
  EXPECT_EQ(r.s.rq.fmodbuson, 0);
  EXPECT_EQ(r.s.rq.wlength, 10u);
  EXPECT_EQ(r.s.rq.rlength, 10u);
  Menu(40080);
  // Back in the maker's frame; bytes the request does not name keep what the
  // Modbus frame left there and are covered by the sum.
  const Bytes& f = r.LastFrame();
  ASSERT_EQ(f.size(), 10u);
  EXPECT_EQ(f[0], CMD_KIND);
  EXPECT_EQ(f[3], 0x0F);
  EXPECT_EQ(f[7], 5);
  EXPECT_EQ(Sum16(f.data(), 8), (f[8] << 8) | f[9]);
  EXPECT_EQ(r.Ch().pres, 0);
}

// ---- menu state ---------------------------------------------------------

TEST_P(Commands, MenuFollowsTheLinkIncludingZeroSetting) {
  MenuVivod(r.c, 0);
  for (int id : {40076, 40017, 40018, 40080, 40081, 40037, 40062, 40035})
    EXPECT_TRUE(r.ui.Enabled(id)) << id;
  r.Ch().svjac = 0;
  MenuVivod(r.c, 0);
  for (int id : {40076, 40017, 40018, 40080, 40081, 40037, 40062, 40035})
    EXPECT_FALSE(r.ui.Enabled(id)) << id;
  const bool net5 = GetParam() == &kNet5;
  EXPECT_EQ(r.ui.menuEnabled.count(262), net5 ? 1u : 0u);
  EXPECT_EQ(r.ui.menuEnabled.count(40019), net5 ? 1u : 0u);
  if (net5) {
    EXPECT_FALSE(r.ui.Enabled(262));
    EXPECT_FALSE(r.ui.Enabled(40019));
  }
  // A channel outside the table counts as not linked.
  r.Ch().svjac = 1;
  MenuVivod(r.c, 42);
  EXPECT_FALSE(r.ui.Enabled(40017));
}

// ---- regnet5's mode commands -------------------------------------------

TEST(ModeCommands, RegulationAndMeasurementInRegnet5) {
  CmdRig r(kNet5);
  r.OpenMonitor();
  r.Ch().pres = 1;
  EXPECT_TRUE(HandleMenuCommand(r.c, 40019));
  EXPECT_EQ(r.LastFrame(), K({24, 5, 0, 0, 0, 0, 0, 5}));
  EXPECT_EQ(r.Ch().regu, 1);
  EXPECT_FALSE(r.ui.Enabled(40019));
  EXPECT_TRUE(r.ui.Enabled(262));
  EXPECT_EQ(r.monitor.texts[1265], "Режим: регулир.");
  EXPECT_TRUE(HandleMenuCommand(r.c, 262));
  EXPECT_EQ(r.LastFrame(), K({24, 4, 0, 0, 0, 0, 0, 5}));
  EXPECT_EQ(r.Ch().regu, 0);
  EXPECT_TRUE(r.ui.Enabled(40019));
  EXPECT_FALSE(r.ui.Enabled(262));
  EXPECT_EQ(r.monitor.texts[1265], "Режим: измерение");
  EXPECT_EQ(r.ui.invalidations.size(), 2u);
  EXPECT_EQ(r.s.log.Lines().size(), 2u);
}

TEST(ModeCommands, ModeChangesEvenWhenTheDeviceIsSilent) {
  CmdRig r(kNet5);
  r.OpenMonitor();
  r.dev.silent = true;
  HandleMenuCommand(r.c, 40019);
  EXPECT_EQ(r.Ch().regu, 1);
  EXPECT_EQ(r.ui.Texts(), std::vector<std::string>{"Нет связи"});
  EXPECT_EQ(r.ui.menuEnabled.count(40019), 0u);  // the menu stays as it was
  EXPECT_EQ(r.monitor.texts.count(1265), 0u);
  HandleMenuCommand(r.c, 262);
  EXPECT_EQ(r.Ch().regu, 0);
}

TEST(ModeCommands, RegulationNeedsTheLink) {
  CmdRig r(kNet5);
  r.Ch().svjac = 0;
  HandleMenuCommand(r.c, 40019);
  EXPECT_EQ(r.Ch().regu, 0);
  EXPECT_EQ(r.Sent(), 0u);
}

TEST(ModeCommands, ModbusWritesCoilZero) {
  CmdRig r(kNet5);
  r.Modbus();
  HandleMenuCommand(r.c, 40019);
  EXPECT_EQ(r.LastFrame(), M({5, 0x0F, 0, 0, 0, 1, 1, 1}));
  HandleMenuCommand(r.c, 262);
  EXPECT_EQ(r.LastFrame(), M({5, 0x0F, 0, 0, 0, 1, 1, 0}));
  EXPECT_EQ(r.dev.coils, (std::vector<std::pair<int, int>>{{0, 1}, {0, 0}}));
}

TEST(ModeCommands, Regnet9HasNoModeCommands) {
  CmdRig r(kNet9);
  EXPECT_FALSE(HandleMenuCommand(r.c, 40019));
  EXPECT_FALSE(HandleMenuCommand(r.c, 262));
  EXPECT_EQ(r.Sent(), 0u);
  EXPECT_EQ(r.Ch().regu, 0);
}

}  // namespace
}  // namespace kvl::test
