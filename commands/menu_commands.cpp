#include "commands/menu_commands.h"

namespace kvl {

bool HandleMenuCommand(NetContext&, int) {
  return false;
}

void MenuVivod(NetContext& c, int cnl) {
  const bool linked = c.s.table.Valid(cnl) && c.s.table.Data[cnl].svjac == 1;
  for (int id : {40076, 40017, 40018, 40080, 40081, 40037, 40062}) c.ui.MenuEnable(id, linked);
  if (!c.s.variant.full)
    for (int id : {40035, 262, 40019}) c.ui.MenuEnable(id, linked);
}

}  // namespace kvl
