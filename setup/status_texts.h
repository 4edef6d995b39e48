// The words the programs show for a regulator's decoded status, in one place:
// the setup dialogs, the monitor and the command-line tools use the same texts.
#pragma once

#include <string>

#include "network/channel_table.h"
#include "setup/status_flags.h"

namespace kvl {

// "Регулирование" or "Измерение".
const char* ModeText(bool regulating);
// "Цифровой" or "Аналоговый".
const char* InputText(bool digital);
// "Авария" when the alarm is set while regulating, else "Норма".
const char* StateText(bool alarm, bool regulating);
// "ВПЗ" for a pressure regulator, else "КВЛ".
const char* KindText(bool pressure);
// Caption of the serial number: "Номер ВПЗ" or "Номер КВЛ".
const char* SerialCaption(bool pressure);
// The regulator setup dialog's line after linking: "Регулирование", replaced in
// this order by "КВЛзакрыт пр." (fstvoff), "КВЛоткрыт пр." (fstvon),
// "КВЛоткрыт ан." (fp15) and "КВЛзакрыт ан." (fm15); the last that applies wins.
std::string ValveHoldText(const CommandHold& hold, const Satvor& s);
// "Дата прошивки: D-M-Y-V".
std::string FirmwareDateText(int day, int month, int year, int version);

}  // namespace kvl
