#include "setup/status_texts.h"

#include <cstdio>

namespace kvl {

const char* ModeText(bool regulating) {
  return regulating ? "Регулирование" : "Измерение";
}

const char* InputText(bool digital) {
  return digital ? "Цифровой" : "Аналоговый";
}

const char* StateText(bool alarm, bool regulating) {
  return alarm && regulating ? "Авария" : "Норма";
}

const char* KindText(bool pressure) {
  return pressure ? "ВПЗ" : "КВЛ";
}

const char* SerialCaption(bool pressure) {
  return pressure ? "Номер ВПЗ" : "Номер КВЛ";
}

std::string ValveHoldText(const CommandHold& hold, const Satvor& s) {
  std::string mode = "Регулирование";
  if (hold.fstvoff) mode = "КВЛзакрыт пр.";
  if (hold.fstvon) mode = "КВЛоткрыт пр.";
  if (s.fp15) mode = "КВЛоткрыт ан.";
  if (s.fm15) mode = "КВЛзакрыт ан.";
  return mode;
}

std::string FirmwareDateText(int day, int month, int year, int version) {
  char b[96];
  std::snprintf(b, sizeof b, "%s: %d-%d-%d-%d", "Дата прошивки", day, month, year, version);
  return b;
}

}  // namespace kvl
