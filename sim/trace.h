// The trace of everything on the line: one line per frame received or sent and
// one per notable event, flushed at once so that a reader can follow it live.
//   <ms since start> RX|TX K|M|? <hex bytes>
//   <ms since start> NOTE <text>
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace kvl::sim {

class Trace {
 public:
  Trace() = default;
  ~Trace();
  Trace(const Trace&) = delete;
  Trace& operator=(const Trace&) = delete;

  // Appends to the file; false when it cannot be opened.
  bool Open(const std::string& path);
  // Also keeps the lines in memory (for tests).
  void KeepLines(bool keep) { keep_ = keep; }

  // Lines are only formatted when they go somewhere (a file, or kept).
  void Frame(int64_t ms, bool rx, char proto, const std::vector<uint8_t>& bytes);
  void Note(int64_t ms, const std::string& text);
  const std::vector<std::string>& Lines() const { return lines_; }

  static std::string Hex(const std::vector<uint8_t>& bytes);

 private:
  void Put(const std::string& line);
  std::FILE* file_ = nullptr;
  bool keep_ = false;
  std::vector<std::string> lines_;
};

}  // namespace kvl::sim
