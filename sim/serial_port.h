// The line end of the simulator: the master side of a pseudo-terminal (whose
// slave the programs open as their serial port) or a real serial device, raw 8N1.
#pragma once

#include <string>

namespace kvl::sim {

class SerialPort {
 public:
  SerialPort() = default;
  ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens a pty pair: serves the master, keeps a slave descriptor open so that the
  // line never hangs up when a program closes its port, sets the slave raw.
  bool OpenPty(std::string& err);
  // Opens a serial device raw 8N1 at baud.
  bool OpenDevice(const std::string& path, unsigned baud, std::string& err);
  // Switches the real line speed (a device; on a pty the speed is only emulated).
  bool SetBaud(unsigned baud);
  // Waits until written bytes are out (a device).
  void Drain();
  // On a pty: the speed the program has set on its end (0 when unknown).
  unsigned ClientBaud() const;

  int Fd() const { return fd_; }
  const std::string& SlavePath() const { return slavePath_; }
  bool IsPty() const { return slaveFd_ >= 0; }

 private:
  int fd_ = -1;
  int slaveFd_ = -1;
  std::string slavePath_;
};

}  // namespace kvl::sim
