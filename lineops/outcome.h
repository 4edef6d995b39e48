// How one exchange with a regulator ended (the protocol's outcome), and the
// names the tools' CSV rows, JSON records and messages give it.
#pragma once

#include "protocol/exchange.h"

namespace kvl::ops {

using kvl::Outcome;

// "answered", "silent", "refused", "write_failed", "port_lost".
const char* OutcomeName(Outcome o);

}  // namespace kvl::ops
