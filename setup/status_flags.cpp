#include "setup/status_flags.h"

namespace kvl {

namespace {
inline int32_t Bit(uint8_t b, int n) {
  return (b >> n) & 1;
}
}  // namespace

int SetFlags(ChannelTable& t, int cnl, const uint8_t* res, unsigned version_KVL,
             CommandHold& hold) {
  if (!t.Valid(cnl)) return 0;
  tagData& d = t.Data[cnl];
  Satvor& s = t.Satv[cnl];
  const bool rasreField = t.variant->rasreField;
  const uint8_t b1 = res[1], b6 = res[6];
  if (version_KVL > 5) {
    if (rasreField) d.rasre = Bit(b1, 4) ? 0 : 1;
    hold.fstvoff = Bit(b1, 3);
    hold.fstvon = Bit(b1, 2);
    d.zifra = Bit(b1, 1);
    if (Bit(b1, 0)) d.regu = 1;
    if (rasreField && d.your > 14) d.f10volt = Bit(b1, 0);
    s.fm15 = Bit(b6, 6);
    s.fp15 = Bit(b6, 5);
    d.fgasset = Bit(b6, 4);
    d.f45pres = Bit(b6, 3);
    d.pres = Bit(b6, 2);
    d.avar = Bit(b6, 0);
  } else {
    d.avar = Bit(b1, 7);
    d.zifra = Bit(b1, 3);
    d.regu = Bit(b1, 0);
    d.fgasset = Bit(b6, 6);
    d.f45pres = Bit(b6, 5);
    d.pres = Bit(b6, 4);
    s.fm15 = Bit(b6, 1);
    s.fp15 = Bit(b6, 0);
  }
  return 1;
}

}  // namespace kvl
