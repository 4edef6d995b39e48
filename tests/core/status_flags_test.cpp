// Status bytes of the identify answer into channel flags, both layouts.
#include "setup/status_flags.h"

#include <gtest/gtest.h>

#include <ostream>

namespace kvl {
namespace {

std::array<uint8_t, 10> Ident(uint8_t b1, uint8_t b6) {
  return {1, b1, 0, 0, 0, 7, b6, 5, 0, 0};
}

// The flags one identify answer leaves in a channel and in the command hold.
struct Flags {
  int rasre, fstvoff, fstvon, zifra, regu, fm15, fp15, fgasset, f45pres, pres, avar;
  bool operator==(const Flags&) const = default;
};

std::ostream& operator<<(std::ostream& o, const Flags& f) {
  return o << "rasre " << f.rasre << " fstvoff " << f.fstvoff << " fstvon " << f.fstvon << " zifra "
           << f.zifra << " regu " << f.regu << " fm15 " << f.fm15 << " fp15 " << f.fp15
           << " fgasset " << f.fgasset << " f45pres " << f.f45pres << " pres " << f.pres << " avar "
           << f.avar;
}

TEST(SetFlags, EveryBitGoesToItsFlagInBothLayouts) {
  // Each row starts from rasre = 1, regu = 1 and a command hold of (1, 1), so a
  // flag a layout leaves alone shows as 1.
  const struct {
    const char* what;
    unsigned format;
    uint8_t b1, b6;
    Flags want;
  } cases[] = {
      // Newer layout. b1: bit 4 not remembered, 3 closed by program, 2 opened by
      // program, 1 digital, 0 regulating (a clear bit keeps the mode); b6: every flag.
      {"newer, all set", 7, 0x0E, 0x7D, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
      {"newer, all clear", 7, 0x10, 0x00, {0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0}},
      // Older layout (formats up to 5): avar, zifra, regu in b1; memorising and the
      // command hold untouched; a clear regulation bit clears the mode.
      {"older, all set", 5, 0x89, 0x73, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
      {"older, all clear", 5, 0x00, 0x00, {1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ChannelTable t(kNet9);
    CommandHold h{1, 1};
    t.Data[2].rasre = 1;
    t.Data[2].regu = 1;
    auto r = Ident(c.b1, c.b6);
    SetFlags(t, 2, r.data(), c.format, h);
    const tagData& d = t.Data[2];
    EXPECT_EQ((Flags{d.rasre, h.fstvoff, h.fstvon, d.zifra, d.regu, t.Satv[2].fm15, t.Satv[2].fp15,
                     d.fgasset, d.f45pres, d.pres, d.avar}),
              c.want);
  }
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
