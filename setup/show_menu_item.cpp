#include "setup/show_menu_item.h"

#include "setup/port_opening.h"

namespace kvl {

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

}  // namespace kvl
