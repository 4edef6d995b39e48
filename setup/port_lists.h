// The port and speed lists of the connection dialogs: COM1..COM10 (the network
// formation dialog, the regulator setup and regsolo's connection dialog) and
// the three line speeds (the last two), each list showing the current choice.
#pragma once

#include "protocol/commands.h"
#include "serial/link.h"
#include "view/view.h"

namespace kvl {

inline void FillPortList(Dialog& d, int port) {
  d.ListReset(IDX_PORT_LIST);
  for (int p = 0; p < kPortCount; ++p) d.ListAdd(IDX_PORT_LIST, ByteLink::PortName(p));
  d.ListSelect(IDX_PORT_LIST, port);
}

inline void FillSpeedList(Dialog& d, int speedIndex) {
  d.ListReset(IDX_SETUP_SPEED_LIST);
  for (const char* speed : cmd::nUart) d.ListAdd(IDX_SETUP_SPEED_LIST, speed);
  d.ListSelect(IDX_SETUP_SPEED_LIST, speedIndex);
}

}  // namespace kvl
