#include "setup/network_dialog.h"

#include <cstdio>
#include <cstdlib>

#include "network/net_address.h"
#include "setup/configuration_save.h"
#include "setup/identify.h"
#include "setup/port_controls.h"
#include "setup/port_opening.h"
#include "setup/show_menu_item.h"

namespace kvl {

int ChannelLineId(const Variant& v, int ch) {
  return v.networkLines[static_cast<size_t>(ch)];
}

std::string Soob(int ch) {
  return "Кан." + std::to_string(ch) + ". Связь не установлена Сет.№";
}

std::string Sapis(const ChannelTable& t, int ch) {
  const tagData& d = t.Data[ch];
  char b[300];
  std::snprintf(b, sizeof b, "%s%d.%s%u %s%d %s%s%s%s", "Кан.", ch, d.pres == 1 ? "ВПЗ №" : "КВЛ №",
                d.n_ofqx, "Сет.№", d.net, "Вход:", d.zifra == 1 ? "цифровой" : "аналог.",
                "Режим:", d.regu == 1 ? "регул." : "измерение");
  return b;
}

void NetworkDialog::OnInit(Dialog& d) {
  c_.line.Run(
      &d, [&] { Init(d); }, [&] { MarkClosed(d); });
}

void NetworkDialog::Init(Dialog& d) {
  NetState& s = c_.s;
  ChannelTable& t = s.table;
  s.canal = 0;
  d.SetText(IDX_NET_ADDRESS, std::to_string(t.Data[0].net));
  FillPortList(d, s.port0);
  d.ListReset(IDX_NET_CHANNEL_LIST);
  for (int ch = 0; ch < t.Channels(); ++ch) d.ListAdd(IDX_NET_CHANNEL_LIST, std::to_string(ch));
  d.ListSelect(IDX_NET_CHANNEL_LIST, 0);

  if (!PortIsOpen(c_)) {
    ShowPortState(d, PortState::kClosed, s.port0);
    d.SetCheck(IDX_PORT_CLOSE, true);
    return;  // the lines keep their resource text
  }
  char b[64];
  std::snprintf(b, sizeof b, "%s %d %s", "Порт", s.port0 + 1, "открыт");
  d.SetText(IDX_PORT_STATE, b);
  d.SetCheck(IDX_PORT_OPEN, true);
  for (int ch = 0; ch < t.Channels(); ++ch) {
    std::string line = Soob(ch);
    if (t.Data[ch].svjac == 1) {
      if (IdentifyExchange(c_, ch, t.Data[ch].net, /*logFailure=*/true)) {
        // The format byte is not refreshed here: the flags are decoded with the
        // format of the device identified last.
        SetFlags(t, ch, s.ans.res.data(), s.version_KVL, s.hold);
        line = Sapis(t, ch);
      } else {
        t.Data[ch].svjac = 0;
      }
    }
    d.SetText(ChannelLineId(s.variant, ch), line);
  }
}

void NetworkDialog::OnCommand(Dialog& d, int id, int code) {
  // Nothing here runs while another command holds the line.
  c_.line.Run(
      &d, [&] { Command(d, id, code); }, [&] { MarkClosed(d); });
}

void NetworkDialog::Command(Dialog& d, int id, int code) {
  switch (id) {
    case IDX_PORT_LIST:
      if (code == kSelChange) ChoosePort(d);
      break;
    case IDX_PORT_OPEN:
      OpenPort(d);
      break;
    case IDX_PORT_CLOSE:
      ClosePort(d);
      break;
    case IDX_NET_CHANNEL_LIST:
      if (code == kSelChange) ChooseChannel(d);
      break;
    case IDX_NET_REGISTER:
      Register(d);
      break;
    case IDX_NET_CHECK:
      CheckAll(d);
      break;
    case IDX_NET_SAVE:
      Save(d);
      break;
    case kIdOk:
      UpdateShowMenuItem(c_, ShowMenu::kNetworkOk, &d);
      d.End(1);
      break;
    case kIdCancel:
      d.End(1);
      break;
    default:
      break;
  }
}

void NetworkDialog::OnClose(Dialog& d) {
  UpdateShowMenuItem(c_, ShowMenu::kNetworkCloseBox, &d);
  d.End(1);
}

void NetworkDialog::ResetLines(Dialog& d) {
  for (int ch = 0; ch < c_.s.table.Channels(); ++ch)
    d.SetText(ChannelLineId(c_.s.variant, ch), Soob(ch));
}

void NetworkDialog::MarkClosed(Dialog& d) {
  ShowPortState(d, PortState::kClosed, c_.s.port0);
  d.SetCheck(IDX_PORT_OPEN, false);
  d.SetCheck(IDX_PORT_CLOSE, true);
  ResetLines(d);
}

void NetworkDialog::RefuseClosedPort(Dialog& d) {
  MarkClosed(d);
  c_.ui.MessageBox("Порт закрыт", "ErrorSvjac", MsgButtons::kOk, MsgIcon::kNone, Owner::kDialog,
                   &d);
}

void NetworkDialog::ChoosePort(Dialog& d) {
  const int sel = d.ListSelection(IDX_PORT_LIST);
  if (!ByteLink::ValidPort(sel) || sel == c_.s.port0) return;
  if (PortIsOpen(c_)) CloseConnection(c_, c_.s.port0, Caller::kDialog);
  d.SetCheck(IDX_PORT_OPEN, false);
  ShowPortState(d, PortState::kClosed, c_.s.port0);
  c_.s.port0 = sel;  // the new port is opened only by "Открыть порт "
}

void NetworkDialog::OpenPort(Dialog& d) {
  if (!d.GetCheck(IDX_PORT_OPEN) || PortIsOpen(c_)) return;
  if (OpenConnection(c_, c_.s.port0)) {
    d.SetCheck(IDX_PORT_OPEN, true);
    ShowPortState(d, PortState::kOpen, c_.s.port0);
  } else {
    d.SetCheck(IDX_PORT_OPEN, false);
    ShowPortState(d, PortState::kMissing, c_.s.port0);
    c_.ui.MessageBox(PortStateText(PortState::kMissing, c_.s.port0), "Error", MsgButtons::kOk,
                     MsgIcon::kWarning, Owner::kDialog, &d);
  }
}

void NetworkDialog::ClosePort(Dialog& d) {
  if (!d.GetCheck(IDX_PORT_CLOSE)) return;
  if (PortIsOpen(c_)) {
    CloseConnection(c_, c_.s.port0, Caller::kDialog);
    d.SetCheck(IDX_PORT_OPEN, false);
    d.SetCheck(IDX_PORT_CLOSE, true);
    ShowPortState(d, PortState::kClosed, c_.s.port0);
  }
  ResetLines(d);
  c_.s.table.UnlinkAll();
}

void NetworkDialog::ChooseChannel(Dialog& d) {
  const int sel = d.ListSelection(IDX_NET_CHANNEL_LIST);
  if (!c_.s.table.Valid(sel)) return;
  c_.s.canal = sel;
  d.SetText(IDX_NET_ADDRESS, std::to_string(c_.s.table.Data[sel].net));
}

void NetworkDialog::Register(Dialog& d) {
  if (!PortIsOpen(c_)) {
    RefuseClosedPort(d);
    return;
  }
  ChannelTable& t = c_.s.table;
  const int ch = c_.s.canal;
  if (!t.Valid(ch)) return;
  // A refused address never becomes the channel's: a linked channel goes on
  // being polled at its address, and a save stores that one.
  const int addr = LeadingNumber(d.GetText(IDX_NET_ADDRESS, 9));
  if (addr < 1 || addr > 254) {
    c_.ui.MessageBox("Номер сети вне допустимого диапазона(1-254)", "Ошибка ввода", MsgButtons::kOk,
                     MsgIcon::kNone, Owner::kDialog, &d);
    return;
  }
  t.Data[ch].net = addr;
  d.SetText(IDX_NET_RESULT, "");
  std::string line;
  if (IdentifyExchange(c_, ch, addr)) {
    TakeIdentity(c_, ch);
    d.SetText(IDX_NET_RESULT, "Установлена");
    line = Sapis(t, ch);
  } else {
    t.Data[ch].svjac = 0;
    d.SetText(IDX_NET_RESULT, "Не установлена");
    line = Soob(ch) + std::to_string(addr);
  }
  d.SetText(ChannelLineId(c_.s.variant, ch), line);
}

void NetworkDialog::CheckAll(Dialog& d) {
  if (!PortIsOpen(c_)) {
    RefuseClosedPort(d);
    return;
  }
  ChannelTable& t = c_.s.table;
  c_.ui.BeginWaitCursor();
  d.SetText(IDX_NET_PROGRESS, "Идет проверка");
  for (int ch = 0; ch < t.Channels(); ++ch) {
    // Every channel, registered or not, at its stored address (0 included).
    std::string line;
    if (IdentifyExchange(c_, ch, t.Data[ch].net)) {
      TakeIdentity(c_, ch);
      line = Sapis(t, ch);
    } else {
      t.Data[ch].svjac = 0;
      line = Soob(ch) + std::to_string(t.Data[ch].net);
    }
    d.SetText(ChannelLineId(c_.s.variant, ch), line);
  }
  c_.ui.Pause(500);
  d.SetText(IDX_NET_PROGRESS, "Проверка завершена");
  c_.ui.Pause(1000);
  d.SetText(IDX_NET_PROGRESS, "   ");
  c_.ui.EndWaitCursor();
}

void NetworkDialog::Save(Dialog& d) {
  // After a failure (its messages already shown) the line must not claim success.
  const bool saved = SaveConfigurationShown(c_, &d);
  d.SetText(IDX_NET_PROGRESS, saved ? "Конфигурация сохранена" : "Конфигурация не сохранена");
  c_.ui.Pause(1000);
  d.SetText(IDX_NET_PROGRESS, "");
}

}  // namespace kvl
