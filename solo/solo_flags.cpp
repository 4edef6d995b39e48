#include "solo/solo_flags.h"

namespace kvl::solo {

namespace {
inline int Bit(uint8_t b, int n) {
  return (b >> n) & 1;
}
}  // namespace

void SetFlags(const uint8_t* res, unsigned version_KVL, StatusFlags& f, PortFlags& p) {
  const uint8_t b1 = res[1], b6 = res[6];
  if (version_KVL == 6 || version_KVL == 7) {  // layout A
    f.frasre = Bit(b1, 4) ? 0 : 1;
    f.fstvoff = Bit(b1, 3);
    f.fstvon = Bit(b1, 2);
    p.fopzi = Bit(b1, 1);
    p.freg = Bit(b1, 0);
    f.fexternal = Bit(b6, 6);
    f.fIinter = Bit(b6, 5);
    f.fgasset = Bit(b6, 4);
    f.flagPres = Bit(b6, 2);
    f.fda0 = Bit(b6, 1);
    p.favari = Bit(b6, 0);
  } else {  // layout B
    p.favari = Bit(b1, 7);
    p.fopzi = Bit(b1, 3);
    p.freg = Bit(b1, 0);
    f.fgasset = Bit(b6, 6);
    f.flagPres = Bit(b6, 4);
    f.frasre = Bit(b6, 3) ? 0 : 1;
    f.fda0 = Bit(b6, 2);
    f.fexternal = Bit(b6, 1);
    f.fIinter = Bit(b6, 0);
  }
  f.fvnech = (f.fexternal == 0) ^ f.fIinter;
}

}  // namespace kvl::solo
