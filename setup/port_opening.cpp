#include "setup/port_opening.h"

namespace kvl {

bool PortIsOpen(const NetContext& c) {
  return c.link.IsOpen(c.s.port0);
}

int OpenConnection(NetContext& c, int n) {
  c.ui.BeginWaitCursor();
  const bool ok = ByteLink::ValidPort(n) && c.link.Open(n, n == c.s.port0);
  if (ok) {
    // The two accelerator ids are no menu items: the calls leave the menu as
    // it is, as do the regsolo and regnet5 items greyed on closing below that
    // the program's own menu lacks.
    c.ui.MenuEnable(IDC_SHIFT_PGDN, true);
    c.ui.MenuEnable(IDC_SETUP, true);
    c.ui.MenuEnable(IDC_SHIFT_PGUP, false);
  }
  c.ui.EndWaitCursor();
  // A port that is absent or busy is told by the caller; a watcher that could
  // not start is told here, before it.
  if (!ok && c.link.WhyNotOpened(n) == OpenFailure::kWatcher)
    c.line.Tell("Поток не создан", "CommWatchProc0");
  return ok ? 1 : 0;
}

int CloseConnection(NetContext& c, int n, Caller caller) {
  c.s.table.UnlinkAll();
  if (ByteLink::ValidPort(n)) c.link.Close(n);
  if (n == c.s.port0 && caller == Caller::kMainWindow)
    for (int id : {IDC_KIND_FLOW, IDC_KIND_PRESSURE, IDC_ZERO, IDC_MODE_REGULATE, IDC_MODE_MEASURE,
                   IDC_VALVE_REGULATE, IDC_VALVE_OPEN, IDC_VALVE_CLOSE, IDC_INPUT_ANALOG,
                   IDC_INPUT_DIGITAL, IDC_SOLO_POLL_START, IDC_SOLO_POLL_STOP})
      c.ui.MenuEnable(id, false);
  return 1;
}

}  // namespace kvl
