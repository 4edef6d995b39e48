// The valve state of a channel: its status byte and the text the operator sees.
#pragma once

#include <cstdint>
#include <string>

#include "network/channel_table.h"

namespace kvl {

// Valve text of a channel. Starts from "Затвор: регулир."; fsaton, fsatoff,
// fm15 and fp15, in this order, replace it when set, so the last one set wins.
// openingWording gives ". Прог." / ". Внешн." (monitor window opening, valve
// commands); otherwise "(прог.)" / "(внешн.)" (change of the active channel).
std::string ValveStatusText(const Satvor& s, bool openingWording);

// Status byte of a valve command's answer: bit 4 fsatvor, bit 3 fsatoff, bit 2
// fsaton, bit 1 fm15, bit 0 fp15; bits 7..5 are ignored.
void DecodeValveStatus(Satvor& s, uint8_t statusByte);

}  // namespace kvl
