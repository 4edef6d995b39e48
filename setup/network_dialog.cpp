#include "setup/network_dialog.h"

#include <cstdio>
#include <cstdlib>

#include "network/net_address.h"
#include "setup/identify.h"

namespace kvl {

namespace {

constexpr int kIdent9[9] = {1277, 1278, 1279, 1280, 1281, 1282, 1283, 1284, 1285};
constexpr int kIdent5[5] = {1211, 1215, 1216, 1217, 1218};

std::string PortClosedText(int port) {
  return "Порт " + ByteLink::PortName(port) + " закрыт";
}

}  // namespace

int ChannelLineId(const Variant& v, int ch) {
  return v.full ? kIdent9[ch] : kIdent5[ch];
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
  d.SetText(kNetAddress, std::to_string(t.Data[0].net));
  d.ListReset(kNetPortList);
  for (int p = 0; p < kPortCount; ++p) d.ListAdd(kNetPortList, ByteLink::PortName(p));
  d.ListSelect(kNetPortList, s.port0);
  d.ListReset(kNetChannelList);
  for (int ch = 0; ch < t.Channels(); ++ch) d.ListAdd(kNetChannelList, std::to_string(ch));
  d.ListSelect(kNetChannelList, 0);

  if (!PortIsOpen(c_)) {
    d.SetText(kNetPortState, PortClosedText(s.port0));
    d.SetCheck(kNetClosePort, true);
    return;  // the lines keep their resource text
  }
  char b[64];
  std::snprintf(b, sizeof b, "%s %d %s", "Порт", s.port0 + 1, "открыт");
  d.SetText(kNetPortState, b);
  d.SetCheck(kNetOpenPort, true);
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
    case kNetPortList:
      if (code == 1) ChoosePort(d);
      break;
    case kNetOpenPort:
      OpenPort(d);
      break;
    case kNetClosePort:
      ClosePort(d);
      break;
    case kNetChannelList:
      if (code == 1) ChooseChannel(d);
      break;
    case kNetRegister:
      Register(d);
      break;
    case kNetCheckAll:
      CheckAll(d);
      break;
    case kNetSave:
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

void NetworkDialog::ShowPortClosed(Dialog& d, int port) {
  d.SetText(kNetPortState, PortClosedText(port));
}

void NetworkDialog::ResetLines(Dialog& d) {
  for (int ch = 0; ch < c_.s.table.Channels(); ++ch)
    d.SetText(ChannelLineId(c_.s.variant, ch), Soob(ch));
}

void NetworkDialog::MarkClosed(Dialog& d) {
  ShowPortClosed(d, c_.s.port0);
  d.SetCheck(kNetOpenPort, false);
  d.SetCheck(kNetClosePort, true);
  ResetLines(d);
}

void NetworkDialog::RefuseClosedPort(Dialog& d) {
  MarkClosed(d);
  c_.ui.MessageBox("Порт закрыт", "ErrorSvjac", MsgButtons::kOk, MsgIcon::kNone, Owner::kDialog,
                   &d);
}

void NetworkDialog::ChoosePort(Dialog& d) {
  const int sel = d.ListSelection(kNetPortList);
  if (!ByteLink::ValidPort(sel) || sel == c_.s.port0) return;
  if (PortIsOpen(c_)) CloseConnection(c_, c_.s.port0, Caller::kDialog);
  d.SetCheck(kNetOpenPort, false);
  ShowPortClosed(d, c_.s.port0);
  c_.s.port0 = sel;  // the new port is opened only by "Открыть порт "
}

void NetworkDialog::OpenPort(Dialog& d) {
  if (!d.GetCheck(kNetOpenPort) || PortIsOpen(c_)) return;
  const std::string name = ByteLink::PortName(c_.s.port0);
  if (OpenConnection(c_, c_.s.port0)) {
    d.SetCheck(kNetOpenPort, true);
    d.SetText(kNetPortState, "Порт " + name + " открыт");
  } else {
    d.SetCheck(kNetOpenPort, false);
    const std::string text = "Порта " + name + " нет";
    d.SetText(kNetPortState, text);
    c_.ui.MessageBox(text, "Error", MsgButtons::kOk, MsgIcon::kWarning, Owner::kDialog, &d);
  }
}

void NetworkDialog::ClosePort(Dialog& d) {
  if (!d.GetCheck(kNetClosePort)) return;
  if (PortIsOpen(c_)) {
    CloseConnection(c_, c_.s.port0, Caller::kDialog);
    d.SetCheck(kNetOpenPort, false);
    d.SetCheck(kNetClosePort, true);
    ShowPortClosed(d, c_.s.port0);
  }
  ResetLines(d);
  c_.s.table.UnlinkAll();
}

void NetworkDialog::ChooseChannel(Dialog& d) {
  const int sel = d.ListSelection(kNetChannelList);
  if (!c_.s.table.Valid(sel)) return;
  c_.s.canal = sel;
  d.SetText(kNetAddress, std::to_string(c_.s.table.Data[sel].net));
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
  const int addr = LeadingNumber(d.GetText(kNetAddress, 9));
  if (addr < 1 || addr > 254) {
    c_.ui.MessageBox("Номер сети вне допустимого диапазона(1-254)", "Ошибка ввода", MsgButtons::kOk,
                     MsgIcon::kNone, Owner::kDialog, &d);
    return;
  }
  t.Data[ch].net = addr;
  d.SetText(kNetRegisterResult, "");
  std::string line;
  if (IdentifyExchange(c_, ch, addr)) {
    TakeIdentity(c_, ch);
    d.SetText(kNetRegisterResult, "Установлена");
    line = Sapis(t, ch);
  } else {
    t.Data[ch].svjac = 0;
    d.SetText(kNetRegisterResult, "Не установлена");
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
  d.SetText(kNetProgress, "Идет проверка");
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
  d.SetText(kNetProgress, "Проверка завершена");
  c_.ui.Pause(1000);
  d.SetText(kNetProgress, "   ");
  c_.ui.EndWaitCursor();
}

void NetworkDialog::Save(Dialog& d) {
  // After a failure (its messages already shown) the line must not claim success.
  const bool saved = SaveConfigurationShown(c_, &d);
  d.SetText(kNetProgress, saved ? "Конфигурация сохранена" : "Конфигурация не сохранена");
  c_.ui.Pause(1000);
  d.SetText(kNetProgress, "");
}

}  // namespace kvl
