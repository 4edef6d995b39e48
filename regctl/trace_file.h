// --trace FILE: every frame written and every answer accepted, with the time,
// the direction and the bytes in hex, one line each, flushed at once:
//   2026-12-07T14:31:42.123+03:00 TX K 01 00 00 00 00 00 00 05 00 06
//   2026-12-07T14:31:42.131+03:00 RX K 01 03 0C 1D 00 07 42 05 00 79
//   2026-12-07T14:31:42.340+03:00 NOTE TimeOut0
// K is "Кормаст-10м", M Modbus RTU.
#pragma once

#include <fstream>
#include <string>

#include "lineops/line.h"

namespace kvl::regctl {

class FileTrace : public ops::FrameSink {
 public:
  // False when the file cannot be opened for appending.
  bool Open(const std::string& path);
  void Frame(bool sent, int fmodbuson, const uint8_t* p, size_t n) override;
  void Note(const std::string& text) override;

 private:
  void Line(const std::string& text);
  std::ofstream out_;
};

}  // namespace kvl::regctl
