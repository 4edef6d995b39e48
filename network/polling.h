// The polling cycle of the network programs: on every tick of timer 1 each
// active channel, in ascending order, is asked for its flow and setpoint and
// the answer goes to the channel monitor window.
#pragma once

#include "network/net_program.h"

namespace kvl {

// One tick of timer idEvent. Blinks the indicator; stops the timer and sends
// nothing when the current port is closed; a tick that arrives while a cycle is
// still running (from a message box's loop inside a transaction) returns at
// once. A channel that does not answer stays active and is asked again next
// cycle.
void TimerProc1(NetContext& c, int idEvent);

}  // namespace kvl
