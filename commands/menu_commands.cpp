#include "commands/menu_commands.h"

#include "commands/device_commands.h"

namespace kvl {

bool HandleMenuCommand(NetContext& c, int id) {
  const bool net5 = !c.s.variant.full;
  switch (id) {
    case 40017:
      ValveCommand(c, ValveAction::kOpen);
      return true;
    case 40018:
      ValveCommand(c, ValveAction::kClose);
      return true;
    case 40076:
      ValveCommand(c, ValveAction::kRegulate);
      return true;
    case 40035:
      ZeroCommand(c);
      return true;
    case 40037:
      AnalogInputCommand(c);
      return true;
    case 40062:
      DigitalInputCommand(c);
      return true;
    case 40080:
      KindCommand(c, false);
      return true;
    case 40081:
      KindCommand(c, true);
      return true;
    case 40019:  // regnet5's mode commands; regnet9 has no such items
      if (!net5) return false;
      ModeCommand(c, true);
      return true;
    case 262:
      if (!net5) return false;
      ModeCommand(c, false);
      return true;
    case 40083:
      ProtocolCommand(c, false);
      return true;
    case 40084:
      ProtocolCommand(c, true);
      return true;
    default:
      return false;
  }
}

void MenuVivod(NetContext& c, int cnl) {
  const bool linked = c.s.table.Valid(cnl) && c.s.table.Data[cnl].svjac == 1;
  for (int id : {40076, 40017, 40018, 40080, 40081, 40037, 40062}) c.ui.MenuEnable(id, linked);
  // "&Установка  '0'" follows the link in both programs: closing the port greys
  // it, and a later link must bring it back.
  c.ui.MenuEnable(40035, linked);
  if (!c.s.variant.full)
    for (int id : {262, 40019}) c.ui.MenuEnable(id, linked);
}

}  // namespace kvl
