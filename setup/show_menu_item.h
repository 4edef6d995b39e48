// The "Вывести на экран" menu-bar item, brought up to date by the setup
// dialogs: there while a channel is linked on an open port.
#pragma once

#include "network/net_program.h"

namespace kvl {

// Where the "Вывести на экран" item is brought up to date.
enum class ShowMenu {
  kNetworkOk = 1,        // OK of the network formation dialog
  kNetworkCloseBox = 2,  // close box of the network formation dialog: never inserts
  kRegulatorOk = 3,      // OK of the regulator setup dialog: judged on cnl2 alone
};

// Inserts the menu-bar item 836 at position 7 when a channel is linked on an
// open port and removes it when none is. Variants 1 and 2 move cnl2 to the
// lowest linked channel. A failed removal keeps the item counted and, for
// variants 2 and 3, shows "Нет связи" / "List" owned by the dialog.
void UpdateShowMenuItem(NetContext& c, ShowMenu variant, Dialog* owner);

}  // namespace kvl
