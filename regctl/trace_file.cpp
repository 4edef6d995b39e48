#include "regctl/trace_file.h"

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "lineops/reading.h"

namespace kvl::regctl {

bool FileTrace::Open(const std::string& path) {
  out_.open(std::filesystem::path(
                std::u8string(reinterpret_cast<const char8_t*>(path.data()), path.size())),
            std::ios::out | std::ios::app | std::ios::binary);
  return static_cast<bool>(out_);
}

void FileTrace::Line(const std::string& text) {
  out_ << ops::IsoLocalTime(std::chrono::system_clock::now()) << ' ' << text << '\n';
  out_.flush();
}

void FileTrace::Frame(bool sent, int fmodbuson, const uint8_t* p, size_t n) {
  std::string t = sent ? "TX " : "RX ";
  t += fmodbuson ? 'M' : 'K';
  char b[4];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, " %02X", p[i]);
    t += b;
  }
  Line(t);
}

void FileTrace::Note(const std::string& text) {
  Line("NOTE " + text);
}

}  // namespace kvl::regctl
