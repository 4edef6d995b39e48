#include "setup/regulator_dialog.h"

#include <cstdio>
#include <cstdlib>

#include "protocol/commands.h"
#include "setup/configuration_save.h"
#include "setup/identify.h"
#include "setup/port_controls.h"
#include "setup/port_opening.h"
#include "setup/show_menu_item.h"
#include "setup/status_flags.h"
#include "setup/status_texts.h"

namespace kvl {

namespace {

const char* const kBlanks = "               ";  // fifteen blanks
constexpr int kSpeeds = 3;

std::string Decimal(long long v) {
  return std::to_string(v);
}

}  // namespace

// Field 1000; its change notification copies it into 1169.
void RegulatorDialog::WriteNet(Dialog& d, const std::string& text) {
  d.SetText(IDX_SETUP_NET, text);
}

// The typed text becomes the channel's address only when "Установить связь"
// accepts it: until then the channel keeps being polled, and saved, at the
// address it has.
void RegulatorDialog::NetEdited(Dialog& d) {
  d.SetText(IDX_SETUP_NEWNET, d.GetText(IDX_SETUP_NET, 9));
}

bool RegulatorDialog::PortOpenOrTold(Dialog& d) {
  if (PortIsOpen(c_)) return true;
  c_.ui.MessageBox("Порт закрыт", "ErrorSvjac", MsgButtons::kOk, MsgIcon::kNone, Owner::kDialog,
                   &d);
  return false;
}

bool RegulatorDialog::LinkedOrTold(Dialog& d) {
  const ChannelTable& t = c_.s.table;
  if (t.Valid(t.cnl2) && t.Data[t.cnl2].svjac == 1) return true;
  c_.ui.MessageBox("Уточните номер канала", "ErrorSvjac", MsgButtons::kOk, MsgIcon::kNone,
                   Owner::kDialog, &d);
  return false;
}

bool RegulatorDialog::Exchange() {
  return c_.line.ComWrite(c_.s.port0) != 0;
}

bool RegulatorDialog::FailureShown() const {
  return c_.line.PortLost();
}

void RegulatorDialog::MarkClosed(Dialog& d) {
  d.SetCheck(IDX_PORT_OPEN, false);
  d.SetCheck(IDX_PORT_CLOSE, true);
  ShowPortState(d, PortState::kClosed, c_.s.port0);
}

void RegulatorDialog::ShowMemorising(Dialog& d, int state) {
  memorising_ = state;
  d.SetCheck(IDX_SETUP_MEM_OFF, state == 0);
  d.SetCheck(IDX_SETUP_MEM_ON, state == 1);
}

void RegulatorDialog::OnInit(Dialog& d) {
  c_.line.Run(
      &d, [&] { Init(d); }, [&] { MarkClosed(d); });
}

void RegulatorDialog::Init(Dialog& d) {
  NetState& s = c_.s;
  ChannelTable& t = s.table;
  const int ch = t.cnl2;
  memorising_ = -1;
  if (!t.Valid(ch)) return;
  tagData& data = t.Data[ch];

  d.SetText(IDX_SETUP_NET, Decimal(data.net));
  d.SetText(IDX_SETUP_NEWNET, Decimal(data.net));
  d.SetText(IDX_SETUP_LINK_STATE, kBlanks);
  d.SetText(IDX_SETUP_SERIAL, kBlanks);
  FillPortList(d, s.port0);
  FillSpeedList(d, s.nUartIndex);
  char b[64];
  std::snprintf(b, sizeof b, "%s:%d", "Канал №", ch);
  d.SetText(IDX_SETUP_CHANNEL, b);

  if (!PortIsOpen(c_)) {
    ShowPortState(d, PortState::kClosed, s.port0);
    d.SetCheck(IDX_PORT_CLOSE, true);
    return;
  }
  std::snprintf(b, sizeof b, "%s %d %s", "Порт", s.port0 + 1, "открыт");
  d.SetText(IDX_PORT_STATE, b);
  d.SetCheck(IDX_PORT_OPEN, true);
  if (data.svjac == 0) {
    d.SetText(IDX_SETUP_LINK_STATE, "Не установлена");
    d.SetText(IDX_SETUP_SERIAL, "Не установлен");
    d.SetText(IDX_SETUP_MODE, "Не установлен");
    d.SetText(IDX_SETUP_INPUT, "Не установлен");
    return;
  }
  // The device linked earlier must still answer at its address.
  if (!IdentifyExchange(c_, ch, data.net)) {
    data.svjac = 0;
    d.SetText(IDX_SETUP_LINK_STATE, "Не установлена");
    if (!FailureShown())
      c_.ui.MessageBox("Уточните номер канала", "ErrorSvjac", MsgButtons::kOk, MsgIcon::kNone,
                       Owner::kDialog, &d);
    return;
  }
  const auto& r = s.ans.res;
  d.SetText(IDX_SETUP_LINK_STATE, "Установлена");
  d.SetText(IDX_SETUP_SERIAL, Decimal(r[2] * 256 + r[3]));  // shown, not stored
  data.svjac = 1;
  // Decoded with the format byte of the device identified last.
  SetFlags(t, ch, r.data(), s.version_KVL, s.hold);
  d.SetText(IDX_SETUP_MODE, ModeText(data.regu == 1));
  d.SetText(IDX_SETUP_INPUT, InputText(data.zifra == 1));
  d.SetText(IDX_SETUP_STATE, StateText(data.avar == 1, data.regu == 1));
  d.SetText(IDX_SETUP_CAPTION, SerialCaption(data.pres == 1));
}

void RegulatorDialog::OnCommand(Dialog& d, int id, int code) {
  // The address field follows what is typed (or set) at any time; everything
  // else waits while another command holds the line.
  if (id == IDX_SETUP_NET) {
    if (code == kEnChange) NetEdited(d);
    return;
  }
  c_.line.Run(
      &d, [&] { Command(d, id, code); }, [&] { MarkClosed(d); });
}

void RegulatorDialog::Command(Dialog& d, int id, int code) {
  switch (id) {
    case IDX_PORT_OPEN:
      OpenPort(d);
      break;
    case IDX_PORT_CLOSE:
      ClosePort(d);
      break;
    case IDX_PORT_LIST:
      if (code == kSelChange) ChoosePort(d);
      break;
    case IDX_SETUP_LINK:
      Link(d);
      break;
    case IDX_SETUP_QUERY:
      Query(d);
      break;
    case IDX_SETUP_SPEED_LIST:
      if (code == kSelChange) ChangeSpeed(d);
      break;
    case IDX_SETUP_CHANGE:
      ChangeAddress(d);
      break;
    case IDX_SETUP_MEM_OFF:
    case IDX_SETUP_MEM_ON:
      Memorising(d, id);
      break;
    case kIdOk:
      Ok(d);
      break;
    case kIdCancel:  // Escape: leave without saving
      d.End(1);
      break;
    default:
      break;
  }
}

void RegulatorDialog::OnClose(Dialog& d) {
  d.End(1);
}

void RegulatorDialog::ChoosePort(Dialog& d) {
  const int sel = d.ListSelection(IDX_PORT_LIST);
  if (!ByteLink::ValidPort(sel) || sel == c_.s.port0) return;
  if (PortIsOpen(c_)) CloseConnection(c_, c_.s.port0, Caller::kDialog);
  d.SetCheck(IDX_PORT_OPEN, false);
  d.SetCheck(IDX_PORT_CLOSE, true);
  ShowPortState(d, PortState::kClosed, c_.s.port0);
  c_.s.port0 = sel;  // opened only by "Открыть порт "
}

void RegulatorDialog::OpenPort(Dialog& d) {
  if (!d.GetCheck(IDX_PORT_OPEN)) return;
  if (!PortIsOpen(c_) && !OpenConnection(c_, c_.s.port0)) {
    d.SetCheck(IDX_PORT_OPEN, false);
    d.SetCheck(IDX_PORT_CLOSE, true);
    ShowPortState(d, PortState::kMissing, c_.s.port0);
    c_.ui.MessageBox("Connection failed.", "Error", MsgButtons::kOk, MsgIcon::kWarning,
                     Owner::kDialog, &d);
    return;
  }
  d.SetCheck(IDX_PORT_OPEN, true);
  d.SetCheck(IDX_PORT_CLOSE, false);
  ShowPortState(d, PortState::kOpen, c_.s.port0);
  const ChannelTable& t = c_.s.table;
  if (t.Valid(t.cnl2)) WriteNet(d, Decimal(t.Data[t.cnl2].net));
}

void RegulatorDialog::ClosePort(Dialog& d) {
  if (!d.GetCheck(IDX_PORT_CLOSE) || !PortIsOpen(c_)) return;
  CloseConnection(c_, c_.s.port0, Caller::kDialog);  // unlinks every channel
  d.SetCheck(IDX_PORT_OPEN, false);
  d.SetCheck(IDX_PORT_CLOSE, true);
  ShowPortState(d, PortState::kClosed, c_.s.port0);
}

void RegulatorDialog::Query(Dialog& d) {
  c_.ui.MessageBox("Оставьте подключенным один регулятор.Продолжить?", "Внимание", MsgButtons::kOk,
                   MsgIcon::kNone, Owner::kDialog, &d);
  if (!PortOpenOrTold(d)) return;
  ChannelTable& t = c_.s.table;
  if (!t.Valid(t.cnl2)) return;
  cmd::GetNet(c_.s.rq);
  if (!Exchange()) {
    if (!FailureShown())
      c_.ui.MessageBox("No answer?com?", "com[0]=2", MsgButtons::kOk, MsgIcon::kNone,
                       Owner::kDialog, &d);
    return;
  }
  c_.line.MesOut(c_.s.port0);
  const auto& r = c_.s.ans.res;
  c_.s.version_KVL = r[1];
  t.Data[t.cnl2].net = r[7];
  WriteNet(d, Decimal(r[7]));
  d.SetText(IDX_SETUP_SERIAL, Decimal(r[5] * 256 + r[6]));  // shown, not stored
}

void RegulatorDialog::Link(Dialog& d) {
  if (!PortOpenOrTold(d)) return;
  NetState& s = c_.s;
  ChannelTable& t = s.table;
  const int ch = t.cnl2;
  if (!t.Valid(ch)) return;
  tagData& data = t.Data[ch];
  int net = 0;
  if (!ParseNet(d.GetText(IDX_SETUP_NET, 9), net)) {
    // Only the low 8 bits of an address reach the line: a larger number would
    // link some other device under the typed address.
    c_.ui.MessageBox("Номер сети вне допустимого диапазона(0-254)", "Ошибка ввода", MsgButtons::kOk,
                     MsgIcon::kNone, Owner::kDialog, &d);
    return;
  }
  d.SetText(IDX_SETUP_LINK_STATE, kBlanks);
  d.SetText(IDX_SETUP_SERIAL, kBlanks);
  data.net = net;
  if (!IdentifyExchange(c_, ch, net, /*logFailure=*/true)) {
    d.SetText(IDX_SETUP_LINK_STATE, "Не установлена");
    d.SetText(IDX_SETUP_SERIAL, "Не установлен");
    data.svjac = 0;
    return;
  }
  TakeIdentity(c_, ch);  // format byte, serial number, link, status flags
  d.SetText(IDX_SETUP_LINK_STATE, "Установлена");
  d.SetText(IDX_SETUP_SERIAL, Decimal(data.n_ofqx));
  d.SetText(IDX_SETUP_CAPTION, SerialCaption(data.pres == 1));

  if (s.variant.rasreField) ShowMemorising(d, data.rasre == 1 ? 1 : 0);
  // A program with the mode commands shows the mode; the other the valve:
  // regulating unless held by command or by the external signal.
  d.SetText(IDX_SETUP_MODE,
            s.variant.modeMenu ? ModeText(data.regu == 1) : ValveHoldText(s.hold, t.Satv[ch]));
  d.SetText(IDX_SETUP_INPUT, InputText(data.zifra == 1));
  d.SetText(IDX_SETUP_STATE, StateText(data.avar == 1, data.regu == 1));
  c_.ui.Invalidate(false);

  // The firmware date exists in regnet9's record and is read only with the
  // maker's protocol (it has no Modbus form).
  if (s.variant.firmwareDate && !s.rq.fmodbuson) ReadFirmwareDate(d);
}

void RegulatorDialog::ReadFirmwareDate(Dialog& d) {
  NetState& s = c_.s;
  tagData& data = s.table.Data[s.table.cnl2];
  cmd::Date(s.rq, data.net);
  if (Exchange()) {
    const auto& r = s.ans.res;
    data.day = r[2];
    data.month = r[3];
    data.your = r[4];
    data.ver = r[5];
    d.SetText(IDX_SETUP_FIRMWARE, FirmwareDateText(r[2], r[3], r[4], r[5]));
  } else if (!FailureShown()) {
    c_.ui.MessageBox("Дата программы не установлена", "ErrorSvjac", MsgButtons::kOk, MsgIcon::kNone,
                     Owner::kDialog, &d);
  }
  c_.line.MesOut(s.port0);
}

void RegulatorDialog::ChangeSpeed(Dialog& d) {
  NetState& s = c_.s;
  const int sel = d.ListSelection(IDX_SETUP_SPEED_LIST);
  if (sel < 0 || sel >= kSpeeds || !s.table.Valid(s.table.cnl2)) return;
  // With the port closed neither side can change: the list goes back.
  if (!PortOpenOrTold(d)) {
    d.ListSelect(IDX_SETUP_SPEED_LIST, s.nUartIndex);
    return;
  }
  s.nUartIndex = sel;
  cmd::Speed(s.rq, s.table.Data[s.table.cnl2].net, sel);
  if (Exchange()) {
    c_.line.MesOut(s.port0);
    s.nUartIndex = cmd::SpeedIndexFromCode(s.ans.res[2]);
  } else if (FailureShown()) {
    return;  // the port is gone: nothing to switch
  } else {
    c_.ui.MessageBox("No сhange speed in KVL", "Связь", MsgButtons::kOk, MsgIcon::kNone,
                     Owner::kDialog, &d);
  }
  // The computer follows at once, also when the device did not confirm: a
  // device that switched before its answer got lost is reached again so.
  if (!c_.link.SetSpeed(s.port0, s.nUartIndex))
    c_.ui.MessageBox("No set new speed in comp.", "Связь", MsgButtons::kOk, MsgIcon::kNone,
                     Owner::kDialog, &d);
  char b[32];
  std::snprintf(b, sizeof b, "%d:%s", s.nUartIndex, cmd::nUart[s.nUartIndex]);
  d.SetText(IDX_SETUP_CHANNEL, b);
  d.ListSelect(IDX_SETUP_SPEED_LIST, s.nUartIndex);
}

void RegulatorDialog::ChangeAddress(Dialog& d) {
  c_.ui.MessageBox("Оставьте подключенным один регулятор.Продолжить?", "Внимание", MsgButtons::kOk,
                   MsgIcon::kNone, Owner::kDialog, &d);
  if (!PortOpenOrTold(d)) return;
  if (!LinkedOrTold(d)) return;
  NetState& s = c_.s;
  tagData& data = s.table.Data[s.table.cnl2];
  int newNet = 0;
  if (!ParseNet(d.GetText(IDX_SETUP_NEWNET, 9), newNet)) {
    // A device given only the low 8 bits of a larger number would end up at
    // an address nobody typed.
    c_.ui.MessageBox("Номер сети вне допустимого диапазона(0-254)", "Ошибка ввода", MsgButtons::kOk,
                     MsgIcon::kNone, Owner::kDialog, &d);
    return;
  }
  cmd::SetNet(s.rq, data.net, newNet);
  if (!Exchange()) {
    if (!FailureShown())
      c_.ui.MessageBox("записi net", "SvjacBlock", MsgButtons::kOk, MsgIcon::kNone, Owner::kDialog,
                       &d);
    return;
  }
  c_.line.MesOut(s.port0);
  data.net = newNet;
  WriteNet(d, Decimal(newNet));
}

void RegulatorDialog::Memorising(Dialog& d, int id) {
  // The button marks itself when clicked; until the device has taken the
  // change the buttons go back to what they showed.
  if (!PortOpenOrTold(d) || !LinkedOrTold(d)) {
    ShowMemorising(d, memorising_);
    return;
  }
  if (!d.GetCheck(id)) return;
  NetState& s = c_.s;
  tagData& data = s.table.Data[s.table.cnl2];
  const bool on = id == IDX_SETUP_MEM_ON;
  cmd::Rasre(s.rq, data.net, on ? 0 : 1);
  if (!Exchange()) {
    if (!FailureShown())
      c_.ui.MessageBox("No сhange rasre", "Разрешение", MsgButtons::kOk, MsgIcon::kNone,
                       Owner::kDialog, &d);
    ShowMemorising(d, memorising_);
    return;
  }
  c_.line.MesOut(s.port0);
  ShowMemorising(d, on ? 1 : 0);
  if (s.variant.rasreField) data.rasre = on ? 1 : 0;  // regnet5's record has no such field
}

void RegulatorDialog::Ok(Dialog& d) {
  UpdateShowMenuItem(c_, ShowMenu::kRegulatorOk, &d);
  SaveConfigurationShown(c_, &d);
  d.End(1);
}

}  // namespace kvl
