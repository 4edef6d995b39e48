// What the device commands tell the operator, in one place: the network
// programs' menu commands and the command-line tools use the same words.
#pragma once

#include "network/channel_table.h"

namespace kvl {

// A kind the fitted sensor cannot give is refused: "Нет возможности. Подключен
// ВПЗ" for КВЛ asked of a regulator that cannot be switched to it (f45pres),
// "Нет возможности. Подключен КВЛ" for ВПЗ (fgasset). nullptr when it can be.
const char* KindRefusal(const tagData& d, bool pressure);

// The zero setting's question and its caption: zero pressure for a pressure
// regulator, zero flow otherwise.
struct Question {
  const char* text;
  const char* caption;
};
Question ZeroQuestion(bool pressure);

// "Выключите внешнее управление затвором" when the external signal holds the
// valve (fm15 or fp15 of a valve command's answer), else nullptr.
const char* ExternalValveWarning(const Satvor& s);

}  // namespace kvl
