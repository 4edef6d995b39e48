#include "commands/setpoint_dialog.h"

#include <cstdio>
#include <memory>

#include "commands/device_commands.h"
#include "commands/setpoint_value.h"
#include "network/monitor_window.h"
#include "protocol/commands.h"

namespace kvl {

namespace {

constexpr int kScales = 11;  // presets 0, 10, ..., 100 per cent
constexpr double d_rasx = 100.0;

}  // namespace

void SetpointDialog::OnInit(Dialog& d) {
  channel_ = c_.s.table.cnl2;
  d.ListReset(IDX_SETPOINT_PRESETS);
  char b[32];
  for (int i = 0; i < kScales; ++i) {
    std::snprintf(b, sizeof b, "%d%%", i * 10);
    d.ListAdd(IDX_SETPOINT_PRESETS, b);
  }
  std::snprintf(b, sizeof b, "%d", channel_);
  d.SetText(IDX_SETPOINT_CHANNEL, b);
}

void SetpointDialog::OnCommand(Dialog& d, int id, int code) {
  if (closed_) return;
  if (id == kIdOk) {
    Close(d);
    return;
  }
  // Sending waits while another command holds the line.
  c_.line.Run(&d, [&] { Command(d, id, code); });
}

void SetpointDialog::Command(Dialog& d, int id, int code) {
  if (id == IDX_SETPOINT_PRESETS && code == kSelChange) {
    const int sel = d.ListSelection(IDX_SETPOINT_PRESETS);
    if (sel < 0 || sel >= kScales) return;
    nScaleIndex = sel;
    const int p = sel * 10;
    char b[32];
    std::snprintf(b, sizeof b, "%.1f", static_cast<double>(p));
    d.SetText(IDX_SETPOINT_EDIT, b);
    Send(d, SetpointRaw(p), true);
  } else if (id == IDX_SETPOINT_SEND && code == 0) {
    d.ListSelect(IDX_SETPOINT_PRESETS, -1);
    double percent = 0;
    if (!ParseSetpoint(d.GetText(IDX_SETPOINT_EDIT, 19), percent)) {
      // Nothing is sent: a mistyped value must not reach the regulator.
      c_.ui.MessageBox(kSetpointRefused, "Ошибка ввода", MsgButtons::kOk, MsgIcon::kWarning,
                       Owner::kDialog, &d);
      return;
    }
    Send(d, SetpointRaw(percent), false);
  }
}

void SetpointDialog::OnClose(Dialog& d) {
  if (!closed_) Close(d);
}

void SetpointDialog::Close(Dialog& d) {
  OnDestroy(d);
  d.End(0);
}

void SetpointDialog::OnDestroy(Dialog& d) {
  closed_ = true;
  if (c_.s.hLspis == &d) c_.s.hLspis = nullptr;
}

void SetpointDialog::Send(Dialog& d, long long raw, bool preset) {
  NetState& s = c_.s;
  auto noLink = [&] {
    // A port that has gone away is told once, by the program.
    if (c_.line.PortLost()) return;
    c_.ui.MessageBox("Нет связи", "List", MsgButtons::kOk, MsgIcon::kNone, Owner::kDialog, &d);
  };
  if (!s.table.Valid(channel_) || s.table.Data[channel_].svjac != 1) {
    noLink();
    return;
  }
  tagData& data = s.table.Data[channel_];
  const bool modbus = s.rq.fmodbuson != 0;
  if (modbus) {  // Modbus selects the digital input with a write of its own
    cmd::InputSelect(s.rq, data.net, 0);
    if (c_.line.ComWrite(s.port0))
      c_.line.MesOut(s.port0);
    else
      noLink();
  }
  cmd::Setpoint(s.rq, data.net, static_cast<uint16_t>(raw & 0xFFFF));
  if (c_.line.ComWrite(s.port0)) {
    if (preset && !modbus) {  // the maker's protocol echoes the value it took
      const unsigned taken = s.ans.res[2] * 256u + s.ans.res[3];
      char b[32];
      std::snprintf(b, sizeof b, "%.1f", taken / d_rasx);
      d.SetText(IDX_SETPOINT_EDIT, b);
    }
    data.zifra = 1;
    if (channel_ == s.table.cnl2) SetMonitorText(c_, IDX_MON_INPUT, "Вход:цифр.");
  } else {
    noLink();
  }
  c_.line.MesOut(s.port0);
}

Dialog* OpenSetpointDialog(NetContext& c) {
  // The caller opens a dialog only when none exists, so the previous logic
  // has no dialog left that could call it.
  auto logic = std::make_unique<SetpointDialog>(c);
  Dialog* d = c.ui.CreateModeless(IDD_SETPOINT, *logic);
  if (d) c.s.setpointLogic = std::move(logic);
  return d;
}

}  // namespace kvl
