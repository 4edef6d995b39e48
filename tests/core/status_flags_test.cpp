// Status bytes of the identify answer into channel flags, both layouts.
#include "setup/status_flags.h"

#include <gtest/gtest.h>

namespace kvl {
namespace {

std::array<uint8_t, 10> Ident(uint8_t b1, uint8_t b6) {
  return {1, b1, 0, 0, 0, 7, b6, 5, 0, 0};
}

TEST(SetFlagsNewer, EveryBitGoesToItsFlag) {
  ChannelTable t(kNet9);
  CommandHold h;
  auto r = Ident(0x0E, 0x7D);  // b1: fstvoff, fstvon, zifra; b6: all flags
  SetFlags(t, 2, r.data(), 7, h);
  const tagData& d = t.Data[2];
  EXPECT_EQ(d.rasre, 1);  // bit 4 clear
  EXPECT_EQ(h.fstvoff, 1);
  EXPECT_EQ(h.fstvon, 1);
  EXPECT_EQ(d.zifra, 1);
  EXPECT_EQ(t.Satv[2].fm15, 1);
  EXPECT_EQ(t.Satv[2].fp15, 1);
  EXPECT_EQ(d.fgasset, 1);
  EXPECT_EQ(d.f45pres, 1);
  EXPECT_EQ(d.pres, 1);
  EXPECT_EQ(d.avar, 1);
  r = Ident(0x10, 0x00);
  SetFlags(t, 2, r.data(), 7, h);
  EXPECT_EQ(d.rasre, 0);
  EXPECT_EQ(h.fstvoff, 0);
  EXPECT_EQ(h.fstvon, 0);
  EXPECT_EQ(d.zifra, 0);
  EXPECT_EQ(d.pres, 0);
  EXPECT_EQ(d.avar, 0);
  EXPECT_EQ(t.Satv[2].fp15, 0);
}

TEST(SetFlagsNewer, ClearRegulationBitKeepsRegulationMode) {
  ChannelTable t(kNet9);
  CommandHold h;
  t.Data[0].regu = 1;
  auto r = Ident(0x00, 0);
  SetFlags(t, 0, r.data(), 6, h);
  EXPECT_EQ(t.Data[0].regu, 1);
  t.Data[0].regu = 0;
  r = Ident(0x01, 0);
  SetFlags(t, 0, r.data(), 6, h);
  EXPECT_EQ(t.Data[0].regu, 1);
}

TEST(SetFlagsNewer, TenVoltFlagOnlyFromYear15) {
  ChannelTable t(kNet9);
  CommandHold h;
  t.Data[1].your = 14;
  t.Data[1].f10volt = 0;
  auto r = Ident(0x01, 0);
  SetFlags(t, 1, r.data(), 7, h);
  EXPECT_EQ(t.Data[1].f10volt, 0);
  t.Data[1].your = 15;
  SetFlags(t, 1, r.data(), 7, h);
  EXPECT_EQ(t.Data[1].f10volt, 1);
  r = Ident(0x00, 0);
  SetFlags(t, 1, r.data(), 7, h);
  EXPECT_EQ(t.Data[1].f10volt, 0);
}

TEST(SetFlagsNewer, Net5HasNoPermissionOrTenVoltFlags) {
  ChannelTable t(kNet5);
  CommandHold h;
  t.Data[1].your = 20;
  auto r = Ident(0x11, 0);
  SetFlags(t, 1, r.data(), 7, h);
  EXPECT_EQ(t.Data[1].rasre, 0);
  EXPECT_EQ(t.Data[1].f10volt, 0);
  r = Ident(0x01, 0);
  SetFlags(t, 1, r.data(), 7, h);
  EXPECT_EQ(t.Data[1].rasre, 0);
}

TEST(SetFlagsOlder, FormatFiveSelectsOlderLayout) {
  ChannelTable t(kNet9);
  CommandHold h{1, 1};
  t.Data[4].rasre = 1;
  auto r = Ident(0x89, 0x73);  // avar, zifra, regu; fgasset, f45pres, pres, fm15, fp15
  SetFlags(t, 4, r.data(), 5, h);
  const tagData& d = t.Data[4];
  EXPECT_EQ(d.avar, 1);
  EXPECT_EQ(d.zifra, 1);
  EXPECT_EQ(d.regu, 1);
  EXPECT_EQ(d.fgasset, 1);
  EXPECT_EQ(d.f45pres, 1);
  EXPECT_EQ(d.pres, 1);
  EXPECT_EQ(t.Satv[4].fm15, 1);
  EXPECT_EQ(t.Satv[4].fp15, 1);
  EXPECT_EQ(d.rasre, 1);  // untouched
  EXPECT_EQ(h.fstvon, 1);
  EXPECT_EQ(h.fstvoff, 1);
  r = Ident(0x00, 0x00);
  SetFlags(t, 4, r.data(), 5, h);
  EXPECT_EQ(d.regu, 0);  // cleared as well in this layout
  EXPECT_EQ(d.avar, 0);
}

TEST(SetFlags, ChannelOutsideTheTableChangesNothing) {
  ChannelTable t(kNet5);
  CommandHold h;
  auto r = Ident(0xFF, 0xFF);
  EXPECT_EQ(SetFlags(t, 5, r.data(), 7, h), 0);
  EXPECT_EQ(SetFlags(t, -1, r.data(), 7, h), 0);
  EXPECT_EQ(h.fstvon, 0);
  EXPECT_EQ(t.Data[5].pres, 0);
}

}  // namespace
}  // namespace kvl
