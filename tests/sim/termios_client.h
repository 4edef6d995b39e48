// A plain termios client of regsim's pty; the simulator process itself comes
// from tests/support.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "support/regsim_process.h"

namespace kvl::sim::test {

using kvl::test::RegsimProcess;

// A plain termios client on the pty slave.
class TermiosClient {
 public:
  explicit TermiosClient(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd_ < 0) return;
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B19200);
    cfsetospeed(&t, B19200);
    tcsetattr(fd_, TCSANOW, &t);
    tcflush(fd_, TCIOFLUSH);
  }
  ~TermiosClient() {
    if (fd_ >= 0) close(fd_);
  }
  bool Ok() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  void SetBaud(speed_t speed) {
    termios t{};
    tcgetattr(fd_, &t);
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    tcsetattr(fd_, TCSANOW, &t);
  }

  // Writes the request and gathers the answer until `want` bytes or timeoutMs.
  // Each read's size is kept in `reads` when given.
  std::vector<uint8_t> Exchange(const std::vector<uint8_t>& req, size_t want, int timeoutMs = 2000,
                                std::vector<size_t>* reads = nullptr) {
    if (write(fd_, req.data(), req.size()) != static_cast<ssize_t>(req.size())) return {};
    return Gather(want, timeoutMs, reads);
  }

  std::vector<uint8_t> Gather(size_t want, int timeoutMs, std::vector<size_t>* reads = nullptr) {
    std::vector<uint8_t> got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < want) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            end - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) <= 0) break;
      uint8_t b[256];
      const ssize_t n = read(fd_, b, sizeof b);
      if (n <= 0) break;
      got.insert(got.end(), b, b + n);
      if (reads) reads->push_back(static_cast<size_t>(n));
    }
    return got;
  }

 private:
  int fd_ = -1;
};

}  // namespace kvl::sim::test
