#include "protocol/answer_match.h"

namespace kvl {

namespace {

// Bytes from..to-1 of the answer, as far as it goes, equal those of the request.
bool SameAs(const uint8_t* res, size_t len, const uint8_t* req, size_t from, size_t to) {
  for (size_t i = from; i < to && i < len; ++i)
    if (res[i] != req[i]) return false;
  return true;
}

// What is still missing decides: a shorter answer may yet grow into this one.
Belongs ByLength(size_t len, size_t whole) {
  if (len < whole) return Belongs::kNotYet;
  return len == whole ? Belongs::kYes : Belongs::kNo;
}

Belongs Kormast(const uint8_t* req, const uint8_t* res, size_t len) {
  const uint8_t code = req[0], addr = req[7];
  const bool refusedValve = code == CMD_VALVE && res[0] == 0;
  if (res[0] != code && !refusedValve) return Belongs::kNo;
  if (addr != 0 && len > 7 && res[7] != addr) return Belongs::kNo;
  return ByLength(len, kFrameSize);
}

Belongs Modbus(const AnswerRule& rule, const uint8_t* res, size_t len) {
  const uint8_t* req = rule.request.data();
  const uint8_t addr = req[0], fn = req[1];
  if (addr != 0 && res[0] != addr) return Belongs::kNo;
  if (res[1] == (fn | 0x80)) return ByLength(len, 5);  // the device refused
  if (res[1] != fn) return Belongs::kNo;
  switch (fn) {
    case 0x03: {  // byte count of the registers asked for
      const unsigned count = (req[4] << 8) | req[5];
      if (res[2] != static_cast<uint8_t>(2 * count)) return Belongs::kNo;
      break;
    }
    case 0x06:  // the register written
      if (!SameAs(res, len, req, 2, 4)) return Belongs::kNo;
      break;
    case 0x0F:  // the first coil and the count
      if (!SameAs(res, len, req, 2, 6)) return Belongs::kNo;
      break;
    default:
      break;
  }
  return ByLength(len, rule.rlength);
}

}  // namespace

Belongs AnswerBelongs(const AnswerRule& rule, const uint8_t* res, size_t len) {
  if (len < 3) return Belongs::kNotYet;  // no check value passes below 3 bytes
  return rule.fmodbuson ? Modbus(rule, res, len) : Kormast(rule.request.data(), res, len);
}

}  // namespace kvl
