#include "commands/menu_commands.h"

#include "commands/device_commands.h"

namespace kvl {

bool HandleMenuCommand(NetContext& c, int id) {
  const bool modeMenu = c.s.variant.modeMenu;
  switch (id) {
    case IDC_VALVE_OPEN:
      ValveCommand(c, ValveAction::kOpen);
      return true;
    case IDC_VALVE_CLOSE:
      ValveCommand(c, ValveAction::kClose);
      return true;
    case IDC_VALVE_REGULATE:
      ValveCommand(c, ValveAction::kRegulate);
      return true;
    case IDC_ZERO:
      ZeroCommand(c);
      return true;
    case IDC_INPUT_ANALOG:
      AnalogInputCommand(c);
      return true;
    case IDC_INPUT_DIGITAL:
      DigitalInputCommand(c);
      return true;
    case IDC_KIND_FLOW:
      KindCommand(c, false);
      return true;
    case IDC_KIND_PRESSURE:
      KindCommand(c, true);
      return true;
    case IDC_MODE_REGULATE:  // the mode commands, where the program has them
      if (!modeMenu) return false;
      ModeCommand(c, true);
      return true;
    case IDC_MODE_MEASURE:
      if (!modeMenu) return false;
      ModeCommand(c, false);
      return true;
    case IDC_PROTO_KORMAST:
      ProtocolCommand(c, false);
      return true;
    case IDC_PROTO_MODBUS:
      ProtocolCommand(c, true);
      return true;
    default:
      return false;
  }
}

void MenuVivod(NetContext& c, int cnl) {
  const bool linked = c.s.table.Valid(cnl) && c.s.table.Data[cnl].svjac == 1;
  for (int id : {IDC_VALVE_REGULATE, IDC_VALVE_OPEN, IDC_VALVE_CLOSE, IDC_KIND_FLOW,
                 IDC_KIND_PRESSURE, IDC_INPUT_ANALOG, IDC_INPUT_DIGITAL})
    c.ui.MenuEnable(id, linked);
  // "&Установка  '0'" follows the link in both programs: closing the port greys
  // it, and a later link must bring it back.
  c.ui.MenuEnable(IDC_ZERO, linked);
  if (c.s.variant.modeMenu)
    for (int id : {IDC_MODE_MEASURE, IDC_MODE_REGULATE}) c.ui.MenuEnable(id, linked);
}

}  // namespace kvl
