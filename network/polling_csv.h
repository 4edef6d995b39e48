// Recording of the polled values (--csv): one row per poll of a channel, in
// the tools' CSV format, flushed as it is written. Nothing on screen changes;
// only a file that cannot be written is told, once, and polling goes on.
#pragma once

#include "network/net_program.h"

namespace kvl {

// Appends the row of channel ch's poll, which ended with outcome: its setpoint
// and flow when the regulator answered, a row saying so when it did not.
void RecordPoll(NetContext& c, int ch, ops::Outcome outcome);

}  // namespace kvl
