#include <cstdio>

#include "protocol/commands.h"
#include "solo/solo_status.h"

namespace kvl::solo {

int FlowValue(uint8_t high, uint8_t low) {
  return cmd::FlowOfAnswer(high, low);
}

std::string OutputText(int flow) {
  char b[40];
  std::snprintf(b, sizeof b, "%+3.1f%s", flow / 100.0, "%");
  return b;
}

std::string Chasi(const std::string& ctimeText) {
  return ctimeText.size() > 4 ? ctimeText.substr(4, 15) : std::string();
}

std::string Vivod(int setpoint, int flow, const std::string& ctimeText) {
  char b[200];
  std::snprintf(b, sizeof b, " Задание: %.1f%%; Расход: %+3.1f%%; Дата: %s", setpoint / 100.0,
                flow / 100.0, Chasi(ctimeText).c_str());
  return b;
}

namespace {
const char* ModeText(const SoloState& s) {
  if (!s.Connected()) return "Режим:Нет Связи";
  return s.Current().freg ? "Режим:Регулировка" : "Режим:   Измерение";
}

const char* ValveText(const SoloState& s) {
  if (!s.Connected()) return "Затвор: ?";
  switch (s.fsatbor) {
    case kValveClosed:
      return "Затвор: закрыт";
    case kValveOpen:
      return "Затвор: открыт";
    case kValveRegulating:
      return "Затвор:  регул.";
    case kValveAnalog:
      return "Затвор:включен";
    default:
      return "Затвор: ?";
  }
}
}  // namespace

std::vector<PaintText> StatusBlock(const SoloState& s, int left, int bottom) {
  return {
      {left + 140, 2, s.buf1, s.m_tim1 ? kPollingColour : kStoppedColour},
      {left + 200, bottom - 100, ModeText(s), kBlockColour},
      {left + 200, bottom - 80, ValveText(s), kBlockColour},
      {left + 200, bottom - 60, s.flags.flagPres ? "ВПЗ" : "КВЛ", kBlockColour},
  };
}

}  // namespace kvl::solo
