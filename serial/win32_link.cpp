#include "serial/win32_link.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>

#include "protocol/commands.h"

namespace kvl {

struct Win32Link::Port {
  HANDLE hCom = INVALID_HANDLE_VALUE;
  std::atomic<bool> fconnect{false};
  std::thread watcher;
  OVERLAPPED osWrite{};
  OVERLAPPED osRead{};
  OVERLAPPED osWait{};    // the watcher's WaitCommEvent
  HANDLE stop = nullptr;  // set by Close: the watcher must end

  Port() {
    osWrite.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    osRead.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    osWait.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  ~Port() {
    for (HANDLE h : {osWrite.hEvent, osRead.hEvent, osWait.hEvent, stop})
      if (h) CloseHandle(h);
  }
  bool Ready() const { return osWrite.hEvent && osRead.hEvent && osWait.hEvent && stop; }
};

namespace {

constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

// Line settings of the regulators: 8N1 without flow control at the given speed.
// Every field not named keeps the value read from the port.
BOOL SetupConn(HANDLE h, DWORD baud) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(h, &dcb)) return FALSE;
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = baud;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = TRUE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  dcb.XonLim = 100;
  dcb.XoffLim = 100;
  return SetCommState(h, &dcb);
}

void Trace(const char* text) {
  OutputDebugStringA(text);
}

}  // namespace

Win32Link::Win32Link() {
  for (auto& p : ports_) p = std::make_unique<Port>();
}

Win32Link::~Win32Link() {
  for (int i = 0; i < kPortCount; ++i) Close(i);
}

bool Win32Link::Open(int port, bool watch) {
  if (!ValidPort(port) || IsOpen(port) || !ports_[port]->Ready()) return false;
  Port& pt = *ports_[port];
  const std::string name = "\\\\.\\" + PortName(port);
  HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;  // absent or busy: the caller reports
  SetCommMask(h, EV_RXCHAR);
  SetupComm(h, 4096, 4096);
  PurgeComm(h, kPurgeAll);
  COMMTIMEOUTS timeouts{};
  GetCommTimeouts(h, &timeouts);  // read, not changed
  if (!SetupConn(h, 19200)) {
    CloseHandle(h);
    return false;
  }
  pt.hCom = h;
  pt.fconnect = true;
  if (watch) {
    ResetEvent(pt.stop);
    try {
      pt.watcher = std::thread(&Win32Link::Watch, this, port);
    } catch (const std::system_error&) {
      pt.fconnect = false;
      CloseHandle(h);
      pt.hCom = INVALID_HANDLE_VALUE;
      return false;
    }
    EscapeCommFunction(h, SETDTR);
  }
  return true;
}

bool Win32Link::IsOpen(int port) const {
  return ValidPort(port) && ports_[port]->hCom != INVALID_HANDLE_VALUE;
}

bool Win32Link::SetSpeed(int port, int speedIndex) {
  return IsOpen(port) && SetupConn(ports_[port]->hCom, cmd::BaudOfIndex(speedIndex));
}

void Win32Link::Close(int port) {
  if (!IsOpen(port)) return;
  Port& pt = *ports_[port];
  pt.fconnect = false;
  SetCommMask(pt.hCom, 0);  // completes the watcher's pending WaitCommEvent
  SetEvent(pt.stop);        // and this ends it even where the driver does not
  if (pt.watcher.joinable()) pt.watcher.join();
  EscapeCommFunction(pt.hCom, CLRDTR);
  PurgeComm(pt.hCom, kPurgeAll);
  CloseHandle(pt.hCom);
  pt.hCom = INVALID_HANDLE_VALUE;
}

WriteResult Win32Link::Write(int port, const uint8_t* p, size_t n) {
  if (!IsOpen(port)) return {WriteStatus::kNoHandle, 0};
  Port& pt = *ports_[port];
  const DWORD want = static_cast<DWORD>(n);
  DWORD written = 0, errors = 0;
  COMSTAT stat{};
  if (WriteFile(pt.hCom, p, want, &written, &pt.osWrite)) return {WriteStatus::kDone, 0};
  if (GetLastError() != ERROR_IO_PENDING) {
    ClearCommError(pt.hCom, &errors, &stat);
    return {WriteStatus::kRefused, errors};
  }
  // Pending: wait for completion, but never for ever.
  if (WaitForSingleObject(pt.osWrite.hEvent, writeTimeoutMs) != WAIT_OBJECT_0) CancelIo(pt.hCom);
  WriteResult r{WriteStatus::kDone, 0};
  DWORD total = 0;
  for (;;) {
    if (GetOverlappedResult(pt.hCom, &pt.osWrite, &written, TRUE)) break;
    if (GetLastError() == ERROR_IO_INCOMPLETE) {
      total += written;
      continue;
    }
    ClearCommError(pt.hCom, &errors, &stat);
    r = {WriteStatus::kCompletionError, errors};
    break;
  }
  total += written;
  char b[80];
  if (total != want)
    std::snprintf(b, sizeof b, "\nProbable Write Timeout: Total of %ld bytes sent",
                  static_cast<long>(total));
  else
    std::snprintf(b, sizeof b, "\n%ld bytes written", static_cast<long>(total));
  Trace(b);
  return r;
}

Receiver& Win32Link::Rx(int port) {
  return rx_[ValidPort(port) ? port : 0];
}

std::vector<LinkNotice> Win32Link::TakeNotices() {
  std::lock_guard<std::mutex> lk(noticesMutex_);
  std::vector<LinkNotice> n;
  n.swap(notices_);
  return n;
}

void Win32Link::Notice(const char* what, uint32_t code) {
  std::lock_guard<std::mutex> lk(noticesMutex_);
  notices_.push_back({what, code});
}

unsigned Win32Link::ReadCommBlock(int port, uint8_t* dst, unsigned nMaxLength) {
  Port& pt = *ports_[port];
  DWORD errors = 0, got = 0;
  COMSTAT stat{};
  ClearCommError(pt.hCom, &errors, &stat);
  std::memset(dst, 0, std::min(nMaxLength, 10u));
  const DWORD len = std::min<DWORD>(stat.cbInQue, nMaxLength);
  if (len == 0) return 0;
  if (ReadFile(pt.hCom, dst, len, &got, &pt.osRead)) return got;
  const DWORD e = GetLastError();
  if (e != ERROR_IO_PENDING) {
    Notice("read", e);
    ClearCommError(pt.hCom, &errors, &stat);
    return 0;
  }
  Trace("\n\rIO Pending");
  while (!GetOverlappedResult(pt.hCom, &pt.osRead, &got, TRUE)) {
    if (GetLastError() == ERROR_IO_INCOMPLETE) continue;
    ClearCommError(pt.hCom, &errors, &stat);
    break;
  }
  return got;
}

void Win32Link::Watch(int port) {
  Port& pt = *ports_[port];
  const HANDLE h = pt.hCom;
  if (!SetCommMask(h, EV_RXCHAR)) {
    Trace("\nCommWatchProc0: SetCommMask failed");
    return;
  }
  uint8_t block[kBlock];
  bool reported = false;
  while (pt.fconnect) {
    DWORD ev = 0, unused = 0;
    ResetEvent(pt.osWait.hEvent);
    if (!WaitCommEvent(h, &ev, &pt.osWait)) {
      const DWORD e = GetLastError();
      if (e != ERROR_IO_PENDING) {
        // Failed at once (for instance the mask was just cleared): no busy loop.
        if (!reported && pt.fconnect) {
          char b[64];
          std::snprintf(b, sizeof b, "\nWaitCommEvent failed: %lu", static_cast<unsigned long>(e));
          Trace(b);
        }
        reported = true;
        WaitForSingleObject(pt.stop, 100);
        continue;
      }
      const HANDLE waits[2] = {pt.osWait.hEvent, pt.stop};
      if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        // Asked to end while the wait is still pending: cancel it and let it
        // finish, so that the driver no longer refers to ev and osWait.
        CancelIo(h);
        GetOverlappedResult(h, &pt.osWait, &unused, TRUE);
        break;
      }
      if (!GetOverlappedResult(h, &pt.osWait, &unused, FALSE)) continue;
    }
    if (!(ev & EV_RXCHAR)) continue;
    for (;;) {  // whole queued blocks, until the queue is empty
      const unsigned n = ReadCommBlock(port, block, kBlock);
      if (n == 0) break;
      rx_[port].OnBlock(block, n);
    }
  }
}

}  // namespace kvl
