// What regsolo shows of its regulator: the measured values, the status line
// refreshed by polling and the status block of the main window.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "solo/solo_state.h"
#include "view/view.h"

namespace kvl::solo {

// Colours of the status block (0x00BBGGRR).
constexpr uint32_t kPollingColour = 0x0000FF00;  // green while polling runs
constexpr uint32_t kStoppedColour = 0x008F8F8F;  // grey otherwise
constexpr uint32_t kBlockColour = 0x00F0F0F0;    // the lower lines

// Flow in 0.01 % from its sign-and-magnitude bytes (bit 15 is the sign).
int FlowValue(uint8_t high, uint8_t low);
// Unsigned 16-bit value, high byte first.
inline int Word(uint8_t high, uint8_t low) {
  return high * 256 + low;
}
// Output value of the zero-offset dialog: flow / 100 as "%+3.1f%" (e.g. "-0.1%").
std::string OutputText(int flow);
// Characters 5..19 of a ctime text: month, day and hh:mm:ss.
std::string Chasi(const std::string& ctimeText);
// The status line: setpoint and flow in 0.01 %, and the time of the reading.
std::string Vivod(int setpoint, int flow, const std::string& ctimeText);
// The status block painted in a client area with this left edge and bottom.
std::vector<PaintText> StatusBlock(const SoloState& s, int left, int bottom);

}  // namespace kvl::solo
