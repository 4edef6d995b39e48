#include "commands/device_commands.h"

#include <cstdio>

#include "commands/command_texts.h"
#include "commands/setpoint_dialog.h"
#include "network/monitor_window.h"
#include "network/valve_text.h"
#include "protocol/commands.h"

namespace kvl {

namespace {

tagData& Active(NetContext& c) {
  return c.s.table.Data[c.s.table.cnl2];
}

void NoLink(NetContext& c) {
  c.ui.MessageBox("Нет связи", "Message");
}

// After a failed exchange: "Нет связи", unless the port has gone away (the
// program tells that once).
void NoAnswer(NetContext& c) {
  if (!c.line.PortLost()) NoLink(c);
}

// First step of every device command: the active channel must be linked.
bool LinkedOrTold(NetContext& c) {
  const ChannelTable& t = c.s.table;
  if (t.Valid(t.cnl2) && t.Data[t.cnl2].svjac == 1) return true;
  NoLink(c);
  return false;
}

// Runs the request on the current port. True when the device answered.
bool Exchange(NetContext& c) {
  return c.line.ComWrite(c.s.port0) != 0;
}

}  // namespace

void SetMonitorText(NetContext& c, int id, const std::string& text) {
  if (c.s.f_okno_cnl()) c.s.hCnlWnd->SetText(id, text);
}

void ValveCommand(NetContext& c, ValveAction action) {
  if (!LinkedOrTold(c)) return;
  cmd::Valve(c.s.rq, Active(c).net, static_cast<uint8_t>(action));
  if (!Exchange(c)) {
    NoAnswer(c);
    return;
  }
  c.line.MesOut(c.s.port0);
  // A Modbus coil write echoes no valve status.
  if (c.s.rq.fmodbuson) return;
  Satvor& s = c.s.table.Satv[c.s.table.cnl2];
  DecodeValveStatus(s, c.s.ans.res[3]);
  // With none of the four flags set the valve is neither held by command nor by
  // the external signal: it regulates, and the text says so.
  SetMonitorText(c, IDX_MON_VALVE, ValveStatusText(s, true));
  if (const char* warning = ExternalValveWarning(s))
    c.ui.MessageBox(warning, "Предупреждение");
  else
    c.ui.Invalidate(false);
}

void ZeroCommand(NetContext& c) {
  if (!LinkedOrTold(c)) return;
  const Question q = ZeroQuestion(Active(c).pres == 1);
  if (c.ui.MessageBox(q.text, q.caption, MsgButtons::kYesNo) != kIdYes) return;
  c.ui.BeginWaitCursor();
  // Both programs translate the zero request in Modbus mode: a Modbus device
  // does not understand the maker's frame, whatever check value it carries.
  cmd::Zero(c.s.rq, Active(c).net);
  if (Exchange(c)) {
    c.ui.Pause(1000);
    char text[80];
    std::snprintf(text, sizeof text, "%s%d%s", "Установка нуля в кан.№ ", c.s.table.cnl2,
                  " завершена");
    c.ui.MessageBox(text, "Message");
  } else {
    NoAnswer(c);
  }
  c.line.MesOut(c.s.port0);
  c.ui.EndWaitCursor();
}

void AnalogInputCommand(NetContext& c) {
  if (!LinkedOrTold(c)) return;
  cmd::InputSelect(c.s.rq, Active(c).net, 1);
  if (!Exchange(c)) {
    NoAnswer(c);
    c.line.MesOut(c.s.port0);
    return;
  }
  c.line.MesOut(c.s.port0);
  Active(c).zifra = 0;
  SetMonitorText(c, IDX_MON_INPUT, "Вход:анал.");
}

void DigitalInputCommand(NetContext& c) {
  if (!ByteLink::ValidPort(c.s.port0)) return;
  // One dialog at a time, also after another port has become the current one.
  if (c.s.hLspis) {
    c.ui.MessageBox("Окно уже есть", "Message");
    return;
  }
  if (Dialog* d = OpenSetpointDialog(c)) {
    c.s.hLspis = d;
    c.s.lspisPort = c.s.port0;
  }
}

void KindCommand(NetContext& c, bool pressure) {
  if (!LinkedOrTold(c)) return;
  tagData& d = Active(c);
  if (const char* refusal = KindRefusal(d, pressure)) {
    c.ui.MessageBox(refusal, "Message");
    return;
  }
  cmd::Kind(c.s.rq, d.net, cmd::KindByte(pressure, d.regu == 1));
  if (!Exchange(c)) {
    NoAnswer(c);
    return;
  }
  c.line.MesOut(c.s.port0);
  d.pres = pressure ? 1 : 0;
  SetMonitorText(c, IDX_MON_FAMILY, pressure ? "ВПЗ" : "КВЛ");
}

void ModeCommand(NetContext& c, bool regulation) {
  // "Измерение " has no link check of its own: its menu item is greyed
  // whenever the active channel is not linked.
  if (regulation && !LinkedOrTold(c)) return;
  if (!c.s.table.Valid(c.s.table.cnl2)) return;
  tagData& d = Active(c);
  d.regu = regulation ? 1 : 0;  // kept even when the device does not answer
  cmd::Mode(c.s.rq, d.net, cmd::KindByte(d.pres == 1, regulation));
  if (!Exchange(c)) {
    NoAnswer(c);
    return;
  }
  c.ui.MenuEnable(IDC_MODE_REGULATE, !regulation);
  c.ui.MenuEnable(IDC_MODE_MEASURE, regulation);
  SetMonitorText(c, IDX_MON_MODE, regulation ? "Режим: регулир." : "Режим: измерение");
  c.line.MesOut(c.s.port0);
  c.ui.Invalidate(false);
}

void ProtocolCommand(NetContext& c, bool modbus) {
  if (modbus)
    SelectModbus(c.s.rq);
  else
    SelectKormast(c.s.rq);
}

}  // namespace kvl
