// Decoding of the status bytes 1 and 6 of an identify answer into a channel's
// flags (network programs). The format byte selects the layout: above 5 the
// newer one, 5 or less the older one.
#pragma once

#include <cstdint>

#include "network/channel_table.h"

namespace kvl {

// Valve held open or closed by command, from the last status decoded; read only
// by the regulator setup dialog.
struct CommandHold {
  int fstvon = 0;
  int fstvoff = 0;
};

// Decodes res[1] and res[6] into channel cnl. Returns 1; a channel outside the
// table changes nothing and returns 0.
int SetFlags(ChannelTable& t, int cnl, const uint8_t* res, unsigned version_KVL, CommandHold& hold);

}  // namespace kvl
