// The regulator setup dialog against a fake regulator: opening, the address
// field copy, port open/close/choice, linking with flags and firmware date,
// the address query, the speed change (device first, then the computer), the
// address change, mode memorising, OK with the menu item and the saved file.
#include <gtest/gtest.h>

#include <filesystem>

#include "logic/net_commands_fixture.h"
#include "setup/regulator_dialog.h"
#include "support/temp_dir.h"

namespace kvl::test {
namespace {

const std::string kBlanks(15, ' ');

class RegulatorTest : public testing::TestWithParam<const Variant*> {
 protected:
  RegulatorTest() {
    d.logic = &dlg;  // the dialog's edits notify its logic
    r.s.configPath = tmp.File("KVL.icx");
  }

  void Open() { dlg.OnInit(d); }
  void Cmd(int id, int code = 0) { dlg.OnCommand(d, id, code); }
  void Click(int radio) {
    d.SetCheck(radio, true);  // an auto radio button marks itself
    d.SetCheck(radio == IDX_SETUP_MEM_OFF  ? IDX_SETUP_MEM_ON
               : radio == IDX_SETUP_MEM_ON ? IDX_SETUP_MEM_OFF
               : radio == IDX_PORT_OPEN    ? IDX_PORT_CLOSE
                                           : IDX_PORT_OPEN,
               false);
    Cmd(radio);
  }
  void Type(int field, const std::string& text) { d.SetText(field, text); }
  void Choose(int list, int index) {
    d.ListSelect(list, index);
    Cmd(list, 1);
  }
  bool Full() const { return GetParam() == &kNet9; }

  TempDir tmp;
  CmdRig r{*GetParam()};
  RegulatorDialog dlg{r.c};
  FakeDialog d{114};
};

std::string Name(const testing::TestParamInfo<const Variant*>& i) {
  return i.param->program;
}
INSTANTIATE_TEST_SUITE_P(Both, RegulatorTest, testing::Values(&kNet9, &kNet5), Name);

// ---- opening ------------------------------------------------------------

TEST_P(RegulatorTest, OpeningWithThePortClosed) {
  r.link.Close(0);
  r.s.nUartIndex = 2;
  Open();
  EXPECT_EQ(d.texts[IDX_SETUP_NET], "5");
  EXPECT_EQ(d.texts[IDX_SETUP_NEWNET], "5");
  EXPECT_EQ(d.texts[IDX_SETUP_LINK_STATE], kBlanks);
  EXPECT_EQ(d.texts[IDX_SETUP_SERIAL], kBlanks);
  EXPECT_EQ(d.lists[IDX_PORT_LIST].size(), 10u);
  EXPECT_EQ(d.lists[IDX_PORT_LIST][9], "COM10");
  EXPECT_EQ(d.ListSelection(IDX_PORT_LIST), 0);
  EXPECT_EQ(d.lists[IDX_SETUP_SPEED_LIST], (std::vector<std::string>{"9600", "19200", "38400"}));
  EXPECT_EQ(d.ListSelection(IDX_SETUP_SPEED_LIST), 2);
  EXPECT_EQ(d.texts[IDX_SETUP_CHANNEL], "Канал №:0");
  EXPECT_EQ(d.texts[IDX_PORT_STATE], "Порт COM1 закрыт");
  EXPECT_TRUE(d.GetCheck(IDX_PORT_CLOSE));
  EXPECT_FALSE(d.GetCheck(IDX_PORT_OPEN));
  EXPECT_EQ(r.Sent(), 0u);
}

TEST_P(RegulatorTest, OpeningOnAnUnlinkedChannel) {
  r.Ch().svjac = 0;
  Open();
  EXPECT_EQ(d.texts[IDX_PORT_STATE], "Порт 1 открыт");
  EXPECT_TRUE(d.GetCheck(IDX_PORT_OPEN));
  EXPECT_EQ(d.texts[IDX_SETUP_LINK_STATE], "Не установлена");
  for (int id : {IDX_SETUP_SERIAL, IDX_SETUP_MODE, IDX_SETUP_INPUT})
    EXPECT_EQ(d.texts[id], "Не установлен");
  EXPECT_EQ(r.Sent(), 0u);
}

TEST_P(RegulatorTest, OpeningReidentifiesALinkedChannel) {
  r.s.version_KVL = 7;
  r.Ch().n_ofqx = 999;
  r.dev.status1 = 0x03;  // digital input, regulation
  r.dev.status6 = 0x05;  // pressure regulator, alarm
  Open();
  EXPECT_EQ(r.LastFrame(), K({1, 0, 0, 0, 0, 0, 0, 5}));
  EXPECT_EQ(d.texts[IDX_SETUP_LINK_STATE], "Установлена");
  EXPECT_EQ(d.texts[IDX_SETUP_SERIAL], "12345");
  EXPECT_EQ(r.Ch().n_ofqx, 999u);  // shown, not stored
  EXPECT_EQ(r.Ch().svjac, 1);
  EXPECT_EQ(d.texts[IDX_SETUP_MODE], "Регулирование");
  EXPECT_EQ(d.texts[IDX_SETUP_INPUT], "Цифровой");
  EXPECT_EQ(d.texts[IDX_SETUP_STATE], "Авария");
  EXPECT_EQ(d.texts[IDX_SETUP_CAPTION], "Номер ВПЗ");
  EXPECT_FALSE(d.GetCheck(IDX_SETUP_MEM_OFF));
  EXPECT_FALSE(d.GetCheck(IDX_SETUP_MEM_ON));
  EXPECT_EQ(r.s.log.Lines().size(), 1u);
}

TEST_P(RegulatorTest, OpeningOnASilentDeviceUnlinksIt) {
  r.dev.silent = true;
  Open();
  EXPECT_EQ(r.Ch().svjac, 0);
  EXPECT_EQ(d.texts[IDX_SETUP_LINK_STATE], "Не установлена");
  ASSERT_EQ(r.ui.messages.size(), 1u);
  EXPECT_TRUE(IsBox(r.ui.messages[0], "Уточните номер канала", "ErrorSvjac", Owner::kDialog));
  EXPECT_EQ(r.s.log.Lines().size(), 5u);  // time-outs, no answer line
}

// ---- address field ------------------------------------------------------

TEST_P(RegulatorTest, AddressFieldIsCopiedButTakenOnlyWhenLinkAcceptsIt) {
  Open();
  Type(IDX_SETUP_NET, "17");
  EXPECT_EQ(d.texts[IDX_SETUP_NEWNET], "17");
  Type(IDX_SETUP_NET, "x");
  EXPECT_EQ(d.texts[IDX_SETUP_NEWNET], "x");
  d.texts[IDX_SETUP_NET] = "23";  // the field's text, its change not yet told
  Cmd(IDX_SETUP_NET, 0x0100);     // focus, not a change
  EXPECT_EQ(d.texts[IDX_SETUP_NEWNET], "x");
  EXPECT_EQ(r.Ch().net, 5);  // typing alone changes no address
}

// ---- port ---------------------------------------------------------------

TEST_P(RegulatorTest, OpenAndClosePort) {
  r.link.Close(0);
  Open();
  Click(IDX_PORT_OPEN);
  EXPECT_TRUE(r.link.IsOpen(0));
  EXPECT_TRUE(r.link.watched[0]);
  EXPECT_EQ(d.texts[IDX_PORT_STATE], "Порт COM1 открыт");
  EXPECT_EQ(d.texts[IDX_SETUP_NET], "5");
  r.Ch(3).svjac = 1;
  Click(IDX_PORT_CLOSE);
  EXPECT_FALSE(r.link.IsOpen(0));
  EXPECT_EQ(d.texts[IDX_PORT_STATE], "Порт COM1 закрыт");
  EXPECT_FALSE(d.GetCheck(IDX_PORT_OPEN));
  EXPECT_EQ(r.Ch(0).svjac, 0);
  EXPECT_EQ(r.Ch(3).svjac, 0);  // closing the port ends every link
}

TEST_P(RegulatorTest, PortThatCannotBeOpened) {
  r.link.Close(0);
  r.link.failOpen[0] = true;
  Open();
  Click(IDX_PORT_OPEN);
  EXPECT_FALSE(d.GetCheck(IDX_PORT_OPEN));
  EXPECT_EQ(d.texts[IDX_PORT_STATE], "Порта COM1 нет");
  ASSERT_EQ(r.ui.messages.size(), 1u);
  EXPECT_TRUE(IsBox(r.ui.messages[0], "Connection failed.", "Error"));
  EXPECT_EQ(r.ui.messages[0].icon, MsgIcon::kWarning);
}

TEST_P(RegulatorTest, ChoosingAnotherPortClosesTheOldOne) {
  Open();
  Choose(IDX_PORT_LIST, 2);
  EXPECT_EQ(r.s.port0, 2);
  EXPECT_FALSE(r.link.IsOpen(0));
  EXPECT_FALSE(r.link.IsOpen(2));
  EXPECT_EQ(d.texts[IDX_PORT_STATE], "Порт COM1 закрыт");
  EXPECT_EQ(r.Ch().svjac, 0);
  Click(IDX_PORT_OPEN);
  EXPECT_TRUE(r.link.IsOpen(2));
  EXPECT_EQ(d.texts[IDX_PORT_STATE], "Порт COM3 открыт");
}

// ---- linking ------------------------------------------------------------

TEST_P(RegulatorTest, LinkNeedsAnOpenPort) {
  r.link.Close(0);
  Open();
  Cmd(IDX_SETUP_LINK);
  ASSERT_EQ(r.ui.messages.size(), 1u);
  EXPECT_TRUE(IsBox(r.ui.messages[0], "Порт закрыт", "ErrorSvjac", Owner::kDialog));
  EXPECT_EQ(r.Sent(), 0u);
}

TEST_P(RegulatorTest, LinkTakesIdentityFlagsAndFirmwareDate) {
  r.Ch().svjac = 0;
  r.Ch().n_ofqx = 0;
  Open();
  r.dev.status1 = 0x06;  // held open by command, digital input
  r.dev.status6 = 0x04;  // pressure regulator
  Type(IDX_SETUP_NET, "5");
  Cmd(IDX_SETUP_LINK);
  EXPECT_EQ(r.link.written[0].frame, K({1, 0, 0, 0, 0, 0, 0, 5}));
  EXPECT_EQ(r.s.version_KVL, 7u);
  EXPECT_EQ(r.Ch().svjac, 1);
  EXPECT_EQ(r.Ch().n_ofqx, 12345u);
  EXPECT_EQ(r.Ch().pres, 1);
  EXPECT_EQ(d.texts[IDX_SETUP_LINK_STATE], "Установлена");
  EXPECT_EQ(d.texts[IDX_SETUP_SERIAL], "12345");
  EXPECT_EQ(d.texts[IDX_SETUP_CAPTION], "Номер ВПЗ");
  EXPECT_EQ(d.texts[IDX_SETUP_INPUT], "Цифровой");
  EXPECT_EQ(d.texts[IDX_SETUP_STATE], "Норма");
  EXPECT_EQ(r.ui.invalidations, std::vector<bool>{false});
  if (Full()) {
    EXPECT_EQ(d.texts[IDX_SETUP_MODE], "КВЛоткрыт пр.");
    EXPECT_TRUE(d.GetCheck(IDX_SETUP_MEM_ON));  // bit 4 clear: memorising on
    EXPECT_FALSE(d.GetCheck(IDX_SETUP_MEM_OFF));
    ASSERT_EQ(r.Sent(), 2u);
    EXPECT_EQ(r.link.written[1].frame, K({34, 0x24, 0, 0, 0, 0, 0, 5}));
    EXPECT_EQ(d.texts[IDX_SETUP_FIRMWARE], "Дата прошивки: 12-5-15-3");
    EXPECT_EQ(r.Ch().day, 12u);
    EXPECT_EQ(r.Ch().month, 5u);
    EXPECT_EQ(r.Ch().your, 15u);
    EXPECT_EQ(r.Ch().ver, 3u);
    EXPECT_EQ(r.s.log.Lines().size(), 2u);
  } else {
    EXPECT_EQ(d.texts[IDX_SETUP_MODE], "Измерение");
    EXPECT_FALSE(d.GetCheck(IDX_SETUP_MEM_ON));
    EXPECT_EQ(r.Sent(), 1u);
    EXPECT_EQ(d.texts.count(IDX_SETUP_FIRMWARE), 0u);
    EXPECT_EQ(r.s.log.Lines().size(), 1u);
  }
}

TEST_P(RegulatorTest, ModeLineShowsTheLastValveStateThatApplies) {
  if (!Full()) GTEST_SKIP() << "regnet5 shows the mode only";
  Open();
  struct Case {
    uint8_t s1, s6;
    const char* text;
  };
  for (const Case& k : {Case{0x00, 0x00, "Регулирование"}, Case{0x08, 0x00, "КВЛзакрыт пр."},
                        Case{0x0C, 0x00, "КВЛоткрыт пр."}, Case{0x0C, 0x20, "КВЛоткрыт ан."},
                        Case{0x0C, 0x60, "КВЛзакрыт ан."}}) {
    r.dev.status1 = k.s1;
    r.dev.status6 = k.s6;
    Cmd(IDX_SETUP_LINK);
    EXPECT_EQ(d.texts[IDX_SETUP_MODE], k.text) << int(k.s1) << "/" << int(k.s6);
  }
}

TEST_P(RegulatorTest, Regnet5ModeLineFollowsRegulation) {
  if (Full()) GTEST_SKIP() << "regnet9 shows the valve state";
  Open();
  r.dev.status1 = 0x01;
  Cmd(IDX_SETUP_LINK);
  EXPECT_EQ(d.texts[IDX_SETUP_MODE], "Регулирование");
}

TEST_P(RegulatorTest, FailedLinkIsLoggedAndUnlinks) {
  Open();
  r.dev.silent = true;
  const size_t before = r.s.log.Lines().size();
  Cmd(IDX_SETUP_LINK);
  EXPECT_EQ(r.Ch().svjac, 0);
  EXPECT_EQ(d.texts[IDX_SETUP_LINK_STATE], "Не установлена");
  EXPECT_EQ(d.texts[IDX_SETUP_SERIAL], "Не установлен");
  EXPECT_EQ(r.s.log.Lines().size() - before, 6u);
  EXPECT_TRUE(r.ui.messages.empty());
}

TEST_P(RegulatorTest, LinkInModbusReadsNoFirmwareDate) {
  r.Modbus();
  Open();
  d.SetText(IDX_SETUP_FIRMWARE, "Дата прошивки: 1-2-3-4");
  r.s.version_KVL = 0;
  Cmd(IDX_SETUP_LINK);
  EXPECT_EQ(r.LastFrame(), M({5, 3, 0, 1, 0, 3}));
  EXPECT_EQ(r.Ch().svjac, 1);
  EXPECT_EQ(r.s.version_KVL, 7u);  // the translation's format byte
  EXPECT_EQ(d.texts[IDX_SETUP_FIRMWARE], "Дата прошивки: 1-2-3-4");
}

TEST_P(RegulatorTest, SilentFirmwareDateIsReported) {
  if (!Full()) GTEST_SKIP() << "regnet5 has no firmware date";
  Open();
  r.dev.silentCodes = {CMD_DATE};
  const size_t before = r.s.log.Lines().size();
  Cmd(IDX_SETUP_LINK);
  EXPECT_EQ(r.Ch().svjac, 1);
  ASSERT_EQ(r.ui.messages.size(), 1u);
  EXPECT_TRUE(IsBox(r.ui.messages[0], "Дата программы не установлена", "ErrorSvjac"));
  EXPECT_EQ(r.s.log.Lines().size() - before, 7u);  // identify, 5 time-outs, empty answer
}

TEST_P(RegulatorTest, LinkRefusesAddressesTheLineCannotCarry) {
  Open();
  ASSERT_EQ(r.Ch().svjac, 1);
  const size_t sent = r.Sent();
  for (const char* t : {"300", "255", "abc"}) {
    r.ui.messages.clear();
    d.SetText(IDX_SETUP_NET, t);
    Cmd(IDX_SETUP_LINK);
    ASSERT_EQ(r.ui.messages.size(), 1u) << t;
    EXPECT_TRUE(
        IsBox(r.ui.messages[0], "Номер сети вне допустимого диапазона(0-254)", "Ошибка ввода"));
  }
  EXPECT_EQ(r.Sent(), sent);
  // The refused text never became the channel's address: it stays linked and
  // is polled and saved at the address it had.
  EXPECT_EQ(r.Ch().net, 5);
  EXPECT_EQ(r.Ch().svjac, 1);
  Cmd(kIdOk);
  ChannelTable saved(*GetParam());
  ASSERT_TRUE(LoadConfiguration(saved, r.s.configPath).messages.empty());
  EXPECT_EQ(saved.Data[0].net, 5);
  // Address 0 is a device address like any other here; an empty field is 0.
  r.dev.addr = 0;
  for (const char* t : {"0", ""}) {
    r.Ch().svjac = 0;
    d.SetText(IDX_SETUP_NET, t);
    Cmd(IDX_SETUP_LINK);
    EXPECT_EQ(r.Ch().svjac, 1) << t;
    EXPECT_EQ(r.Ch().net, 0) << t;
  }
}

// ---- address query ------------------------------------------------------

TEST_P(RegulatorTest, QueryFindsTheSingleDevice) {
  r.Ch().svjac = 0;
  r.Ch().net = 9;
  Open();
  r.dev.format = 4;
  Cmd(IDX_SETUP_QUERY);
  ASSERT_GE(r.ui.messages.size(), 1u);
  EXPECT_TRUE(
      IsBox(r.ui.messages[0], "Оставьте подключенным один регулятор.Продолжить?", "Внимание"));
  EXPECT_EQ(r.ui.messages[0].buttons, MsgButtons::kOk);
  EXPECT_EQ(r.LastFrame(), K({2, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(r.Ch().net, 5);
  EXPECT_EQ(d.texts[IDX_SETUP_NET], "5");
  EXPECT_EQ(d.texts[IDX_SETUP_NEWNET], "5");
  EXPECT_EQ(d.texts[IDX_SETUP_SERIAL], "12345");
  EXPECT_EQ(r.s.version_KVL, 4u);
  EXPECT_EQ(r.Ch().svjac, 0);  // not linked until "Установить связь"
  EXPECT_EQ(r.s.log.Lines().size(), 1u);
}

TEST_P(RegulatorTest, QueryAsksEvenWhenTheOperatorCancels) {
  Open();
  r.ui.answers = {kIdCancel};
  r.dev.silent = true;
  Cmd(IDX_SETUP_QUERY);
  EXPECT_EQ(r.Sent(), 6u);  // identify on opening and five attempts
  EXPECT_EQ(r.ui.Texts().back(), "No answer?com?");
  EXPECT_EQ(r.ui.messages.back().caption, "com[0]=2");
}

TEST_P(RegulatorTest, QueryWithThePortClosed) {
  r.link.Close(0);
  Open();
  Cmd(IDX_SETUP_QUERY);
  EXPECT_EQ(r.ui.Texts(), (std::vector<std::string>{
                              "Оставьте подключенным один регулятор.Продолжить?", "Порт закрыт"}));
  EXPECT_EQ(r.Sent(), 0u);
}

TEST_P(RegulatorTest, QueryInModbus) {
  r.Modbus();
  r.Ch().svjac = 0;
  Open();
  Cmd(IDX_SETUP_QUERY);
  EXPECT_EQ(r.LastFrame(), M({0, 3, 0, 0, 0, 2}));
  EXPECT_EQ(r.Ch().net, 5);
  EXPECT_EQ(r.s.version_KVL, 3u);  // the function code stands in for the format
}

// ---- speed --------------------------------------------------------------

TEST_P(RegulatorTest, SpeedChangeGoesToTheDeviceThenTheComputer) {
  Open();
  struct Case {
    int index;
    uint8_t code;
    const char* shown;
  };
  for (const Case& k : {Case{2, 1, "2:38400"}, Case{0, 0, "0:9600"}, Case{1, 15, "1:19200"}}) {
    Choose(IDX_SETUP_SPEED_LIST, k.index);
    EXPECT_EQ(r.LastFrame(), K({22, 0, k.code, 0, 0, 0, 0, 5}));
    EXPECT_EQ(r.s.nUartIndex, k.index);
    EXPECT_EQ(r.link.speed[0], k.index);
    EXPECT_EQ(d.texts[IDX_SETUP_CHANNEL], k.shown);
    EXPECT_EQ(d.ListSelection(IDX_SETUP_SPEED_LIST), k.index);
  }
  EXPECT_TRUE(r.ui.messages.empty());
}

TEST_P(RegulatorTest, TheDevicesAnswerDecidesTheSpeed) {
  Open();
  r.dev.speedAnswer = 0;
  Choose(IDX_SETUP_SPEED_LIST, 2);
  EXPECT_EQ(r.s.nUartIndex, 0);
  EXPECT_EQ(r.link.speed[0], 0);
  EXPECT_EQ(d.ListSelection(IDX_SETUP_SPEED_LIST), 0);
  EXPECT_EQ(d.texts[IDX_SETUP_CHANNEL], "0:9600");
}

TEST_P(RegulatorTest, UnconfirmedSpeedChangeStillSwitchesTheComputer) {
  Open();
  r.dev.silent = true;
  Choose(IDX_SETUP_SPEED_LIST, 2);
  ASSERT_EQ(r.ui.messages.size(), 1u);
  EXPECT_TRUE(IsBox(r.ui.messages[0], "No \xD1\x81hange speed in KVL", "Связь"));
  EXPECT_EQ(r.s.nUartIndex, 2);
  EXPECT_EQ(r.link.speed[0], 2);
  EXPECT_EQ(d.texts[IDX_SETUP_CHANNEL], "2:38400");
}

TEST_P(RegulatorTest, ComputerPortRefusingTheSpeed) {
  Open();
  r.link.failSpeed[0] = true;
  Choose(IDX_SETUP_SPEED_LIST, 0);
  EXPECT_EQ(r.ui.Texts(), std::vector<std::string>{"No set new speed in comp."});
  EXPECT_EQ(r.s.nUartIndex, 0);
}

TEST_P(RegulatorTest, SpeedChangeWithThePortClosedIsRefused) {
  r.link.Close(0);
  Open();
  Choose(IDX_SETUP_SPEED_LIST, 2);
  EXPECT_EQ(r.ui.Texts(), std::vector<std::string>{"Порт закрыт"});
  EXPECT_EQ(r.Sent(), 0u);
  EXPECT_EQ(r.s.nUartIndex, 1);
  EXPECT_EQ(d.ListSelection(IDX_SETUP_SPEED_LIST), 1);
}

TEST_P(RegulatorTest, SpeedChangeInModbus) {
  r.Modbus();
  Open();
  Choose(IDX_SETUP_SPEED_LIST, 2);
  EXPECT_EQ(r.LastFrame(), M({5, 6, 0, 6, 0, 1}));
  EXPECT_EQ(r.s.nUartIndex, 2);
  EXPECT_EQ(r.link.speed[0], 2);
}

// ---- address change -----------------------------------------------------

TEST_P(RegulatorTest, AddressChange) {
  Open();
  d.SetText(IDX_SETUP_NEWNET, "17");
  Cmd(IDX_SETUP_CHANGE);
  EXPECT_EQ(r.ui.Texts(),
            std::vector<std::string>{"Оставьте подключенным один регулятор.Продолжить?"});
  EXPECT_EQ(r.LastFrame(), K({27, 0, 17, 0, 0, 0, 0, 5}));
  EXPECT_EQ(r.Ch().net, 17);
  EXPECT_EQ(d.texts[IDX_SETUP_NET], "17");
  EXPECT_EQ(r.dev.addr, 17);
  // The device answers at its new address.
  Cmd(IDX_SETUP_LINK);
  EXPECT_EQ(r.Ch().svjac, 1);
}

TEST_P(RegulatorTest, AddressChangeRefusals) {
  Open();
  const size_t sent = r.Sent();
  d.SetText(IDX_SETUP_NEWNET, "300");
  Cmd(IDX_SETUP_CHANGE);
  EXPECT_EQ(r.ui.Texts().back(), "Номер сети вне допустимого диапазона(0-254)");
  r.Ch().svjac = 0;
  d.SetText(IDX_SETUP_NEWNET, "17");
  Cmd(IDX_SETUP_CHANGE);
  EXPECT_EQ(r.ui.Texts().back(), "Уточните номер канала");
  r.link.Close(0);
  Cmd(IDX_SETUP_CHANGE);
  EXPECT_EQ(r.ui.Texts().back(), "Порт закрыт");
  EXPECT_EQ(r.Sent(), sent);
  EXPECT_EQ(r.Ch().net, 5);
}

TEST_P(RegulatorTest, SilentAddressChangeKeepsTheAddress) {
  Open();
  r.dev.silent = true;
  d.SetText(IDX_SETUP_NEWNET, "17");
  Cmd(IDX_SETUP_CHANGE);
  EXPECT_EQ(r.ui.Texts().back(), "записi net");
  EXPECT_EQ(r.ui.messages.back().caption, "SvjacBlock");
  EXPECT_EQ(r.Ch().net, 5);
  EXPECT_EQ(d.texts[IDX_SETUP_NET], "5");
}

TEST_P(RegulatorTest, AddressChangeInModbus) {
  r.Modbus();
  Open();
  d.SetText(IDX_SETUP_NEWNET, "17");
  Cmd(IDX_SETUP_CHANGE);
  EXPECT_EQ(r.LastFrame(), M({5, 6, 0, 0, 0, 17}));
  EXPECT_EQ(r.Ch().net, 17);
}

// ---- mode memorising ----------------------------------------------------

TEST_P(RegulatorTest, MemorisingOffAndOn) {
  Open();
  r.Ch().rasre = 1;
  Click(IDX_SETUP_MEM_OFF);
  EXPECT_EQ(r.LastFrame(), K({31, 1, 0, 0, 0, 0, 0, 5}));
  EXPECT_TRUE(d.GetCheck(IDX_SETUP_MEM_OFF));
  EXPECT_FALSE(d.GetCheck(IDX_SETUP_MEM_ON));
  EXPECT_EQ(r.Ch().rasre, Full() ? 0 : 1);  // regnet5 has nowhere to keep it
  Click(IDX_SETUP_MEM_ON);
  EXPECT_EQ(r.LastFrame(), K({31, 0, 0, 0, 0, 0, 0, 5}));
  EXPECT_TRUE(d.GetCheck(IDX_SETUP_MEM_ON));
  EXPECT_EQ(r.Ch().rasre, 1);
  EXPECT_EQ(r.s.log.Lines().size(), 3u);
}

TEST_P(RegulatorTest, FailedMemorisingPutsTheButtonsBack) {
  Open();
  Cmd(IDX_SETUP_LINK);  // shows memorising on (newer layout, bit 4 clear) in regnet9
  const bool onBefore = d.GetCheck(IDX_SETUP_MEM_ON), offBefore = d.GetCheck(IDX_SETUP_MEM_OFF);
  const int rasre = r.Ch().rasre;
  r.dev.silent = true;
  Click(IDX_SETUP_MEM_OFF);
  EXPECT_EQ(r.ui.Texts().back(), "No \xD1\x81hange rasre");
  EXPECT_EQ(r.ui.messages.back().caption, "Разрешение");
  EXPECT_EQ(d.GetCheck(IDX_SETUP_MEM_ON), onBefore);
  EXPECT_EQ(d.GetCheck(IDX_SETUP_MEM_OFF), offBefore);
  EXPECT_EQ(r.Ch().rasre, rasre);
}

TEST_P(RegulatorTest, MemorisingNeedsPortAndLink) {
  Open();
  r.Ch().svjac = 0;
  Click(IDX_SETUP_MEM_ON);
  EXPECT_EQ(r.ui.Texts().back(), "Уточните номер канала");
  EXPECT_FALSE(d.GetCheck(IDX_SETUP_MEM_ON));
  r.link.Close(0);
  Click(IDX_SETUP_MEM_OFF);
  EXPECT_EQ(r.ui.Texts().back(), "Порт закрыт");
  EXPECT_FALSE(d.GetCheck(IDX_SETUP_MEM_OFF));
  EXPECT_EQ(r.Sent(), 1u);  // the identify on opening only
}

TEST_P(RegulatorTest, MemorisingInModbusWritesCoilFour) {
  r.Modbus();
  Open();
  Click(IDX_SETUP_MEM_OFF);
  EXPECT_EQ(r.LastFrame(), M({5, 0x0F, 0, 4, 0, 1, 1, 1}));
  EXPECT_TRUE(d.GetCheck(IDX_SETUP_MEM_OFF));
}

// ---- leaving ------------------------------------------------------------

TEST_P(RegulatorTest, OkInsertsTheMenuItemAndSaves) {
  Open();
  Cmd(kIdOk);
  EXPECT_TRUE(d.ended);
  EXPECT_EQ(d.endResult, 1);
  ASSERT_EQ(r.ui.menuInserted.size(), 1u);
  EXPECT_EQ(r.ui.menuInserted[0].id, 836);
  EXPECT_EQ(r.ui.menuInserted[0].position, 7);
  EXPECT_EQ(r.ui.menuInserted[0].text, "Вывести на экран");
  EXPECT_EQ(std::filesystem::file_size(r.s.configPath), GetParam()->FileSize());
  // A second OK inserts no second item and saves again.
  std::filesystem::remove(r.s.configPath);
  Cmd(kIdOk);
  EXPECT_EQ(r.ui.menuInserted.size(), 1u);
  EXPECT_TRUE(std::filesystem::exists(r.s.configPath));
}

TEST_P(RegulatorTest, OkWithoutALinkRemovesTheItem) {
  r.s.f_menu_kanal = 1;
  r.Ch().svjac = 0;
  Open();
  Cmd(kIdOk);
  EXPECT_EQ(r.ui.menuRemoved, std::vector<int>{7});
  EXPECT_EQ(r.s.f_menu_kanal, 0);
  EXPECT_TRUE(std::filesystem::exists(r.s.configPath));
}

TEST_P(RegulatorTest, EscapeAndCloseBoxLeaveWithoutSaving) {
  Open();
  Cmd(kIdCancel);
  EXPECT_TRUE(d.ended);
  EXPECT_EQ(d.endResult, 1);
  FakeDialog d2{114};
  dlg.OnInit(d2);
  dlg.OnClose(d2);
  EXPECT_TRUE(d2.ended);
  EXPECT_FALSE(std::filesystem::exists(r.s.configPath));
  EXPECT_TRUE(r.ui.menuInserted.empty());
}

TEST_P(RegulatorTest, CommandsFollowTheActiveChannel) {
  Open();
  r.s.table.cnl2 = 2;  // changed in the monitor window meanwhile
  r.Ch(2).net = 77;
  Cmd(IDX_SETUP_QUERY);
  EXPECT_EQ(r.Ch(2).net, 5);
  EXPECT_EQ(r.Ch(0).net, 5);
  Cmd(IDX_SETUP_LINK);
  EXPECT_EQ(r.Ch(2).svjac, 1);
}

}  // namespace
}  // namespace kvl::test
