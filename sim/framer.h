// Tells requests apart on a line that carries both protocols: a 10-byte frame whose
// additive sum is right is a "Кормаст-10м" request; a frame that is a whole Modbus
// RTU request by its length rule and CRC is a Modbus request.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kvl::sim {

enum class Proto { kNone, kKormast, kModbus };

struct Detected {
  Proto proto = Proto::kNone;
  size_t offset = 0;  // junk bytes before the frame
  size_t length = 0;  // frame length
};

// Looks for the first complete valid frame in p[0..n). A Modbus function whose
// length the framer does not know is taken only at an inter-frame gap (gap = true),
// as the whole of what was gathered.
//
// scanned: how many of the bytes an earlier call (without gap) already looked at
// and found no frame in. Frames that end within them are not tested again, so
// bytes arriving one by one cost a bounded time each, not the whole buffer again.
Detected DetectFrame(const uint8_t* p, size_t n, bool gap, size_t scanned = 0);

// Protocol letter of the trace: K, M or ?.
char ProtoLetter(Proto p);

}  // namespace kvl::sim
