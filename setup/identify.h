// The identify exchange of the network programs' setup dialogs and what its
// answer gives a channel.
#pragma once

#include "network/net_program.h"

namespace kvl {

// One identify request for channel ch at network address addr on the current
// port. On success the answer is logged and c.s.ans holds it in the maker's
// layout. logFailure also logs what a failed exchange gathered. Returns true when the device
// answered (with Modbus: the device at addr itself, not another one answering a read at address 0).
bool IdentifyExchange(NetContext& c, int ch, int addr, bool logFailure = false);

// After a successful identify exchange: format byte (answer byte 5), serial
// number (bytes 2-3, high first), link flag and the status flags of channel ch.
void TakeIdentity(NetContext& c, int ch);

}  // namespace kvl
