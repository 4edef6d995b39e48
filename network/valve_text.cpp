#include "network/valve_text.h"

namespace kvl {

std::string ValveStatusText(const Satvor& s, bool openingWording) {
  std::string t = "Затвор: регулир.";
  if (s.fsaton) t = openingWording ? "Затвор: открыт. Прог." : "Затвор: открыт(прог.)";
  if (s.fsatoff) t = openingWording ? "Затвор: закрыт. Прог." : "Затвор: закрыт(прог.)";
  if (s.fm15) t = openingWording ? "Затвор: закрыт. Внешн." : "Затвор: закрыт(внешн.)";
  if (s.fp15) t = openingWording ? "Затвор: открыт. Внешн." : "Затвор: открыт(внешн.)";
  return t;
}

void DecodeValveStatus(Satvor& s, uint8_t b) {
  s.fsatvor = (b >> 4) & 1;
  s.fsatoff = (b >> 3) & 1;
  s.fsaton = (b >> 2) & 1;
  s.fm15 = (b >> 1) & 1;
  s.fp15 = b & 1;
}

}  // namespace kvl
