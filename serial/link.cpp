#include "serial/link.h"

namespace kvl {

std::string ByteLink::PortName(int port) {
  return "COM" + std::to_string(port + 1);
}

}  // namespace kvl
