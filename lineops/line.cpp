#include "lineops/line.h"

namespace kvl::ops {

bool Line::Open() {
  if (!link_.Open(port_, true)) return false;
  link_.TakeNotices();  // what an earlier use of the port left
  if (speed_ != 1 && !link_.SetSpeed(port_, speed_)) {
    link_.Close(port_);
    return false;
  }
  return true;
}

void Line::Close() {
  link_.Close(port_);
}

bool Line::SetSpeed(int speedIndex) {
  if (speedIndex < 0 || speedIndex > 2) return false;
  if (IsOpen() && !link_.SetSpeed(port_, speedIndex)) return false;
  speed_ = speedIndex;
  return true;
}

const char* ProtocolName(int fmodbuson) {
  return fmodbuson ? "modbus" : "kormast";
}

const char* ProtocolTitle(int fmodbuson) {
  return fmodbuson ? "Modbus" : "Кормаст-10м";
}

}  // namespace kvl::ops
