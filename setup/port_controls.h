// The port controls the three connection dialogs share (the network formation
// dialog, the regulator setup and regsolo's connection dialog): the port list
// COM1..COM10 and the port's state line, and the list of the three line speeds
// (the last two), each list showing the current choice.
#pragma once

#include <string>

#include "protocol/commands.h"
#include "serial/link.h"
#include "view/view.h"

namespace kvl {

inline void FillPortList(Dialog& d, int port) {
  d.ListReset(IDX_PORT_LIST);
  for (int p = 0; p < kPortCount; ++p) d.ListAdd(IDX_PORT_LIST, ByteLink::PortName(p));
  d.ListSelect(IDX_PORT_LIST, port);
}

// The port's state line: "Порт COM3 открыт", "Порт COM3 закрыт", "Порта COM3 нет".
enum class PortState { kOpen, kClosed, kMissing };

inline std::string PortStateText(PortState state, int port) {
  const std::string name = ByteLink::PortName(port);
  return state == PortState::kMissing ? "Порта " + name + " нет"
         : state == PortState::kOpen  ? "Порт " + name + " открыт"
                                      : "Порт " + name + " закрыт";
}

inline void ShowPortState(Dialog& d, PortState state, int port) {
  d.SetText(IDX_PORT_STATE, PortStateText(state, port));
}

inline void FillSpeedList(Dialog& d, int speedIndex) {
  d.ListReset(IDX_SETUP_SPEED_LIST);
  for (const char* speed : cmd::nUart) d.ListAdd(IDX_SETUP_SPEED_LIST, speed);
  d.ListSelect(IDX_SETUP_SPEED_LIST, speedIndex);
}

}  // namespace kvl
