// The polling cycle of the network programs: on every tick of timer 1 each
// active channel, in ascending order, is asked for its flow and setpoint and
// the answer goes to the channel monitor window.
#pragma once

#include "network/net_program.h"

namespace kvl {

// One tick of timer idEvent (the program runs it holding the line, so a tick
// never starts while another command's exchange or message is under way).
// Blinks the indicator; stops the timer and sends nothing when the current port
// is closed. A channel that does not answer stays active and is asked again
// next cycle; a port that has gone away ends the cycle.
void TimerProc1(NetContext& c, int idEvent);

}  // namespace kvl
