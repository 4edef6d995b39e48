#include "network/channel_table.h"

namespace kvl {

void ChannelTable::UnlinkAll() {
  for (int i = 0; i < variant->channels; ++i) Data[i].svjac = 0;
}

int ChannelTable::FirstLinked() const {
  for (int i = 0; i < variant->channels; ++i)
    if (Data[i].svjac == 1) return i;
  return -1;
}

}  // namespace kvl
