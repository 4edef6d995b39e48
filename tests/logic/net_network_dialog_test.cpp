// The network formation dialog against the fake view and a scripted line.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "logic/net_fixture.h"
#include "setup/network_dialog.h"

namespace kvl::test {
namespace {

class NetworkDialogTest : public testing::TestWithParam<const Variant*> {
 protected:
  void SetUp() override { rig.Start(); }
  // Opens the dialog (OnInit) and keeps it for the test to operate.
  FakeDialog& Open() {
    dialogs.push_back(std::make_unique<FakeDialog>(122));
    logic.OnInit(*dialogs.back());
    return *dialogs.back();
  }
  void Press(FakeDialog& d, int id, int code = 0) { logic.OnCommand(d, id, code); }
  int Line(int ch) const { return ChannelLineId(*GetParam(), ch); }
  int Channels() const { return GetParam()->channels; }

  NetRig rig{*GetParam()};
  NetworkDialog logic{rig.C()};
  std::vector<std::unique_ptr<FakeDialog>> dialogs;
};

TEST_P(NetworkDialogTest, OpeningWithTheClosedPortKeepsTheResourceLines) {
  rig.T().Data[0].net = 42;
  rig.S().port0 = 2;
  FakeDialog& d = Open();
  EXPECT_EQ(d.texts.at(IDX_NET_ADDRESS), "42");
  ASSERT_EQ(d.lists.at(IDX_PORT_LIST).size(), 10u);
  EXPECT_EQ(d.lists.at(IDX_PORT_LIST)[9], "COM10");
  EXPECT_EQ(d.ListSelection(IDX_PORT_LIST), 2);
  ASSERT_EQ(d.lists.at(IDX_NET_CHANNEL_LIST).size(), static_cast<size_t>(Channels()));
  EXPECT_EQ(d.lists.at(IDX_NET_CHANNEL_LIST).back(), std::to_string(Channels() - 1));
  EXPECT_EQ(d.ListSelection(IDX_NET_CHANNEL_LIST), 0);
  EXPECT_EQ(d.texts.at(IDX_PORT_STATE), "Порт COM3 закрыт");
  EXPECT_TRUE(d.GetCheck(IDX_PORT_CLOSE));
  for (int ch = 0; ch < Channels(); ++ch) EXPECT_EQ(d.texts.count(Line(ch)), 0u);
  EXPECT_TRUE(rig.link.written.empty());
}

TEST_P(NetworkDialogTest, OpeningWithTheOpenPortReidentifiesLinkedChannels) {
  rig.OpenPort();
  rig.Link(1, 17, 12345);
  rig.Link(2, 18, 555);
  rig.line.devices[17].status6 = 0x04;  // works as ВПЗ
  rig.line.devices[18].silent = true;
  rig.S().version_KVL = 7;
  FakeDialog& d = Open();
  EXPECT_EQ(d.texts.at(IDX_PORT_STATE), "Порт 1 открыт");
  EXPECT_TRUE(d.GetCheck(IDX_PORT_OPEN));
  EXPECT_EQ(d.texts.at(Line(0)), "Кан.0. Связь не установлена Сет.№");
  EXPECT_EQ(d.texts.at(Line(1)), "Кан.1.ВПЗ №12345 Сет.№17 Вход:аналог.Режим:измерение");
  EXPECT_EQ(rig.T().Data[1].svjac, 1);
  EXPECT_EQ(d.texts.at(Line(2)), "Кан.2. Связь не установлена Сет.№");
  EXPECT_EQ(rig.T().Data[2].svjac, 0);
  // Only the linked channels were asked; the failed one is logged as well.
  EXPECT_EQ(rig.line.asked, (std::vector<int>{17, 18, 18, 18, 18, 18}));
  EXPECT_EQ(rig.S().log.Lines().back(), "0;0;0-0;0-0;0-0;0-0;0;0");
}

TEST_P(NetworkDialogTest, OpenAndClosePort) {
  rig.S().port0 = 2;
  FakeDialog& d = Open();
  rig.link.failOpen[2] = true;
  d.SetCheck(IDX_PORT_OPEN, true);
  Press(d, IDX_PORT_OPEN);
  EXPECT_FALSE(d.GetCheck(IDX_PORT_OPEN));
  EXPECT_EQ(d.texts.at(IDX_PORT_STATE), "Порта COM3 нет");
  ASSERT_EQ(rig.ui.messages.size(), 1u);
  EXPECT_TRUE(IsBox(rig.ui.messages[0], "Порта COM3 нет", "Error"));
  EXPECT_EQ(rig.ui.messages[0].icon, MsgIcon::kWarning);
  EXPECT_EQ(rig.ui.messages[0].owner, Owner::kDialog);

  rig.link.failOpen[2] = false;
  d.SetCheck(IDX_PORT_OPEN, true);
  Press(d, IDX_PORT_OPEN);
  EXPECT_TRUE(rig.link.IsOpen(2));
  EXPECT_TRUE(rig.link.watched[2]);
  EXPECT_EQ(d.texts.at(IDX_PORT_STATE), "Порт COM3 открыт");
  EXPECT_TRUE(rig.ui.Enabled(40048));
  EXPECT_FALSE(rig.ui.Enabled(256));
  Press(d, IDX_PORT_OPEN);  // already open: nothing more
  EXPECT_EQ(rig.link.opens, 1);

  rig.Link(0, 5);
  rig.ui.menuEnabled.clear();
  d.SetCheck(IDX_PORT_CLOSE, true);
  Press(d, IDX_PORT_CLOSE);
  EXPECT_FALSE(rig.link.IsOpen(2));
  EXPECT_FALSE(d.GetCheck(IDX_PORT_OPEN));
  EXPECT_EQ(d.texts.at(IDX_PORT_STATE), "Порт COM3 закрыт");
  EXPECT_EQ(rig.T().FirstLinked(), -1);
  for (int ch = 0; ch < Channels(); ++ch)
    EXPECT_EQ(d.texts.at(Line(ch)), "Кан." + std::to_string(ch) + ". Связь не установлена Сет.№");
  // The dialog has no menu: closing from it greys nothing.
  EXPECT_TRUE(rig.ui.menuEnabled.empty());
}

TEST_P(NetworkDialogTest, ClosePortClearsLinksAlsoWhenAlreadyClosed) {
  FakeDialog& d = Open();
  rig.Link(1, 5);
  d.SetCheck(IDX_PORT_CLOSE, true);
  Press(d, IDX_PORT_CLOSE);
  EXPECT_EQ(rig.T().FirstLinked(), -1);
  EXPECT_EQ(d.texts.at(Line(1)), "Кан.1. Связь не установлена Сет.№");
}

TEST_P(NetworkDialogTest, ChoosingAnotherPortClosesTheOpenOneAndOpensNothing) {
  rig.OpenPort();
  rig.Link(0, 5);
  FakeDialog& d = Open();
  d.ListSelect(IDX_PORT_LIST, 4);
  Press(d, IDX_PORT_LIST, 0);  // not a selection change: ignored
  EXPECT_EQ(rig.S().port0, 0);
  Press(d, IDX_PORT_LIST, 1);
  EXPECT_EQ(rig.S().port0, 4);
  EXPECT_FALSE(rig.link.IsOpen(0));
  EXPECT_FALSE(rig.link.IsOpen(4));
  EXPECT_FALSE(d.GetCheck(IDX_PORT_OPEN));
  EXPECT_EQ(d.texts.at(IDX_PORT_STATE), "Порт COM1 закрыт");
  EXPECT_EQ(rig.T().FirstLinked(), -1);
}

TEST_P(NetworkDialogTest, RegisterIdentifiesTheChosenChannel) {
  rig.OpenPort();
  rig.T().Data[2].net = 9;
  auto& dev = rig.line.devices[17];
  dev.serial = 12345;
  dev.status1 = 0x02;  // digital input, newer layout
  dev.status6 = 0x00;
  dev.format = 6;
  FakeDialog& d = Open();
  d.ListSelect(IDX_NET_CHANNEL_LIST, 2);
  Press(d, IDX_NET_CHANNEL_LIST, 1);
  EXPECT_EQ(rig.S().canal, 2);
  EXPECT_EQ(d.texts.at(IDX_NET_ADDRESS), "9");
  d.SetText(IDX_NET_ADDRESS, "17");
  rig.T().Data[2].regu = 1;  // kept: a clear bit 0 does not switch to measurement
  Press(d, IDX_NET_REGISTER);
  EXPECT_EQ(rig.line.asked.back(), 17);
  EXPECT_EQ(rig.line.codes.back(), CMD_IDENT);
  const tagData& t = rig.T().Data[2];
  EXPECT_EQ(t.net, 17);
  EXPECT_EQ(t.svjac, 1);
  EXPECT_EQ(t.n_ofqx, 12345u);
  EXPECT_EQ(t.zifra, 1);
  EXPECT_EQ(rig.S().version_KVL, 6u);
  EXPECT_EQ(d.texts.at(IDX_NET_RESULT), "Установлена");
  EXPECT_EQ(d.texts.at(Line(2)), "Кан.2.КВЛ №12345 Сет.№17 Вход:цифровойРежим:регул.");
  EXPECT_EQ(rig.S().log.Lines().size(), 1u);

  // A device that does not answer: placeholder with the address, nothing logged.
  d.SetText(IDX_NET_ADDRESS, "18");
  Press(d, IDX_NET_REGISTER);
  EXPECT_EQ(rig.T().Data[2].svjac, 0);
  EXPECT_EQ(rig.T().Data[2].net, 18);
  EXPECT_EQ(d.texts.at(IDX_NET_RESULT), "Не установлена");
  EXPECT_EQ(d.texts.at(Line(2)), "Кан.2. Связь не установлена Сет.№18");
  EXPECT_EQ(rig.S().log.Lines().size(), 1u + 5u);  // the five time-out lines only
  EXPECT_TRUE(rig.ui.messages.empty());
}

TEST_P(NetworkDialogTest, RegisterRefusesAddressesOutOfRangeAndDoesNotKeepThem) {
  rig.OpenPort();
  rig.Link(0, 7);
  FakeDialog& d = Open();
  rig.line.asked.clear();
  for (const char* typed : {"0", "255", "", "abc", "-3", "999999999"}) {
    d.SetText(IDX_NET_ADDRESS, typed);
    Press(d, IDX_NET_REGISTER);
  }
  EXPECT_TRUE(rig.line.asked.empty());
  ASSERT_EQ(rig.ui.messages.size(), 6u);
  EXPECT_TRUE(
      IsBox(rig.ui.messages[0], "Номер сети вне допустимого диапазона(1-254)", "Ошибка ввода"));
  // The linked channel keeps its address and its link.
  EXPECT_EQ(rig.T().Data[0].net, 7);
  EXPECT_EQ(rig.T().Data[0].svjac, 1);
  // Leading digits count; the field is read up to 9 characters.
  d.SetText(IDX_NET_ADDRESS, "0000000254");
  Press(d, IDX_NET_REGISTER);
  EXPECT_EQ(rig.T().Data[0].net, 25);
  EXPECT_EQ(rig.line.asked, (std::vector<int>{25, 25, 25, 25, 25}));
}

TEST_P(NetworkDialogTest, RegisterAndCheckRefuseAClosedPort) {
  FakeDialog& d = Open();
  for (int button : {IDX_NET_REGISTER, IDX_NET_CHECK}) {
    rig.ui.messages.clear();
    d.texts.clear();
    d.SetCheck(IDX_PORT_OPEN, true);
    Press(d, button);
    ASSERT_EQ(rig.ui.messages.size(), 1u);
    EXPECT_TRUE(IsBox(rig.ui.messages[0], "Порт закрыт", "ErrorSvjac", Owner::kDialog));
    EXPECT_TRUE(d.GetCheck(IDX_PORT_CLOSE));
    EXPECT_FALSE(d.GetCheck(IDX_PORT_OPEN));
    EXPECT_EQ(d.texts.at(IDX_PORT_STATE), "Порт COM1 закрыт");
    EXPECT_EQ(d.texts.at(Line(Channels() - 1)),
              "Кан." + std::to_string(Channels() - 1) + ". Связь не установлена Сет.№");
  }
  EXPECT_TRUE(rig.link.written.empty());
  EXPECT_EQ(rig.ui.waitCursor, 0);
}

TEST_P(NetworkDialogTest, CheckAllQueriesEveryChannelIncludingAddressZero) {
  rig.OpenPort();
  rig.T().Data[1].net = 30;
  rig.T().Data[3].net = 31;
  rig.line.devices[30].serial = 3000;
  rig.line.devices[0].serial = 7;
  rig.line.devices[31].status6 = 0x04;
  FakeDialog& d = Open();
  rig.line.asked.clear();
  std::vector<std::string> progress;
  rig.ui.onPause = [&](unsigned) {
    progress.push_back(d.texts[IDX_NET_PROGRESS] + "/" + std::to_string(rig.ui.waitCursor));
  };
  Press(d, IDX_NET_CHECK);
  EXPECT_EQ(progress, (std::vector<std::string>{"Идет проверка/1", "Проверка завершена/1"}));
  // Every channel is asked; unanswered ones five times each.
  EXPECT_EQ(rig.line.asked.size(), static_cast<size_t>(Channels()));  // all answer
  EXPECT_EQ(rig.line.asked[1], 30);
  EXPECT_EQ(rig.line.asked[0], 0);
  EXPECT_EQ(rig.T().FirstLinked(), 0);
  EXPECT_EQ(rig.T().Data[0].n_ofqx, 7u);
  EXPECT_EQ(d.texts.at(Line(1)), "Кан.1.КВЛ №3000 Сет.№30 Вход:аналог.Режим:измерение");
  EXPECT_EQ(d.texts.at(Line(3)), "Кан.3.ВПЗ №12345 Сет.№31 Вход:аналог.Режим:измерение");
  EXPECT_EQ(d.texts.at(IDX_NET_PROGRESS), "   ");
  EXPECT_EQ(rig.ui.pauses, (std::vector<unsigned>{500, 1000}));
  EXPECT_EQ(rig.ui.waitCursor, 0);
  EXPECT_EQ(rig.ui.waitCursor, 0);

  rig.line.devices.erase(0);
  Press(d, IDX_NET_CHECK);
  EXPECT_EQ(rig.T().Data[0].svjac, 0);
  EXPECT_EQ(d.texts.at(Line(0)), "Кан.0. Связь не установлена Сет.№0");
  EXPECT_EQ(rig.T().Data[1].svjac, 1);
}

TEST_P(NetworkDialogTest, CheckAllInModbus) {
  rig.OpenPort();
  rig.T().Data[0].net = 30;
  rig.line.devices[30].serial = 0x1234;
  rig.line.devices[30].status1 = 0x02;
  FakeDialog& d = Open();
  SelectModbus(rig.S().rq);
  Press(d, IDX_NET_CHECK);
  EXPECT_EQ(rig.T().Data[0].svjac, 1);
  EXPECT_EQ(rig.T().Data[0].n_ofqx, 0x1234u);
  EXPECT_EQ(rig.T().Data[0].zifra, 1);
  EXPECT_EQ(rig.link.written[0].frame.size(), 8u);
  EXPECT_EQ(rig.link.written[0].frame[0], 30);
}

TEST_P(NetworkDialogTest, SaveWritesTheTableWithThePortAndSaysSo) {
  rig.S().port0 = 3;
  rig.T().Data[2].net = 77;
  FakeDialog& d = Open();
  std::vector<std::string> progress;
  rig.ui.onPause = [&](unsigned) { progress.push_back(d.texts[IDX_NET_PROGRESS]); };
  Press(d, IDX_NET_SAVE);
  EXPECT_EQ(progress, (std::vector<std::string>{"Конфигурация сохранена"}));
  EXPECT_TRUE(rig.ui.messages.empty());
  EXPECT_EQ(rig.ui.pauses, (std::vector<unsigned>{1000}));
  EXPECT_EQ(d.texts.at(IDX_NET_PROGRESS), "");

  std::ifstream f(rig.S().configPath, std::ios::binary);
  std::vector<uint8_t> img((std::istreambuf_iterator<char>(f)), {});
  ASSERT_EQ(img.size(), GetParam()->FileSize());
  ChannelTable back(*GetParam());
  DecodeTable(back, img.data(), img.size());
  EXPECT_EQ(back.Data[0].comm, 3u);
  EXPECT_EQ(back.Data[2].net, 77);

  // The next start restores port and addresses, with no channel linked.
  NetRig next(*GetParam());
  next.prog->State().configPath = rig.S().configPath;
  ASSERT_TRUE(next.prog->OnCreate());
  EXPECT_EQ(next.S().port0, 3);
  EXPECT_EQ(next.T().Data[2].net, 77);
  EXPECT_EQ(next.T().FirstLinked(), -1);
}

TEST_P(NetworkDialogTest, SaveFailureIsShownAndNotReportedAsSaved) {
  rig.S().configPath = rig.dir.File("missing-dir/KVL.icx");
  FakeDialog& d = Open();
  std::vector<std::string> progress;
  rig.ui.onPause = [&](unsigned) { progress.push_back(d.texts[IDX_NET_PROGRESS]); };
  Press(d, IDX_NET_SAVE);
  EXPECT_EQ(progress, (std::vector<std::string>{"Конфигурация не сохранена"}));
  ASSERT_EQ(rig.ui.messages.size(), 2u);
  EXPECT_EQ(rig.ui.messages[0].text, "Не могу открыть файл KVL.ini в текущей директории");
  EXPECT_EQ(rig.ui.messages[1].text, "Не пишет");
  EXPECT_EQ(rig.ui.messages[1].owner, Owner::kDialog);
  EXPECT_EQ(rig.ui.pauses, (std::vector<unsigned>{1000}));
}

TEST_P(NetworkDialogTest, OkInsertsTheShowItemOnceAndMovesTheActiveChannel) {
  rig.OpenPort();
  rig.T().cnl2 = 0;
  for (int round = 0; round < 2; ++round) {
    FakeDialog& d = Open();
    rig.Link(2, 5);
    Press(d, kIdOk);
    EXPECT_TRUE(d.ended);
    EXPECT_EQ(d.endResult, 1);
  }
  ASSERT_EQ(rig.ui.menuInserted.size(), 1u);
  EXPECT_EQ(rig.ui.menuInserted[0].position, 7);
  EXPECT_EQ(rig.ui.menuInserted[0].id, 836);
  EXPECT_EQ(rig.ui.menuInserted[0].text, "Вывести на экран");
  EXPECT_EQ(rig.T().cnl2, 2);
  // OK does not write the file: the stored address of channel 2 is still 0.
  ChannelTable stored(*GetParam());
  LoadConfiguration(stored, rig.S().configPath);
  EXPECT_EQ(stored.Data[2].net, 0);
}

TEST_P(NetworkDialogTest, CancelLeavesMenuAndActiveChannel) {
  rig.OpenPort();
  rig.T().cnl2 = 0;
  FakeDialog& d = Open();
  rig.Link(3, 5);
  Press(d, kIdCancel);
  EXPECT_TRUE(d.ended);
  EXPECT_EQ(rig.T().cnl2, 0);
  EXPECT_TRUE(rig.ui.menuInserted.empty());
}

TEST_P(NetworkDialogTest, CloseBoxRemovesButNeverInserts) {
  rig.OpenPort();
  FakeDialog& d = Open();
  rig.Link(1, 5);
  logic.OnClose(d);
  EXPECT_TRUE(d.ended);
  EXPECT_TRUE(rig.ui.menuInserted.empty());
  EXPECT_EQ(rig.T().cnl2, 1);

  rig.S().f_menu_kanal = 1;
  rig.T().UnlinkAll();
  rig.ui.failMenuRemove = true;
  FakeDialog& d2 = Open();
  logic.OnClose(d2);
  EXPECT_EQ(rig.S().f_menu_kanal, 1);
  ASSERT_EQ(rig.ui.messages.size(), 1u);
  EXPECT_TRUE(IsBox(rig.ui.messages[0], "Нет связи", "List"));
  rig.ui.failMenuRemove = false;
  logic.OnClose(d2);
  EXPECT_EQ(rig.S().f_menu_kanal, 0);
  EXPECT_EQ(rig.ui.menuRemoved, (std::vector<int>{7}));
}

TEST_P(NetworkDialogTest, OpeningResetsTheChosenChannelToTheOneShown) {
  rig.OpenPort();
  {
    FakeDialog& d = Open();
    d.ListSelect(IDX_NET_CHANNEL_LIST, 3);
    Press(d, IDX_NET_CHANNEL_LIST, 1);
    ASSERT_EQ(rig.S().canal, 3);
  }
  FakeDialog& d = Open();
  EXPECT_EQ(rig.S().canal, 0);
  d.SetText(IDX_NET_ADDRESS, "12");
  Press(d, IDX_NET_REGISTER);
  EXPECT_EQ(rig.T().Data[0].net, 12);
  EXPECT_EQ(rig.T().Data[3].net, 0);
}

INSTANTIATE_TEST_SUITE_P(Variants, NetworkDialogTest, testing::Values(&kNet9, &kNet5), VariantName);

TEST(Sapis, LineOfAPressureAndAFlowRegulator) {
  ChannelTable t(kNet9);
  t.Data[3] = {};
  t.Data[3].n_ofqx = 12345;
  t.Data[3].net = 17;
  t.Data[3].zifra = 1;
  t.Data[3].regu = 1;
  EXPECT_EQ(Sapis(t, 3), "Кан.3.КВЛ №12345 Сет.№17 Вход:цифровойРежим:регул.");
  t.Data[3].pres = 1;
  t.Data[3].zifra = 0;
  t.Data[3].regu = 0;
  EXPECT_EQ(Sapis(t, 3), "Кан.3.ВПЗ №12345 Сет.№17 Вход:аналог.Режим:измерение");
}

TEST(ChannelLines, IdsOfBothPrograms) {
  EXPECT_EQ(ChannelLineId(kNet9, 0), 1277);
  EXPECT_EQ(ChannelLineId(kNet9, 8), 1285);
  EXPECT_EQ(ChannelLineId(kNet5, 0), 1211);
  EXPECT_EQ(ChannelLineId(kNet5, 1), 1215);
  EXPECT_EQ(ChannelLineId(kNet5, 4), 1218);
}

}  // namespace
}  // namespace kvl::test
