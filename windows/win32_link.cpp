#include "windows/win32_link.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "protocol/commands.h"

namespace kvl {

struct Win32Link::Port {
  HANDLE hCom = INVALID_HANDLE_VALUE;
  std::atomic<bool> fconnect{false};
  std::atomic<bool> lost{false};
  std::thread watcher;
  OVERLAPPED osWrite{};
  OVERLAPPED osRead{};
  HANDLE stop = nullptr;  // set by Close and when the port is found lost: every wait ends
  // Buffers of the overlapped operations live here, not on a stack: an operation
  // whose cancellation the driver never finishes may still write into them.
  uint8_t first = 0;  // the watcher's one-byte read
  std::array<uint8_t, kBlock> block{};
  std::vector<uint8_t> out;  // the bytes of the write under way

  Port() {
    osWrite.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    osRead.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  ~Port() {
    for (HANDLE h : {osWrite.hEvent, osRead.hEvent, stop})
      if (h) CloseHandle(h);
  }
  bool Ready() const { return osWrite.hEvent && osRead.hEvent && stop; }
};

namespace {

constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
// On closing, bytes already written (regsolo's closing frame) still reach the
// line: a transmit clear would drop what a USB adapter's driver, or Wine's
// pseudo-terminal, holds but has not sent yet.
constexpr DWORD kPurgeOnClose = PURGE_TXABORT | PURGE_RXABORT | PURGE_RXCLEAR;

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

constexpr DWORD kCancelMs = 1000;    // longest wait for a cancelled operation to end
constexpr DWORD kProbeMs = 50;       // pause between the probes of a port that may be gone
constexpr int kProbes = 4;           // failed probes in a row that make a port lost
constexpr DWORD kEmptyPauseMs = 20;  // pause after a read that came back early with nothing

enum class Io { kDone, kFailed, kStopped, kTimedOut, kStuck };

// Waits for an overlapped operation that went pending, until it completes, stop
// is set or ms have passed; got and err then hold its result. An operation that
// is given up is cancelled and its end awaited for at most kCancelMs (kDone if it
// completed meanwhile); kStuck means the driver did not end it, so its record and
// buffer stay in use.
Io Finish(HANDLE h, OVERLAPPED& o, HANDLE stop, DWORD ms, DWORD& got, DWORD& err) {
  const HANDLE waits[2] = {o.hEvent, stop};
  const DWORD w = WaitForMultipleObjects(2, waits, FALSE, ms);
  Io io = Io::kFailed;
  if (w != WAIT_OBJECT_0) {
    io = w == WAIT_OBJECT_0 + 1 ? Io::kStopped : Io::kTimedOut;
    CancelIoEx(h, &o);
    if (WaitForSingleObject(o.hEvent, kCancelMs) != WAIT_OBJECT_0) return Io::kStuck;
  }
  if (GetOverlappedResult(h, &o, &got, FALSE)) return Io::kDone;
  err = GetLastError();
  return io;
}

}  // namespace

Win32Link::Win32Link(std::string portPrefix) : prefix_(std::move(portPrefix)) {
  for (auto& p : ports_) p = std::make_unique<Port>();
}

Win32Link::~Win32Link() {
  for (int i = 0; i < kPortCount; ++i) Close(i);
}

bool Win32Link::Ready() const {
  return std::all_of(ports_.begin(), ports_.end(), [](const auto& p) { return p->Ready(); });
}

bool Win32Link::Open(int port, bool watch) {
  if (!ValidPort(port) || IsOpen(port)) return false;
  whyNot_[port] = OpenFailure::kDevice;
  if (!ports_[port]->Ready()) return false;
  Port& pt = *ports_[port];
  // "\\.\COMn": the only form in which Windows opens COM10 and above.
  const std::string name = "\\\\.\\" + prefix_ + std::to_string(port + 1);
  HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;  // absent or busy: the caller reports
  SetCommMask(h, EV_RXCHAR);
  SetupComm(h, 4096, 4096);
  PurgeComm(h, kPurgeAll);
  // Reads wait for as many bytes as asked for, at most kQuietReadMs in all: the
  // watcher's one-byte read returns with the first byte, or empty on a quiet line.
  // The write time-outs stay as they are.
  COMMTIMEOUTS timeouts{};
  GetCommTimeouts(h, &timeouts);
  timeouts.ReadIntervalTimeout = 0;
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = kQuietReadMs;
  if (!SetCommTimeouts(h, &timeouts) || !SetupConn(h, 19200)) {
    CloseHandle(h);
    return false;
  }
  pt.hCom = h;
  pt.lost = false;
  pt.fconnect = true;
  ResetEvent(pt.stop);
  if (watch) {
    try {
      pt.watcher = std::thread(&Win32Link::Watch, this, port);
    } catch (const std::system_error&) {
      pt.fconnect = false;
      CloseHandle(h);
      pt.hCom = INVALID_HANDLE_VALUE;
      whyNot_[port] = OpenFailure::kWatcher;
      return false;
    }
    EscapeCommFunction(h, SETDTR);
  }
  whyNot_[port] = OpenFailure::kNone;
  return true;
}

bool Win32Link::IsOpen(int port) const {
  return ValidPort(port) && ports_[port]->hCom != INVALID_HANDLE_VALUE;
}

bool Win32Link::Lost(int port) const {
  return IsOpen(port) && ports_[port]->lost;
}

bool Win32Link::SetSpeed(int port, int speedIndex) {
  return IsOpen(port) && SetupConn(ports_[port]->hCom, cmd::BaudOfIndex(speedIndex));
}

void Win32Link::Close(int port) {
  if (!IsOpen(port)) return;
  Port& pt = *ports_[port];
  pt.fconnect = false;
  SetEvent(pt.stop);  // every wait of the watcher ends on it, so the join is bounded
  if (pt.watcher.joinable()) pt.watcher.join();
  EscapeCommFunction(pt.hCom, CLRDTR);
  PurgeComm(pt.hCom, kPurgeOnClose);
  CloseHandle(pt.hCom);
  pt.hCom = INVALID_HANDLE_VALUE;
  pt.lost = false;
}

WriteResult Win32Link::Write(int port, const uint8_t* p, size_t n) {
  if (!IsOpen(port)) return {WriteStatus::kNoHandle, 0};
  Port& pt = *ports_[port];
  if (pt.lost) return {WriteStatus::kPortLost, 0};
  const DWORD want = static_cast<DWORD>(n);
  DWORD written = 0, errors = 0, err = 0;
  COMSTAT stat{};
  pt.out.assign(p, p + n);
  if (WriteFile(pt.hCom, pt.out.data(), want, &written, &pt.osWrite))
    return {WriteStatus::kDone, 0};
  if (GetLastError() != ERROR_IO_PENDING) {
    if (Gone(port)) return {WriteStatus::kPortLost, 0};
    ClearCommError(pt.hCom, &errors, &stat);
    return {WriteStatus::kRefused, errors};
  }
  // Pending: wait for completion, but never for ever, and not once the port is lost.
  const Io io = Finish(pt.hCom, pt.osWrite, pt.stop, writeTimeoutMs, written, err);
  if (io == Io::kStuck) MarkLost(port, ERROR_OPERATION_ABORTED);
  if (pt.lost) return {WriteStatus::kPortLost, 0};
  WriteResult r{WriteStatus::kDone, 0};
  if (io != Io::kDone) {  // failed, or cancelled after the time-out
    if (Gone(port)) return {WriteStatus::kPortLost, 0};
    ClearCommError(pt.hCom, &errors, &stat);
    r = {WriteStatus::kCompletionError, errors};
  }
  char b[80];
  if (written != want)
    std::snprintf(b, sizeof b, "\nProbable Write Timeout: Total of %ld bytes sent",
                  static_cast<long>(written));
  else
    std::snprintf(b, sizeof b, "\n%ld bytes written", static_cast<long>(written));
  Trace(b);
  return r;
}

// Confirms that the device behind an open port has gone: ClearCommError, the
// simplest request a serial driver answers, keeps failing (kProbes times, kProbeMs
// apart). A port that still answers it is there, whatever failure led here: a
// purge, a line error under abort-on-error, a cancelled operation.
bool Win32Link::Gone(int port) {
  Port& pt = *ports_[port];
  DWORD errors = 0, last = 0;
  COMSTAT stat{};
  for (int i = 0; i < kProbes && !pt.lost; ++i) {
    if (i > 0 && WaitForSingleObject(pt.stop, kProbeMs) == WAIT_OBJECT_0) break;  // closing
    if (ClearCommError(pt.hCom, &errors, &stat)) return false;
    last = GetLastError();
    if (i == kProbes - 1) MarkLost(port, last);
  }
  return pt.lost;
}

void Win32Link::MarkLost(int port, unsigned long error) {
  Port& pt = *ports_[port];
  if (pt.lost.exchange(true)) return;
  SetEvent(pt.stop);  // ends the watcher and any write under way
  char b[80];
  std::snprintf(b, sizeof b, "\n%s has gone (error %lu)", PortName(port).c_str(), error);
  Trace(b);
}

unsigned Win32Link::ReadCommBlock(int port, uint8_t* dst, unsigned nMaxLength) {
  Port& pt = *ports_[port];
  DWORD errors = 0, got = 0, err = 0;
  COMSTAT stat{};
  ClearCommError(pt.hCom, &errors, &stat);
  std::memset(dst, 0, std::min(nMaxLength, 10u));
  const DWORD len = std::min<DWORD>(stat.cbInQue, nMaxLength);
  if (len == 0) return 0;
  if (ReadFile(pt.hCom, dst, len, &got, &pt.osRead)) return got;
  const DWORD e = GetLastError();
  if (e != ERROR_IO_PENDING) {
    if (Gone(port)) return 0;
    Notice("read", e);
    ClearCommError(pt.hCom, &errors, &stat);
    return 0;
  }
  Trace("\n\rIO Pending");
  // The bytes are queued already: the read ends at once, or within its time-out.
  switch (Finish(pt.hCom, pt.osRead, pt.stop, 2 * kQuietReadMs, got, err)) {
    case Io::kStuck:
      MarkLost(port, ERROR_OPERATION_ABORTED);
      return 0;
    case Io::kDone:
    case Io::kStopped:
      break;
    case Io::kFailed:
    case Io::kTimedOut:
      ClearCommError(pt.hCom, &errors, &stat);
      break;
  }
  return got;
}

void Win32Link::Watch(int port) {
  Port& pt = *ports_[port];
  const HANDLE h = pt.hCom;
  unsigned failures = 0;  // reads that failed in a row on a port still there
  while (pt.fconnect && !pt.lost) {
    DWORD got = 0, err = 0;
    const ULONGLONG t0 = GetTickCount64();
    Io io = Io::kDone;
    if (!ReadFile(h, &pt.first, 1, &got, &pt.osRead)) {
      err = GetLastError();
      // A driver that ignores the time-out is given up on after twice its time.
      io = err == ERROR_IO_PENDING ? Finish(h, pt.osRead, pt.stop, 2 * kQuietReadMs, got, err)
                                   : Io::kFailed;
    }
    if (io == Io::kStopped) break;
    if (io == Io::kStuck) {
      if (pt.fconnect) MarkLost(port, ERROR_OPERATION_ABORTED);
      break;
    }
    // Wine reports the read time-out of a quiet line as ERROR_TIMEOUT, Windows as
    // success with no byte.
    if (io == Io::kFailed && err != ERROR_TIMEOUT) {
      if (Gone(port)) break;
      // Still there: try again, after a pause that grows while the failures go
      // on, so that a failing driver cannot make this loop spin.
      ++failures;
      WaitForSingleObject(pt.stop, std::min(failures - 1, 10u) * 10);
      continue;
    }
    failures = 0;
    size_t delivered = 0;
    if (io == Io::kDone && got == 1) {
      rx_[port].OnBlock(&pt.first, 1);
      delivered = 1;
    }
    for (;;) {  // whole queued blocks, until the queue is empty
      const unsigned n = ReadCommBlock(port, pt.block.data(), kBlock);
      if (n == 0) break;
      rx_[port].OnBlock(pt.block.data(), n);
      delivered += n;
    }
    if (delivered == 0 && GetTickCount64() - t0 < kQuietReadMs / 2)
      WaitForSingleObject(pt.stop, kEmptyPauseMs);
  }
}

}  // namespace kvl
