#include "commands/command_texts.h"

namespace kvl {

const char* KindRefusal(const tagData& d, bool pressure) {
  if (!pressure && d.f45pres == 1) return "Нет возможности. Подключен ВПЗ";
  if (pressure && d.fgasset == 1) return "Нет возможности. Подключен КВЛ";
  return nullptr;
}

Question ZeroQuestion(bool pressure) {
  if (pressure)
    return {"Операция проводится при нулевом давлении.Установить ноль?",
            "ВНИМАНИЕ!!! НУЛЕВОЕ ДАВЛЕНИЕ"};
  return {"Операция проводится при нулевом расходе.Установить ноль?", "ВНИМАНИЕ!!! ВЫКЛЮЧИТЕ ГАЗ"};
}

const char* ExternalValveWarning(const Satvor& s) {
  return s.fm15 || s.fp15 ? "Выключите внешнее управление затвором" : nullptr;
}

}  // namespace kvl
