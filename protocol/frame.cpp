#include "protocol/frame.h"

#include <cstdio>

namespace kvl {

uint16_t Sum16(const uint8_t* p, size_t n) {
  uint32_t sum = 0;
  for (size_t i = 0; i < n; ++i) sum += p[i];
  return static_cast<uint16_t>(sum);
}

uint16_t Crc16(const uint8_t* p, size_t n) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int b = 0; b < 8; ++b)
      crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  }
  return crc;
}

int ContrSum(uint8_t* frame, uint32_t wlen, int fmodbuson) {
  if (wlen < 3 || wlen > kFrameSize) return 1;
  if (fmodbuson == 0) {
    uint16_t s = Sum16(frame, wlen - 2);
    frame[wlen - 2] = static_cast<uint8_t>(s >> 8);
    frame[wlen - 1] = static_cast<uint8_t>(s & 0xFF);
  } else {
    uint16_t c = Crc16(frame, wlen - 2);
    frame[wlen - 2] = static_cast<uint8_t>(c & 0xFF);
    frame[wlen - 1] = static_cast<uint8_t>(c >> 8);
  }
  return 1;
}

int Response(const uint8_t* res, size_t resSize, uint32_t rlen, int fmodbuson, std::string* diag) {
  if (rlen < 3 || rlen > resSize) return 0;
  if (fmodbuson == 0) {
    uint16_t s = Sum16(res, rlen - 2);
    return s == res[rlen - 2] * 256u + res[rlen - 1] ? 1 : 0;
  }
  uint16_t crc = Crc16(res, rlen - 2);
  unsigned got = res[rlen - 2] + res[rlen - 1] * 256u;
  if (crc == got) return 1;
  if (diag) {
    std::string t = "response";
    char b[32];
    for (uint32_t i = 0; i < rlen; ++i) {
      std::snprintf(b, sizeof b, "%d-", res[i]);
      t += b;
    }
    std::snprintf(b, sizeof b, ":%d;%d", static_cast<int>(crc) - static_cast<int>(got),
                  static_cast<int>(rlen));
    t += "difference";
    t += b;
    *diag = t;
  }
  return 0;
}

void SelectKormast(Request& rq) {
  rq.fmodbuson = 0;
  rq.wlength = 10;
  rq.rlength = 10;
}

void SelectModbus(Request& rq) {
  rq.fmodbuson = 1;
}

}  // namespace kvl
