#include "sim/serial_port.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "serial/termios_line.h"

namespace kvl::sim {

// The simulator's side of the line: reads wait for at least one byte.
constexpr cc_t kBlockingReads = 1;

SerialPort::~SerialPort() {
  if (slaveFd_ >= 0) close(slaveFd_);
  if (fd_ >= 0) close(fd_);
}

bool SerialPort::OpenPty(std::string& err) {
  fd_ = posix_openpt(O_RDWR | O_NOCTTY);
  if (fd_ < 0 || grantpt(fd_) != 0 || unlockpt(fd_) != 0) {
    err = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  const char* name = ptsname(fd_);
  if (!name) {
    err = "cannot name the pseudo-terminal";
    return false;
  }
  slavePath_ = name;
  slaveFd_ = open(name, O_RDWR | O_NOCTTY);
  if (slaveFd_ < 0) {
    err = "cannot open " + slavePath_ + ": " + std::strerror(errno);
    return false;
  }
  if (!SetRawLine(slaveFd_, 19200, kBlockingReads) || !SetRawLine(fd_, 19200, kBlockingReads)) {
    err = "cannot set the pseudo-terminal raw";
    return false;
  }
  fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
  return true;
}

bool SerialPort::OpenDevice(const std::string& path, unsigned baud, std::string& err) {
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd_ < 0) {
    err = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  if (!SetRawLine(fd_, baud, kBlockingReads)) {
    err = path + " is not a serial port (cannot set it raw 8N1)";
    return false;
  }
  tcflush(fd_, TCIOFLUSH);
  return true;
}

bool SerialPort::SetBaud(unsigned baud) {
  if (IsPty() || fd_ < 0) return true;
  termios t{};
  if (tcgetattr(fd_, &t) != 0) return false;
  cfsetispeed(&t, TermiosSpeed(baud));
  cfsetospeed(&t, TermiosSpeed(baud));
  return tcsetattr(fd_, TCSADRAIN, &t) == 0;
}

unsigned SerialPort::ClientBaud() const {
  termios t{};
  if (slaveFd_ < 0 || tcgetattr(slaveFd_, &t) != 0) return 0;
  switch (cfgetospeed(&t)) {
    case B9600:
      return 9600;
    case B19200:
      return 19200;
    case B38400:
      return 38400;
    default:
      return 0;
  }
}

void SerialPort::Drain() {
  if (!IsPty() && fd_ >= 0) tcdrain(fd_);
}

}  // namespace kvl::sim
