// Which answer belongs to which request. The receiver asks this whenever the
// bytes gathered pass the check value, so an answer that belongs to another
// request (a late answer of another device, the answer to an earlier command)
// is dropped and the wait goes on; a late answer to an earlier attempt of the
// same request still counts.
//
// "Кормаст-10м": 10 bytes; byte 0 is the request's code; byte 7 is the
// request's address, unless the request went to address 0, which any device
// may answer. A valve request may also be answered with code 0: the device
// refuses to move a valve held by the external signal.
//
// Modbus RTU: byte 0 is the request's address (unless it was 0) and byte 1 its
// function; a read carries the byte count of the registers asked for, a
// register write echoes the register (its value is the one now in force), a
// coil write echoes the first coil and the count; the length is the one
// expected. An exception answer (function + 0x80, 5 bytes) to the same
// address and function belongs too: the device refused the request.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "protocol/frame.h"

namespace kvl {

// The request an answer is waited for, as it went out on the line.
struct AnswerRule {
  std::array<uint8_t, kFrameSize> request{};  // the frame sent (maker's or Modbus)
  uint32_t rlength = kFrameSize;              // length of a whole answer
  int fmodbuson = 0;

  static AnswerRule Of(const Request& rq) { return {rq.com, rq.rlength, rq.fmodbuson}; }
};

enum class Belongs {
  kYes,     // the answer to this request (or the device's refusal of it)
  kNotYet,  // the start of such an answer: keep gathering
  kNo,      // not an answer to this request: drop it
};

// Judges the first len bytes of res, which have passed the check value.
Belongs AnswerBelongs(const AnswerRule& rule, const uint8_t* res, size_t len);

}  // namespace kvl
