#include "protocol/commands.h"
#include "solo/solo_messages.h"
#include "solo/solo_port.h"

namespace kvl::solo {

bool OpenConnection(SoloContext& c, int port) {
  c.ui.BeginWaitCursor();
  const bool ok = c.link.Open(port, port == c.s.port0);
  c.ui.EndWaitCursor();
  if (ok) return true;
  if (c.link.WhyNotOpened(port) == OpenFailure::kWatcher)
    c.line.Tell(msg::kOpenFailed108, msg::kError);
  else
    c.line.Tell(ByteLink::PortName(port), msg::kOpenFailed109);
  return false;
}

void CloseConnection(SoloContext& c, int port, bool fromMainWindow) {
  if (!ByteLink::ValidPort(port)) return;
  // A port that has gone away reaches no regulator: no closing frame.
  if (c.s.fsvjac[port] && c.link.IsOpen(port) && !c.link.Lost(port)) {
    cmd::ClosingFrame(c.s.rq, c.s.nofcan[port]);
    if (!c.line.WriteOnce(port)) c.line.Tell(msg::kNoLink102, msg::kError);
  }
  c.s.fsvjac[port] = 0;
  c.link.Close(port);
  if (port == c.s.port0 && fromMainWindow) {
    c.ui.MenuEnable(IDC_VALVE_OPEN, false);
    c.ui.MenuEnable(IDC_VALVE_CLOSE, false);
    c.ui.MenuEnable(IDC_INPUT_ANALOG, false);
  }
}

bool SetupConn(SoloContext& c, int port, int speedIndex) {
  return c.link.SetSpeed(port, speedIndex);
}

}  // namespace kvl::solo
