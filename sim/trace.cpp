#include "sim/trace.h"

namespace kvl::sim {

Trace::~Trace() {
  if (file_) std::fclose(file_);
}

bool Trace::Open(const std::string& path) {
  if (file_) std::fclose(file_);
  file_ = std::fopen(path.c_str(), "a");
  return file_ != nullptr;
}

std::string Trace::Hex(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i) s += ' ';
    s += kDigits[bytes[i] >> 4];
    s += kDigits[bytes[i] & 0x0F];
  }
  return s;
}

void Trace::Frame(int64_t ms, bool rx, char proto, const std::vector<uint8_t>& bytes) {
  if (!file_ && !keep_) return;
  Put(std::to_string(ms) + (rx ? " RX " : " TX ") + proto + ' ' + Hex(bytes));
}

void Trace::Note(int64_t ms, const std::string& text) {
  if (!file_ && !keep_) return;
  Put(std::to_string(ms) + " NOTE " + text);
}

void Trace::Put(const std::string& line) {
  if (keep_) lines_.push_back(line);
  if (file_) {
    std::fputs(line.c_str(), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
  }
}

}  // namespace kvl::sim
