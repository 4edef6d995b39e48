#include "setup/identify.h"

#include "protocol/commands.h"

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

bool IdentifyExchange(NetContext& c, int ch, int addr, bool logFailure) {
  (void)ch;  // the translation needs only the request itself
  Request& rq = c.s.rq;
  cmd::Ident(rq, addr);
  bool ok = c.line.ComWrite(c.s.port0) != 0;
  if (ok || logFailure) c.line.MesOut(c.s.port0);
  // The translated Modbus answer carries the address of the device that sent
  // it in byte 7. Every device answers a read at address 0 (the address
  // query), so a channel at 0 would take the identity of whichever device is
  // on the line: an answer from another address than the one asked is not this
  // channel's device.
  if (ok && rq.fmodbuson && c.s.ans.res[7] != static_cast<uint8_t>(addr)) ok = false;
  return ok;
}

void TakeIdentity(NetContext& c, int ch) {
  if (!c.s.table.Valid(ch)) return;
  const auto& r = c.s.ans.res;
  c.s.version_KVL = r[5];
  tagData& d = c.s.table.Data[ch];
  d.n_ofqx = static_cast<uint32_t>(r[2]) * 256u + r[3];
  d.svjac = 1;
  SetFlags(c.s.table, ch, r.data(), c.s.version_KVL, c.s.hold);
}

void UpdateShowMenuItem(NetContext& c, ShowMenu variant, Dialog* owner) {
  ChannelTable& t = c.s.table;
  bool linked = false;
  if (variant == ShowMenu::kRegulatorOk) {
    linked = t.Valid(t.cnl2) && t.Data[t.cnl2].svjac == 1;
  } else {
    const int first = t.FirstLinked();
    if (first >= 0) {
      t.cnl2 = first;
      linked = true;
    }
  }
  if (!PortIsOpen(c)) linked = false;

  if (linked && c.s.f_menu_kanal == 0 && variant != ShowMenu::kNetworkCloseBox) {
    // The flag follows the menu: a failed insertion is tried again next time.
    if (c.ui.MenuInsert(kMenuShowPosition, IDC_SHOW_MONITOR, "Вывести на экран"))
      c.s.f_menu_kanal = 1;
  } else if (!linked && c.s.f_menu_kanal == 1) {
    if (c.ui.MenuRemove(kMenuShowPosition))
      c.s.f_menu_kanal = 0;
    else if (variant != ShowMenu::kNetworkOk)
      c.ui.MessageBox("Нет связи", "List", MsgButtons::kOk, MsgIcon::kNone, Owner::kDialog, owner);
  }
}

bool SaveConfigurationShown(NetContext& c, Dialog* owner) {
  const std::vector<Message> msgs = SaveConfiguration(c.s.table, c.s.port0, c.s.configPath);
  for (const Message& m : msgs)
    c.ui.MessageBox(m.text, m.caption, MsgButtons::kOk, MsgIcon::kNone, Owner::kDialog, owner);
  return msgs.empty();
}

}  // namespace kvl
