// Port opening and closing at program level and the "Вывести на экран" item.
#include <gtest/gtest.h>

#include "logic/net_fixture.h"
#include "setup/identify.h"
#include "setup/port_opening.h"
#include "setup/show_menu_item.h"

namespace kvl::test {
namespace {

class IdentifyTest : public testing::TestWithParam<const Variant*> {
 protected:
  void SetUp() override { rig.Start(); }
  NetRig rig{*GetParam()};
};

TEST_P(IdentifyTest, OpenWatchesOnlyTheCurrentPort) {
  rig.S().port0 = 2;
  EXPECT_EQ(OpenConnection(rig.C(), 2), 1);
  EXPECT_TRUE(rig.link.watched[2]);
  EXPECT_EQ(OpenConnection(rig.C(), 5), 1);
  EXPECT_FALSE(rig.link.watched[5]);
  EXPECT_TRUE(rig.ui.Enabled(257));
  EXPECT_FALSE(rig.ui.Enabled(256));
  rig.link.failOpen[6] = true;
  rig.ui.menuEnabled.clear();
  EXPECT_EQ(OpenConnection(rig.C(), 6), 0);
  EXPECT_TRUE(rig.ui.menuEnabled.empty());
  EXPECT_TRUE(rig.ui.messages.empty());  // an absent port is told by the caller
  // A watcher that cannot start closes the port again and is told here.
  rig.S().port0 = 7;
  rig.link.failWatcher[7] = true;
  EXPECT_EQ(OpenConnection(rig.C(), 7), 0);
  EXPECT_FALSE(rig.link.IsOpen(7));
  ASSERT_EQ(rig.ui.messages.size(), 1u);
  EXPECT_TRUE(IsBox(rig.ui.messages[0], "Поток не создан", "CommWatchProc0"));
  EXPECT_TRUE(rig.ui.menuEnabled.empty());
  EXPECT_EQ(OpenConnection(rig.C(), 10), 0);
  EXPECT_EQ(OpenConnection(rig.C(), -1), 0);
  EXPECT_EQ(rig.ui.waitCursor, 0);
}

TEST_P(IdentifyTest, CloseUnlinksAndGreysOnlyForTheMainWindowsCurrentPort) {
  const std::vector<int> greyed = {40080, 40081, 40035, 40076, 40017, 40018, 40037, 40062};
  rig.OpenPort();
  ASSERT_TRUE(rig.link.Open(1, false));
  rig.Link(0, 5);
  rig.ui.menuEnabled.clear();
  CloseConnection(rig.C(), 1, Caller::kMainWindow);  // not the current port
  EXPECT_EQ(rig.T().FirstLinked(), -1);
  EXPECT_FALSE(rig.link.IsOpen(1));
  EXPECT_TRUE(rig.ui.menuEnabled.empty());
  CloseConnection(rig.C(), 0, Caller::kDialog);
  EXPECT_FALSE(rig.link.IsOpen(0));
  EXPECT_TRUE(rig.ui.menuEnabled.empty());
  CloseConnection(rig.C(), 0, Caller::kMainWindow);
  for (int id : greyed) EXPECT_FALSE(rig.ui.Enabled(id)) << id;
}

TEST_P(IdentifyTest, ShowItemFollowsLinkAndPort) {
  rig.OpenPort();
  // Nothing linked, nothing shown: no removal either.
  UpdateShowMenuItem(rig.C(), ShowMenu::kNetworkOk, nullptr);
  EXPECT_TRUE(rig.ui.menuInserted.empty());
  EXPECT_TRUE(rig.ui.menuRemoved.empty());
  // A failed insertion is not counted and is tried again.
  rig.Link(1, 5);
  rig.ui.failMenuInsert = true;
  UpdateShowMenuItem(rig.C(), ShowMenu::kNetworkOk, nullptr);
  EXPECT_EQ(rig.S().f_menu_kanal, 0);
  rig.ui.failMenuInsert = false;
  UpdateShowMenuItem(rig.C(), ShowMenu::kNetworkOk, nullptr);
  EXPECT_EQ(rig.S().f_menu_kanal, 1);
  EXPECT_EQ(rig.ui.menuInserted.size(), 1u);
  // A linked channel on a closed port does not count.
  rig.link.Close(0);
  UpdateShowMenuItem(rig.C(), ShowMenu::kNetworkOk, nullptr);
  EXPECT_EQ(rig.S().f_menu_kanal, 0);
  EXPECT_EQ(rig.ui.menuRemoved, (std::vector<int>{7}));
  EXPECT_EQ(rig.ui.menuBarItems, 0);
}

TEST_P(IdentifyTest, RegulatorVariantJudgesTheActiveChannelOnly) {
  rig.OpenPort();
  rig.Link(2, 5);
  rig.T().cnl2 = 0;
  UpdateShowMenuItem(rig.C(), ShowMenu::kRegulatorOk, nullptr);
  EXPECT_TRUE(rig.ui.menuInserted.empty());
  EXPECT_EQ(rig.T().cnl2, 0);  // not moved
  rig.T().cnl2 = 2;
  UpdateShowMenuItem(rig.C(), ShowMenu::kRegulatorOk, nullptr);
  EXPECT_EQ(rig.ui.menuInserted.size(), 1u);
  rig.T().cnl2 = 0;
  rig.ui.failMenuRemove = true;
  FakeDialog owner(114);
  UpdateShowMenuItem(rig.C(), ShowMenu::kRegulatorOk, &owner);
  EXPECT_EQ(rig.S().f_menu_kanal, 1);
  ASSERT_EQ(rig.ui.messages.size(), 1u);
  EXPECT_TRUE(IsBox(rig.ui.messages[0], "Нет связи", "List"));
  // The network dialog's OK stays silent when the removal fails.
  rig.T().UnlinkAll();
  UpdateShowMenuItem(rig.C(), ShowMenu::kNetworkOk, nullptr);
  EXPECT_EQ(rig.ui.messages.size(), 1u);
  EXPECT_EQ(rig.S().f_menu_kanal, 1);
}

TEST_P(IdentifyTest, IdentifyTakesSerialFormatAndFlags) {
  rig.OpenPort();
  auto& dev = rig.line.devices[200];
  dev.serial = 0xABCD;
  dev.format = 5;      // older layout
  dev.status1 = 0x89;  // alarm, digital, regulation
  dev.status6 = 0x13;  // ВПЗ, closed and opened externally
  ASSERT_TRUE(IdentifyExchange(rig.C(), 4, 200));
  TakeIdentity(rig.C(), 4);
  const tagData& d = rig.T().Data[4];
  EXPECT_EQ(d.n_ofqx, 0xABCDu);
  EXPECT_EQ(d.svjac, 1);
  EXPECT_EQ(d.avar, 1);
  EXPECT_EQ(d.zifra, 1);
  EXPECT_EQ(d.regu, 1);
  EXPECT_EQ(d.pres, 1);
  EXPECT_EQ(rig.T().Satv[4].fm15, 1);
  EXPECT_EQ(rig.T().Satv[4].fp15, 1);
  EXPECT_EQ(rig.S().version_KVL, 5u);
  EXPECT_EQ(rig.link.written.back().frame[7], 200);
  // Only the low 8 bits of an address reach the frame.
  EXPECT_FALSE(IdentifyExchange(rig.C(), 4, 200 + 256 + 1));
  EXPECT_EQ(rig.link.written.back().frame[7], 201);
}

INSTANTIATE_TEST_SUITE_P(Variants, IdentifyTest, testing::Values(&kNet9, &kNet5), VariantName);

}  // namespace
}  // namespace kvl::test
