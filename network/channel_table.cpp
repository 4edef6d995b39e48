#include "network/channel_table.h"

namespace kvl {

const Variant kNet9{"regnet9", 9, 11, 64, 10, true};
const Variant kNet5{"regnet5", 5, 7, 40, 6, false};

void ChannelTable::UnlinkAll() {
  for (int i = 0; i < variant->channels; ++i) Data[i].svjac = 0;
}

int ChannelTable::FirstLinked() const {
  for (int i = 0; i < variant->channels; ++i)
    if (Data[i].svjac == 1) return i;
  return -1;
}

}  // namespace kvl
