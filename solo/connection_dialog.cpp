#include "solo/connection_dialog.h"

#include <cstdio>

#include "protocol/commands.h"
#include "setup/port_controls.h"
#include "setup/status_texts.h"
#include "solo/solo_messages.h"
#include "solo/solo_numbers.h"
#include "solo/solo_port.h"
#include "solo/solo_status.h"

namespace kvl::solo {

namespace {
constexpr const char* kBlank15 = "               ";
constexpr size_t kAddressChars = 9;

std::string Number(int v) {
  return std::to_string(v);
}
}  // namespace

void ConnectionDialog::Tell(Dialog& d, const std::string& text, const std::string& caption,
                            MsgIcon icon) {
  // After a port has gone away the program's one message says it all.
  if (c_.line.PortLost()) return;
  c_.ui.MessageBox(text, caption, MsgButtons::kOk, icon, Owner::kDialog, &d);
}

void ConnectionDialog::PortClosedBox(Dialog& d) {
  c_.ui.MessageBox(msg::kPortClosed, msg::kWarning, MsgButtons::kOk, MsgIcon::kNone, Owner::kDialog,
                   &d);
}

void ConnectionDialog::OnInit(Dialog& d) {
  c_.line.Run(
      &d, [&] { Init(d); }, [&] { MarkClosed(d); });
}

void ConnectionDialog::Init(Dialog& d) {
  SoloState& s = c_.s;
  d.SetText(IDX_SETUP_NET, Number(s.Address()));
  d.SetText(IDX_SETUP_NEWNET, Number(s.Address()));
  d.SetText(IDX_SETUP_LINK_STATE, kBlank15);
  d.SetText(IDX_SETUP_SERIAL, kBlank15);

  FillPortList(d, s.port0);
  FillSpeedList(d, s.nUartIndex);
  d.SetText(IDX_SETUP_CHANNEL, Number(s.nUartIndex));

  if (!c_.link.IsOpen(s.port0)) {
    ShowPortState(d, PortState::kClosed, s.port0);
    return;
  }
  char b[64];
  std::snprintf(b, sizeof b, "%s %d %s", "Порт", s.port0 + 1, "открыт");
  d.SetText(IDX_PORT_STATE, b);
  if (!s.Connected()) {
    d.SetText(IDX_SETUP_LINK_STATE, "Не установлена");
    d.SetText(IDX_SETUP_SERIAL, "Не установлен");
    d.SetCheck(IDX_PORT_CLOSE, true);
    return;
  }
  d.SetCheck(IDX_PORT_OPEN, true);
  cmd::Ident(s.rq, s.Address());
  if (!c_.line.ComWrite(s.port0)) {
    s.fsvjac[s.port0] = 0;
    ShowNotConnected(d);
    Tell(d, "Уточните номер канала", msg::kErrorSvjac);
    return;
  }
  ShowState(d);
  c_.line.MesOut(s.port0);
}

void ConnectionDialog::OnCommand(Dialog& d, int id, int code) {
  // Typing an address copies it to the new-address edit and makes it current,
  // at any time; everything else waits while another command holds the line.
  if (id == IDX_SETUP_NET) {
    if (code == kEnChange) {
      const std::string text = d.GetText(IDX_SETUP_NET, kAddressChars);
      d.SetText(IDX_SETUP_NEWNET, text);
      c_.s.nofcan[c_.s.port0] = static_cast<uint8_t>(DecimalValue(text) & 0xFF);
    }
    return;
  }
  c_.line.Run(
      &d, [&] { Command(d, id, code); }, [&] { MarkClosed(d); });
}

void ConnectionDialog::Command(Dialog& d, int id, int code) {
  switch (id) {
    case IDX_PORT_LIST:
      if (code == kSelChange) ChoosePort(d);
      break;
    case IDX_PORT_OPEN:
      if (d.GetCheck(IDX_PORT_OPEN)) OpenPort(d);
      break;
    case IDX_PORT_CLOSE:
      if (d.GetCheck(IDX_PORT_CLOSE) && PortOpen()) ClosePort(d);
      break;
    case IDX_SETUP_LINK:
      if (!PortOpen())
        PortClosedBox(d);
      else
        Connect(d);
      break;
    case IDX_SETUP_CHANGE:
      if (ConnectedOrTell(d)) ChangeAddress(d);
      break;
    case IDX_SETUP_SPEED_LIST:
      if (code == kSelChange) ChangeSpeed(d);
      break;
    case IDX_SETUP_MEM_OFF:
    case IDX_SETUP_MEM_ON:
      if (d.GetCheck(id) && ConnectedOrTell(d)) Memorising(d, id);
      break;
    case kIdOk:
      Save(d);
      d.End(kIdOk);
      break;
    case kIdCancel:
      d.End(kIdCancel);
      break;
    default:
      break;
  }
}

bool ConnectionDialog::PortOpen() {
  return c_.link.IsOpen(c_.s.port0);
}

bool ConnectionDialog::ConnectedOrTell(Dialog& d) {
  if (!PortOpen()) {
    PortClosedBox(d);
    return false;
  }
  if (!c_.s.Connected()) {
    Tell(d, msg::kChannel106, msg::kErrorSvjac);
    return false;
  }
  return true;
}

void ConnectionDialog::ChoosePort(Dialog& d) {
  SoloState& s = c_.s;
  const int port = d.ListSelection(IDX_PORT_LIST);
  if (!ByteLink::ValidPort(port) || port == s.port0) return;
  if (PortOpen()) CloseConnection(c_, s.port0, false);
  d.SetCheck(IDX_PORT_OPEN, false);
  ShowPortState(d, PortState::kClosed, s.port0);
  s.port0 = port;
}

void ConnectionDialog::OpenPort(Dialog& d) {
  SoloState& s = c_.s;
  if (PortOpen() || OpenConnection(c_, s.port0)) {
    // A port opens at 19200 baud; bring it to the speed the dialog shows, so that
    // the computer and the regulator keep talking after a close and reopen.
    if (s.nUartIndex != 1 && !SetupConn(c_, s.port0, s.nUartIndex))
      Tell(d, "No set new speed in comp.Ошибка116", msg::kError);
    d.SetCheck(IDX_PORT_OPEN, true);
    d.SetCheck(IDX_PORT_CLOSE, false);
    ShowPortState(d, PortState::kOpen, s.port0);
    d.SetText(IDX_SETUP_NET, Number(s.Address()));
    d.SetText(IDX_SETUP_NEWNET, Number(s.Address()));
    return;
  }
  d.SetCheck(IDX_PORT_OPEN, false);
  ShowPortState(d, PortState::kMissing, s.port0);
  Tell(d, "Connection failed..Ошибка115", msg::kError, MsgIcon::kWarning);
}

void ConnectionDialog::ClosePort(Dialog& d) {
  CloseConnection(c_, c_.s.port0, false);
  MarkClosed(d);
}

void ConnectionDialog::MarkClosed(Dialog& d) {
  d.SetCheck(IDX_PORT_OPEN, false);
  d.SetCheck(IDX_PORT_CLOSE, true);
  ShowPortState(d, PortState::kClosed, c_.s.port0);
}

void ConnectionDialog::Connect(Dialog& d) {
  SoloState& s = c_.s;
  d.SetText(IDX_SETUP_LINK_STATE, kBlank15);
  d.SetText(IDX_SETUP_SERIAL, kBlank15);
  s.nofcan[s.port0] = static_cast<uint8_t>(DecimalValue(d.GetText(IDX_SETUP_NET, kAddressChars)));

  // Whoever answers at the typed address (0 reaches any single regulator) tells
  // its format byte, its own address and its number.
  cmd::GetNetAt(s.rq, s.Address());
  if (!c_.line.ComWrite(s.port0)) {
    Tell(d, "Ошибка100", msg::kError);
  } else {
    const auto& r = s.ans.res;
    s.version_KVL = r[1];
    s.nofcan[s.port0] = r[7];
    d.SetText(IDX_SETUP_NET, Number(s.Address()));
    d.SetText(IDX_SETUP_NEWNET, Number(s.Address()));
    d.SetText(IDX_SETUP_SERIAL, Number(Word(r[5], r[6])));
  }
  c_.line.MesOut(s.port0);

  cmd::Ident(s.rq, s.Address());
  if (!c_.line.ComWrite(s.port0)) {
    s.fsvjac[s.port0] = 0;
    Tell(d, "Номер не установлен.", msg::kErrorSvjac);
    ShowNotConnected(d);
    return;
  }
  ShowState(d);
  const StatusFlags& f = s.flags;
  s.fsatbor = f.fvnech ? kValveAnalog : kValveRegulating;
  if (f.fstvon) s.fsatbor = kValveOpen;
  if (f.fstvoff) s.fsatbor = kValveClosed;
  c_.ui.Invalidate(true);
  c_.line.MesOut(s.port0);
}

void ConnectionDialog::ShowState(Dialog& d) {
  SoloState& s = c_.s;
  const auto& r = s.ans.res;
  d.SetText(IDX_SETUP_LINK_STATE, "Установлена");
  d.SetText(IDX_SETUP_SERIAL, Number(Word(r[2], r[3])));
  s.serial = static_cast<uint32_t>(Word(r[2], r[3]));
  s.fsvjac[s.port0] = 1;
  SetFlags(r.data(), s.version_KVL, s.flags, s.Current());
  d.SetCheck(IDX_SETUP_MEM_ON, s.flags.frasre == 1);
  d.SetCheck(IDX_SETUP_MEM_OFF, s.flags.frasre != 1);
  const PortFlags& p = s.Current();
  d.SetText(IDX_SETUP_MODE, ModeText(p.freg != 0));
  d.SetText(IDX_SETUP_INPUT, InputText(p.fopzi != 0));
  d.SetText(IDX_SETUP_STATE, StateText(p.favari != 0, p.freg != 0));
}

void ConnectionDialog::ShowNotConnected(Dialog& d) {
  d.SetText(IDX_SETUP_LINK_STATE, "Не установлена");
  d.SetText(IDX_SETUP_SERIAL, "Не установлен");
}

void ConnectionDialog::ChangeAddress(Dialog& d) {
  SoloState& s = c_.s;
  const std::string typed = d.GetText(IDX_SETUP_NEWNET, kAddressChars);
  // A regulator moved to an address outside 0..254 (or to what is left of a
  // longer number) could no longer be found where the operator expects it.
  const auto newAddress = WholeNumber(typed);
  if (!newAddress || *newAddress < 0 || *newAddress > 254) {
    Tell(d, msg::kNewAddress, msg::kRefused120);
    return;
  }
  cmd::SetNet(s.rq, s.Address(), static_cast<int>(*newAddress));
  s.ans.res[0] = 0;
  if (c_.line.WriteOnce(s.port0)) {
    s.nofcan[s.port0] = static_cast<uint8_t>(*newAddress);
    d.SetText(IDX_SETUP_NET, typed);
  } else {
    Tell(d, ".Ошибка102", msg::kError);
  }
  c_.line.MesOut(s.port0);
}

void ConnectionDialog::ChangeSpeed(Dialog& d) {
  SoloState& s = c_.s;
  const int chosen = d.ListSelection(IDX_SETUP_SPEED_LIST);
  if (chosen < 0 || chosen > 2) return;
  if (!PortOpen()) {
    // Nothing can be told to the regulator; the displayed speed stays the real one.
    PortClosedBox(d);
    d.ListSelect(IDX_SETUP_SPEED_LIST, s.nUartIndex);
    return;
  }
  s.nUartIndex = chosen;
  cmd::Speed(s.rq, s.Address(), chosen);
  if (c_.line.ComWrite(s.port0)) {
    s.nUartIndex = cmd::SpeedIndexFromCode(s.ans.res[2]);
    c_.line.MesOut(s.port0);
  } else if (c_.line.PortLost()) {
    return;  // the port is gone: nothing to switch
  } else {
    Tell(d, "No сhange speed in KVL.Ошибка100", msg::kError);
  }
  if (!SetupConn(c_, s.port0, s.nUartIndex))
    Tell(d, "No set new speed in comp.Ошибка116", msg::kError);
  char b[32];
  std::snprintf(b, sizeof b, "%d:%s", s.nUartIndex, cmd::nUart[s.nUartIndex]);
  d.SetText(IDX_SETUP_CHANNEL, b);
  d.ListSelect(IDX_SETUP_SPEED_LIST, s.nUartIndex);
}

void ConnectionDialog::Memorising(Dialog& d, int id) {
  SoloState& s = c_.s;
  const uint8_t off = id == IDX_SETUP_MEM_OFF ? 1 : 0;  // 1 = "Нет", 0 = "Запомнить "
  cmd::Rasre(s.rq, s.Address(), off);
  if (!c_.line.ComWrite(s.port0)) {
    Tell(d, off ? ".Ошибка100" : "Ошибка100", msg::kError);
    return;
  }
  // The radios follow the regulator only when it echoes the new state.
  if (s.ans.res[1] == off) {
    d.SetCheck(off ? IDX_SETUP_MEM_ON : IDX_SETUP_MEM_OFF, false);
    d.SetCheck(id, true);
  }
  c_.line.MesOut(s.port0);
}

void ConnectionDialog::Save(Dialog& d) {
  for (const Message& m : SaveSoloConfig(c_.s.port0, c_.s.Address(), configPath_))
    Tell(d, m.text, m.caption);
}

}  // namespace kvl::solo
