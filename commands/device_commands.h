// The menu commands that act on the active channel's regulator: valve, zero
// setting, setpoint input, device family, regnet5's mode, and the protocol
// switch. Each one checks the channel's link, sends one request on the current
// port, logs the exchange and brings the channel table and the monitor window
// up to date.
#pragma once

#include <cstdint>
#include <string>

#include "network/net_program.h"

namespace kvl {

// Valve actions of CMD_VALVE (data 2).
enum class ValveAction : uint8_t { kRegulate = 0, kOpen = 1, kClose = 2 };

// "Регулирование" / "Открыть" / "Закрыть" of the "Затвор" menu.
void ValveCommand(NetContext& c, ValveAction action);
// "&Установка  '0'": confirmation, zero request, completion message.
void ZeroCommand(NetContext& c);
// "Аналоговый": switches the setpoint input to analogue.
void AnalogInputCommand(NetContext& c);
// "Цифровой": opens the setpoint dialog once.
void DigitalInputCommand(NetContext& c);
// "КВЛ" (pressure false) or "ВПЗ" (pressure true).
void KindCommand(NetContext& c, bool pressure);
// regnet5: "Регулирование" (regulation true) or "Измерение " of "&Режим  КВЛ".
void ModeCommand(NetContext& c, bool regulation);
// "Кормаст-10м" (modbus false) or "Modbus".
void ProtocolCommand(NetContext& c, bool modbus);

// Writes a status-line text into the monitor window when it is open.
void SetMonitorText(NetContext& c, int id, const std::string& text);

}  // namespace kvl
