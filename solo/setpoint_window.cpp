#include "solo/setpoint_window.h"

#include <cstdio>
#include <iterator>

#include "commands/setpoint_value.h"
#include "protocol/commands.h"
#include "solo/solo_messages.h"
#include "solo/solo_status.h"

namespace kvl::solo {

namespace {
constexpr size_t kPercentChars = 19;
}  // namespace

void SetpointWindow::OnInit(Dialog& d) {
  d.ListReset(IDX_SETPOINT_PRESETS);
  char b[16];
  for (int p : kPresets) {
    std::snprintf(b, sizeof b, "%d%%", p);
    d.ListAdd(IDX_SETPOINT_PRESETS, b);
  }
}

void SetpointWindow::OnCommand(Dialog& d, int id, int code) {
  // Sending waits while another command holds the line.
  if (id == IDX_SETPOINT_PRESETS && code == kSelChange)
    c_.line.Run(&d, [&] { Preset(d); });
  else if (id == IDX_SETPOINT_SEND)
    c_.line.Run(&d, [&] { Typed(d); });
  else if (id == kIdOk)  // Esc (Cancel) is not acted on
    Close(d);
}

bool SetpointWindow::Send(Dialog& d, uint16_t units) {
  SoloState& s = c_.s;
  // The port may have been closed in the connection dialog since the window was
  // opened: say so once instead of letting every attempt report a missing port.
  const bool open = c_.link.IsOpen(s.port0);
  if (open) cmd::Setpoint(s.rq, s.Address(), units);
  if (!open || !c_.line.ComWrite(s.port0)) {
    if (!c_.line.PortLost())
      c_.ui.MessageBox(msg::kNoLink100, msg::kError, MsgButtons::kOk, MsgIcon::kNone,
                       Owner::kDialog, &d);
    return false;
  }
  return true;
}

void SetpointWindow::Preset(Dialog& d) {
  SoloState& s = c_.s;
  const int sel = d.ListSelection(IDX_SETPOINT_PRESETS);
  if (sel < 0 || sel >= static_cast<int>(std::size(kPresets))) return;
  if (!Send(d, static_cast<uint16_t>(SetpointRaw(kPresets[sel])))) return;
  char b[32];
  std::snprintf(b, sizeof b, "%.1f", Word(s.ans.res[2], s.ans.res[3]) / s.d_rasx);
  d.SetText(IDX_SETPOINT_EDIT, b);
  s.Current().fopzi = 1;
  c_.line.MesOut(s.port0);
}

void SetpointWindow::Typed(Dialog& d) {
  SoloState& s = c_.s;
  d.ListSelect(IDX_SETPOINT_PRESETS, -1);
  // Read and rounded as in the network programs; text that is not a number,
  // or a value the 16-bit setpoint cannot carry, never reaches the regulator.
  double percent = 0;
  if (!ParseSetpoint(d.GetText(IDX_SETPOINT_EDIT, kPercentChars), percent)) {
    c_.ui.MessageBox(kSetpointRefused, msg::kRefused120, MsgButtons::kOk, MsgIcon::kNone,
                     Owner::kDialog, &d);
    return;
  }
  if (!Send(d, static_cast<uint16_t>(SetpointRaw(percent)))) return;
  s.Current().fopzi = 1;
  c_.line.MesOut(s.port0);
}

void SetpointWindow::Close(Dialog& d) {
  OnDestroy(d);
  d.End(kIdOk);
}

void SetpointWindow::OnDestroy(Dialog&) {
  if (ByteLink::ValidPort(port_)) c_.s.flist[port_] = 0;
}

}  // namespace kvl::solo
