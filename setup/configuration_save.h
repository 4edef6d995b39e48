// Saving the channel table from the setup dialogs, with the messages shown to
// the operator.
#pragma once

#include "network/net_program.h"

namespace kvl {

// Writes the configuration file with the current port in record 0 and shows
// any failure message owned by the dialog. Returns true when it was written.
bool SaveConfigurationShown(NetContext& c, Dialog* owner);

}  // namespace kvl
