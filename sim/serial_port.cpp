#include "sim/serial_port.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kvl::sim {

namespace {

speed_t SpeedOf(unsigned baud) {
  switch (baud) {
    case 9600:
      return B9600;
    case 38400:
      return B38400;
    default:
      return B19200;
  }
}

bool MakeRaw(int fd, unsigned baud) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return false;
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  cfsetispeed(&t, SpeedOf(baud));
  cfsetospeed(&t, SpeedOf(baud));
  return tcsetattr(fd, TCSANOW, &t) == 0;
}

}  // namespace

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
  if (!MakeRaw(slaveFd_, 19200) || !MakeRaw(fd_, 19200)) {
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
  if (!MakeRaw(fd_, baud)) {
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
  cfsetispeed(&t, SpeedOf(baud));
  cfsetospeed(&t, SpeedOf(baud));
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
