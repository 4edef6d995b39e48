// The serial ports this computer has, and opening the one a command names.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "serial/link.h"

namespace kvl::regctl {

struct PortInfo {
  std::string name;    // what to give regctl: /dev/ttyUSB0, COM3
  std::string driver;  // what the system says drives it
  std::string about;   // more: USB maker and product, the device object
};

// Linux: the ttyS, ttyUSB and ttyACM devices of sysfs (under sysRoot, normally
// "/sys"), serial ports without a UART behind them left out. Windows: the COM
// ports of the registry's SERIALCOMM map.
std::vector<PortInfo> ListPorts(const std::string& sysRoot = "/sys");

// The link for a port as the user names it: a device path on Linux, COM1 ..
// COM10 on Windows. index: the port's index in the link. Null with a message
// when the name cannot be used.
std::unique_ptr<ByteLink> LinkFor(const std::string& port, int& index, std::string& error);

}  // namespace kvl::regctl
