// Whole frames whose check value is right, by the programs' own answer test.
#pragma once

#include <cstdint>
#include <vector>

#include "protocol/frame.h"

namespace kvl::test {

inline bool KormastValid(const std::vector<uint8_t>& f) {
  return f.size() == 10 && Response(f.data(), f.size(), 10, 0) == 1;
}

inline bool ModbusValid(const std::vector<uint8_t>& f) {
  return f.size() >= 4 && Response(f.data(), f.size(), static_cast<uint32_t>(f.size()), 1) == 1;
}

}  // namespace kvl::test
