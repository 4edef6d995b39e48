#include "sim/framer.h"

#include <algorithm>

#include "protocol/frame.h"

namespace kvl::sim {

namespace {

bool KormastAt(const uint8_t* p, size_t n) {
  return n >= kFrameSize && Response(p, n, kFrameSize, 0) == 1;
}

// Longest request of a known length: a coil or register write of 255 data bytes.
constexpr size_t kLongest = 9 + 255;

// Length of the Modbus request starting at p, 0 when not yet known, SIZE_MAX when
// the function has no fixed length rule here.
size_t ModbusLength(const uint8_t* p, size_t n) {
  if (n < 2) return 0;
  switch (p[1]) {
    case 0x01:
    case 0x02:
    case 0x03:
    case 0x04:
    case 0x05:
    case 0x06:
      return 8;
    case 0x0F:
    case 0x10:
      return n >= 7 ? 9u + p[6] : 0;
    default:
      return SIZE_MAX;
  }
}

bool ModbusValid(const uint8_t* p, size_t len) {
  return len >= 4 && Response(p, len, static_cast<uint32_t>(len), 1) == 1;
}

}  // namespace

char ProtoLetter(Proto p) {
  switch (p) {
    case Proto::kKormast:
      return 'K';
    case Proto::kModbus:
      return 'M';
    default:
      return '?';
  }
}

Detected DetectFrame(const uint8_t* p, size_t n, bool gap, size_t scanned) {
  scanned = std::min(scanned, n);
  // A frame that ends within the scanned bytes was tested before; no frame of a
  // known length is longer than kLongest, so earlier offsets hold nothing new.
  const size_t first = gap || scanned < kLongest ? 0 : scanned - kLongest;
  for (size_t off = first; off < n; ++off) {
    const uint8_t* q = p + off;
    const size_t m = n - off;
    const size_t mlen = ModbusLength(q, m);
    if (mlen != 0 && mlen != SIZE_MAX && mlen <= m && off + mlen > scanned && ModbusValid(q, mlen))
      return {Proto::kModbus, off, mlen};
    if (off + kFrameSize > scanned && KormastAt(q, m)) return {Proto::kKormast, off, kFrameSize};
    if (gap && mlen == SIZE_MAX && m <= 256 && ModbusValid(q, m)) return {Proto::kModbus, off, m};
  }
  return {};
}

}  // namespace kvl::sim
