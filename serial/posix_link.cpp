#include "serial/posix_link.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>

#include "protocol/commands.h"
#include "serial/termios_line.h"

namespace kvl {

namespace {

// DTR on or off; a pty has no modem lines and says so, which is not a failure.
bool SetDtr(int fd, bool on) {
  int bits = TIOCM_DTR;
  if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0) return true;
  return errno == ENOTTY || errno == EINVAL;
}

// Errors of a device that has gone away for good.
bool DeviceGone(int err) {
  return err == EIO || err == ENXIO || err == ENODEV || err == EPIPE;
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Gives the device back: others may open it again, even while some other
// descriptor of it stays open.
void Release(int fd) {
  ioctl(fd, TIOCNXCL);
  ::close(fd);
}

}  // namespace

PosixLink::PosixLink(std::array<std::string, kPortCount> paths) : paths_(std::move(paths)) {}

PosixLink::~PosixLink() {
  for (int i = 0; i < kPortCount; ++i) Close(i);
}

bool PosixLink::Open(int port, bool watch) {
  if (!ValidPort(port) || IsOpen(port)) return false;
  whyNot_[port] = OpenFailure::kDevice;
  if (paths_[port].empty()) return false;
  Port& pt = ports_[port];
  const int fd = ::open(paths_[port].c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  // Exclusive: a second open of the device (by anyone but root) is refused.
  if (ioctl(fd, TIOCEXCL) != 0) {
    ::close(fd);
    return false;
  }
  if (!SetRawLine(fd, 19200, 0) || tcflush(fd, TCIOFLUSH) != 0 || !SetDtr(fd, true)) {
    Release(fd);
    return false;
  }
  lost_[port].store(false, std::memory_order_release);
  int wake[2] = {-1, -1};
  if (watch) {
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
      Release(fd);
      return false;
    }
    try {
      pt.watcher = std::thread(&PosixLink::Watch, this, port, fd, wake[0]);
      pthread_setname_np(pt.watcher.native_handle(), kWatcherThreadName);
    } catch (const std::system_error&) {
      ::close(wake[0]);
      ::close(wake[1]);
      Release(fd);
      whyNot_[port] = OpenFailure::kWatcher;
      return false;
    }
  }
  whyNot_[port] = OpenFailure::kNone;
  pt.fd = fd;
  pt.wakeRead = wake[0];
  pt.wakeWrite = wake[1];
  return true;
}

bool PosixLink::IsOpen(int port) const {
  return ValidPort(port) && ports_[port].fd >= 0;
}

bool PosixLink::Lost(int port) const {
  return IsOpen(port) && lost_[port].load(std::memory_order_acquire);
}

bool PosixLink::SetSpeed(int port, int speedIndex) {
  return IsOpen(port) && SetRawLine(ports_[port].fd, cmd::BaudOfIndex(speedIndex), 0);
}

void PosixLink::Close(int port) {
  if (!IsOpen(port)) return;
  Port& pt = ports_[port];
  if (pt.watcher.joinable()) {
    const uint8_t stop = 1;
    while (::write(pt.wakeWrite, &stop, 1) < 0 && errno == EINTR) {
    }
    pt.watcher.join();
  }
  CloseFd(pt.wakeRead);
  CloseFd(pt.wakeWrite);
  SetDtr(pt.fd, false);
  // Unread input goes; bytes already written (regsolo's closing frame) still
  // reach the line: flushing them would drop what the driver has not sent yet.
  tcflush(pt.fd, TCIFLUSH);
  Release(pt.fd);
  pt.fd = -1;
  lost_[port].store(false, std::memory_order_release);
}

WriteResult PosixLink::Write(int port, const uint8_t* p, size_t n) {
  if (!IsOpen(port)) return {WriteStatus::kNoHandle, 0};
  if (Lost(port)) return {WriteStatus::kPortLost, 0};
  const int fd = ports_[port].fd;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(writeTimeoutMs);
  size_t done = 0;
  while (done < n) {
    const ssize_t w = ::write(fd, p + done, n - done);
    if (w > 0) {
      done += static_cast<size_t>(w);
      continue;
    }
    if (w < 0 && errno == EINTR) continue;
    if (w < 0 && DeviceGone(errno)) {
      lost_[port].store(true, std::memory_order_release);
      return {WriteStatus::kPortLost, static_cast<uint32_t>(errno)};
    }
    if (w < 0 && errno != EAGAIN) {
      // Nothing went out: refused, the transaction pauses and tries again.
      // Part of the frame went out: the device may have seen it, it counts as sent.
      const auto code = static_cast<uint32_t>(errno);
      return {done == 0 ? WriteStatus::kRefused : WriteStatus::kCompletionError, code};
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd out{fd, POLLOUT, 0};
    poll(&out, 1, static_cast<int>(left.count()));
  }
  if (done == n) return {WriteStatus::kDone, 0};
  return {done == 0 ? WriteStatus::kRefused : WriteStatus::kCompletionError, 0};
}

void PosixLink::Watch(int port, int fd, int wakeFd) {
  uint8_t block[kBlock];
  bool deviceUp = true;  // false after the device failed or hung up: only wait for Close
  for (;;) {
    pollfd fds[2] = {{wakeFd, POLLIN, 0}, {fd, POLLIN, 0}};
    if (poll(fds, deviceUp ? 2 : 1, -1) < 0) {
      if (errno == EINTR) continue;
      Notice("poll", errno);
      return;
    }
    if (fds[0].revents != 0) return;  // Close asked us to end
    if (fds[1].revents == 0) continue;
    bool gone = (fds[1].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != POLLIN;
    int code = fds[1].revents & POLLNVAL ? EBADF : EIO;
    for (;;) {  // whole queued blocks, until the queue is empty
      const ssize_t n = ::read(fd, block, kBlock);
      if (n > 0) {
        rx_[port].OnBlock(block, static_cast<size_t>(n));
        if (static_cast<size_t>(n) < kBlock) break;
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) break;
      // End of file (the other end hung up) or a read error.
      gone = true;
      if (n < 0) code = errno;
      break;
    }
    if (gone) {
      lost_[port].store(true, std::memory_order_release);
      Notice("read", code);
      deviceUp = false;
    }
  }
}

}  // namespace kvl
