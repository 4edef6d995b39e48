// The operator's control commands on stdin, one per line, each answered with one
// line "OK ..." or "ERR <reason>":
//   set ADDR key=value[,key=value...]   add DEVICE   remove ADDR   get ADDR
//   list   quit
#pragma once

#include <cstdint>
#include <string>

#include "sim/line.h"

namespace kvl::sim {

struct ControlResult {
  std::string reply;  // the line to print
  bool quit = false;
};

ControlResult RunControl(Line& line, const std::string& command, int64_t nowUs);

}  // namespace kvl::sim
