// Decoding of the identify answer's status bytes in the single-regulator program.
// Format byte 6 or 7 selects layout A, any other value layout B.
#pragma once

#include <cstdint>

namespace kvl::solo {

// Flags kept per port index (the entry of the current port is decoded).
struct PortFlags {
  int freg = 1;    // regulating
  int fopzi = 0;   // setpoint input is digital
  int favari = 0;  // alarm
};

// Program-wide flags.
struct StatusFlags {
  int fstvon = 0;     // valve opened by program
  int fstvoff = 0;    // valve closed by program
  int fda0 = 0;       // regulation permitted
  int fgasset = 0;    // a flow device is fitted: switching to ВПЗ refused
  int fexternal = 0;  // valve control flag
  int fIinter = 0;    // analogue valve signal says open
  int fvnech = 0;     // valve held by the analogue signal
  int frasre = 0;     // mode is remembered
  int flagPres = 0;   // works as ВПЗ
};

// Decodes res[1] and res[6]. Always succeeds.
void SetFlags(const uint8_t* res, unsigned version_KVL, StatusFlags& f, PortFlags& p);

}  // namespace kvl::solo
