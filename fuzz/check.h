// What every fuzz target shares: a check that aborts (so libFuzzer records the
// input) and independent references of the two check values.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "protocol/frame.h"

#define FUZZ_CHECK(cond)                                                            \
  do {                                                                              \
    if (!(cond)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                 \
    }                                                                               \
  } while (0)

namespace kvl::fuzz {

// "Кормаст-10м": 16-bit sum of the bytes, high byte first after them.
inline bool SumOk(const uint8_t* p, size_t len) {
  if (len < 3) return false;
  unsigned sum = 0;
  for (size_t i = 0; i + 2 < len; ++i) sum += p[i];
  return (sum & 0xFFFF) == (p[len - 2] * 256u + p[len - 1]);
}

// Modbus RTU: CRC-16 (polynomial 0xA001 reflected, start 0xFFFF), computed by
// table here, unlike the code under test, low byte first on the line.
inline uint16_t Crc(const uint8_t* p, size_t n) {
  static const auto table = [] {
    std::array<uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
      unsigned c = i;
      for (int b = 0; b < 8; ++b) c = (c >> 1) ^ ((c & 1) ? 0xA001u : 0u);
      t[i] = static_cast<uint16_t>(c);
    }
    return t;
  }();
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < n; ++i)
    crc = static_cast<uint16_t>((crc >> 8) ^ table[(crc ^ p[i]) & 0xFF]);
  return crc;
}

inline bool CrcOk(const uint8_t* p, size_t len) {
  if (len < 3) return false;
  const uint16_t c = Crc(p, len - 2);
  return p[len - 2] == (c & 0xFF) && p[len - 1] == (c >> 8);
}

inline bool CheckOk(const uint8_t* p, size_t len, bool modbus) {
  return modbus ? CrcOk(p, len) : SumOk(p, len);
}

// Puts the right check value into the last two bytes of a frame of len bytes.
inline void Seal(uint8_t* p, size_t len, bool modbus) {
  if (len < 2) return;
  if (modbus) {
    const uint16_t c = Crc(p, len - 2);
    p[len - 2] = static_cast<uint8_t>(c & 0xFF);
    p[len - 1] = static_cast<uint8_t>(c >> 8);
  } else {
    unsigned sum = 0;
    for (size_t i = 0; i + 2 < len; ++i) sum += p[i];
    p[len - 2] = static_cast<uint8_t>((sum >> 8) & 0xFF);
    p[len - 1] = static_cast<uint8_t>(sum & 0xFF);
  }
}

// An answer of n bytes belongs to the request req that went out: in the
// maker's protocol 10 bytes with its code (0 refuses a valve request) and its
// address (any after address 0); in Modbus its address (any after 0) and its
// function with the length expected, or the refusal of that function in 5.
inline bool BelongsTo(const uint8_t* req, bool modbus, uint32_t rlength, const uint8_t* a,
                      size_t n) {
  if (!modbus)
    return n == 10 && (a[0] == req[0] || (req[0] == kvl::CMD_VALVE && a[0] == 0)) &&
           (req[7] == 0 || a[7] == req[7]);
  if (req[0] != 0 && a[0] != req[0]) return false;
  if (a[1] == (req[1] | 0x80)) return n == 5;
  return a[1] == req[1] && n == rlength;
}

}  // namespace kvl::fuzz
