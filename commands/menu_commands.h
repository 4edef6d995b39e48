// Menu commands of the network programs that act on the active channel, and the
// menu state that follows the active channel's link.
#pragma once

#include "network/net_program.h"

namespace kvl {

// Runs a device, protocol or input command of the main menu. Returns false when
// the id is not one of these commands.
bool HandleMenuCommand(NetContext& c, int id);

// Enables the channel commands when channel cnl is linked, greys them otherwise.
void MenuVivod(NetContext& c, int cnl);

}  // namespace kvl
