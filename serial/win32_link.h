// The byte link on Win32 COM ports with overlapped I/O: the port table of the
// programs ("COM1".."COM10", opened as \\.\COMn so that COM10 works too).
//
// Open: exclusive, overlapped; receive-character events, 4096-byte driver
// queues, everything purged, time-outs left as they are, 19200 8N1 without flow
// control. A watched port gets a watcher thread and DTR raised. The watcher waits
// for EV_RXCHAR with an overlapped WaitCommEvent, reads whole queued blocks of at
// most 80 bytes and feeds the port's Receiver. Close clears the port's flag and
// event mask, wakes the watcher, joins it, drops DTR, purges and closes.
//
// <windows.h> stays out of this header: its MessageBox macro would rename
// Services::MessageBox in every file that includes the link.
#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <vector>

#include "serial/link.h"

namespace kvl {

class Win32Link : public ByteLink {
 public:
  Win32Link();
  ~Win32Link() override;
  Win32Link(const Win32Link&) = delete;
  Win32Link& operator=(const Win32Link&) = delete;

  bool Open(int port, bool watch) override;
  bool IsOpen(int port) const override;
  bool SetSpeed(int port, int speedIndex) override;
  void Close(int port) override;
  WriteResult Write(int port, const uint8_t* p, size_t n) override;
  Receiver& Rx(int port) override;
  std::vector<LinkNotice> TakeNotices() override;

  // Longest wait for a write to complete before it is cancelled.
  unsigned writeTimeoutMs = 2000;
  static constexpr unsigned kBlock = 80;  // largest block read at once

  struct Port;  // handles, overlapped records and the watcher of one port

 private:
  void Watch(int port);
  unsigned ReadCommBlock(int port, uint8_t* dst, unsigned nMaxLength);
  void Notice(const char* what, uint32_t code);

  std::array<std::unique_ptr<Port>, kPortCount> ports_;
  std::array<Receiver, kPortCount> rx_;
  std::mutex noticesMutex_;
  std::vector<LinkNotice> notices_;
};

}  // namespace kvl
