// What the tools ask of one regulator: who it is and what its status bytes say
// (decoded as regnet9 decodes them, with the programs' texts), its firmware
// date, and its setpoint and flow. Every request is the programs' own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "lineops/exchange.h"
#include "network/channel_table.h"
#include "setup/status_flags.h"

namespace kvl::ops {

struct Identity {
  int address = 0;
  int protocol = 0;    // 0 "Кормаст-10м", 1 Modbus: how it was asked
  int speedIndex = 1;  // the speed it answered at
  uint32_t serial = 0;
  unsigned format = 0;  // format byte (Modbus answers always read as 7)
  uint8_t status1 = 0, status6 = 0;
  // The status bytes decoded into a channel record as regnet9 does.
  tagData data;
  Satvor valve;
  CommandHold hold;

  bool Pressure() const { return data.pres == 1; }
  bool Regulating() const { return data.regu == 1; }
  // Mode memorising is reported only in the newer status layout.
  std::optional<bool> Memorising() const;
};

// The texts the programs show for an identity.
struct StatusTexts {
  std::string kind;   // "КВЛ" / "ВПЗ"
  std::string mode;   // "Регулирование" / "Измерение"
  std::string input;  // "Цифровой" / "Аналоговый"
  std::string state;  // "Авария" / "Норма"
  std::string valve;  // "Регулирование", "КВЛзакрыт пр.", ... (held by command or signal)
  std::string caption;  // "Номер КВЛ" / "Номер ВПЗ"
};
StatusTexts TextsOf(const Identity& id);

struct Firmware {
  int day = 0, month = 0, year = 0, version = 0;
  std::string Text() const;  // "Дата прошивки: D-M-Y-V"
};

struct Measurement {
  int setpoint = 0;  // hundredths of a per cent
  int flow = 0;      // hundredths of a per cent, signed
};

// The identify request (CMD_IDENT). timing: the line's when null.
Outcome Identify(Line& line, int address, Identity& id, const Timing* timing = nullptr);
// Decodes an identify answer (maker's layout) into id.
void TakeIdentity(const Answer& ans, Identity& id);
// The firmware date request (CMD_DATE): "Кормаст-10м" only; with Modbus it is
// refused without sending anything, as it has no Modbus form.
Outcome ReadFirmware(Line& line, int address, Firmware& fw);
// The poll request (CMD_MEASURE).
Outcome Measure(Line& line, int address, Measurement& m);

}  // namespace kvl::ops
