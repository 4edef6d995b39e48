// The byte link on Win32 COM ports with overlapped I/O: the port table of the
// programs ("COM1".."COM10", opened as \\.\COMn so that COM10 works too).
//
// Open: exclusive, overlapped; receive-character events, 4096-byte driver
// queues, everything purged, 19200 8N1 without flow control, read time-outs
// {0, 0, kQuietReadMs} (write time-outs left as they are). A watched port gets a
// watcher thread and DTR raised.
//
// The watcher waits for the first byte of an answer with an overlapped one-byte
// ReadFile, which the driver completes when a byte arrives or, on a quiet line,
// after kQuietReadMs; it then reads whole queued blocks of at most 80 bytes and
// feeds the port's Receiver. It does not wait in WaitCommEvent: under Wine a
// pending WaitCommEvent on a quiet line completes (aborted) hundreds of times a
// second, and re-arming it costs a large share of a core and memory that Wine
// never gives back. A completion that brought nothing, with nothing queued, is
// never followed at once by another read unless it waited half its time-out.
//
// A port whose device has gone away (a USB adapter pulled, the other end of a
// pty closed) is noticed by the watcher's read or by a write failing, confirmed
// by ClearCommError failing too, and then reported by Lost(); the watcher ends.
// Every wait on a port also waits for its stop event (set by Close and when the
// port is found lost) and for a bounded time; an operation that is given up is
// cancelled and its end awaited.
//
// <windows.h> stays out of this header: its MessageBox macro would rename
// Services::MessageBox in every file that includes the link.
#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "serial/link.h"

namespace kvl {

class Win32Link : public ByteLink {
 public:
  // portPrefix: the device name of a port is it followed by the port number
  // (the programs take it from their string table).
  explicit Win32Link(std::string portPrefix = "COM");
  ~Win32Link() override;
  Win32Link(const Win32Link&) = delete;
  Win32Link& operator=(const Win32Link&) = delete;

  bool Open(int port, bool watch) override;
  // False when an event of a port could not be made.
  bool Ready() const override;
  bool IsOpen(int port) const override;
  bool Lost(int port) const override;
  bool SetSpeed(int port, int speedIndex) override;
  void Close(int port) override;
  WriteResult Write(int port, const uint8_t* p, size_t n) override;

  // Longest wait for a write to complete before it is cancelled.
  unsigned writeTimeoutMs = 2000;
  static constexpr unsigned kBlock = 80;  // largest block read at once
  // Read time-out constant: the watcher's wait for a first byte ends after this
  // long on a quiet line, and the watcher starts the next one.
  static constexpr unsigned kQuietReadMs = 1000;

  struct Port;  // handles, overlapped records and the watcher of one port

 private:
  void Watch(int port);
  unsigned ReadCommBlock(int port, uint8_t* dst, unsigned nMaxLength);
  bool Gone(int port);
  void MarkLost(int port, unsigned long error);

  std::string prefix_;
  std::array<std::unique_ptr<Port>, kPortCount> ports_;
};

}  // namespace kvl
