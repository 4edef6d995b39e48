// A private temporary directory for one test, removed with everything in it at
// the end, and the text of a file. Portable: the suites built for Windows use
// them too.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace kvl::test {

class TempDir {
 public:
  TempDir() {
    // A fresh name nobody else has (mkdtemp is POSIX only).
    std::random_device rd;
    std::error_code ec;
    for (int i = 0; i < 100 && path_.empty(); ++i) {
      const auto p = std::filesystem::temp_directory_path(ec) / ("kvltest." + std::to_string(rd()));
      if (std::filesystem::create_directory(p, ec)) path_ = p;
    }
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// The whole text of a file; empty when it cannot be read.
inline std::string ReadText(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

}  // namespace kvl::test
