// Translation of the internal frame to Modbus RTU requests and of Modbus answers
// back into the internal answer layout, so that every decoder sees one layout.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/frame.h"

namespace kvl {

// Rewrites rq.com in place into the Modbus request of its code and sets wlength and
// rlength. Returns 1 for the ten translatable codes; for any other code (the
// firmware-date request among them) returns 0 with the code saved in komand, the
// address moved into byte 0 and the lengths unchanged.
int PrebrasTuda(Request& rq);

// Rewrites the Modbus answer in res (address, function, data, CRC) into the
// internal layout, using rq.komand. Returns 1 for the translatable codes, else 0.
// Only the first 10 bytes of res are touched.
int PrebrasBack(const Request& rq, uint8_t* res, size_t resSize);
inline int PrebrasBack(const Request& rq, Answer& a) {
  return PrebrasBack(rq, a.res.data(), a.res.size());
}

// True when a Modbus answer of length len is an exception answer (function code
// with bit 7 set, 5 bytes).
bool IsModbusException(const uint8_t* res, size_t len);

}  // namespace kvl
