// Raw 8N1 line settings of a POSIX terminal, shared by the POSIX link and the
// simulator's serial port.
#pragma once

#include <termios.h>

namespace kvl {

// Terminal speed of a baud rate: 9600, 38400, anything else 19200.
inline speed_t TermiosSpeed(unsigned baud) {
  switch (baud) {
    case 9600:
      return B9600;
    case 38400:
      return B38400;
    default:
      return B19200;
  }
}

// Raw 8N1 at the given baud rate, no flow control of any kind. vmin 0: reads
// never block; vmin 1: a read waits for at least one byte.
inline bool SetRawLine(int fd, unsigned baud, cc_t vmin) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return false;
  cfmakeraw(&t);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  t.c_cflag |= CS8 | CLOCAL | CREAD;
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  t.c_cc[VMIN] = vmin;
  t.c_cc[VTIME] = 0;
  const speed_t speed = TermiosSpeed(baud);
  if (cfsetispeed(&t, speed) != 0 || cfsetospeed(&t, speed) != 0) return false;
  return tcsetattr(fd, TCSANOW, &t) == 0;
}

}  // namespace kvl
