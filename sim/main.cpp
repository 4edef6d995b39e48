// regsim: a line of simulated gas regulators (КВЛ flow and ВПЗ pressure) on a
// pseudo-terminal or a serial device, answering "Кормаст-10м" and Modbus RTU.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sim/control.h"
#include "sim/device_text.h"
#include "sim/line.h"
#include "sim/serial_port.h"
#include "sim/trace.h"

namespace {

volatile sig_atomic_t g_stop = 0;

void OnSignal(int) {
  g_stop = 1;
}

const char kHelp[] =
    R"(regsim - simulator of gas regulators (КВЛ flow, ВПЗ pressure) on one RS-485 line.

Each device answers in the protocol the request came in: "Кормаст-10м" (10-byte
frames with an additive sum) or Modbus RTU (functions 03, 06, 0F).

Usage:
  regsim [--pty] [--device PATH] [--link PATH] [--baud 9600|19200|38400] [--wire]
         [--turnaround-ms N] [--strict-speed | --mixed-speeds] [--trace FILE] [--net FILE]
         [--dev DEVICE]... [--seed N] [--quiet]

Line:
  --pty               serve a pseudo-terminal (the default); the first line printed
                      is "PTY <path>": give that path to the program as its COM port
  --link PATH         also make a symbolic link PATH to the pty (removed at exit)
  --device PATH       serve a real serial port instead (raw 8N1)
  --baud N            starting line speed, 9600, 19200 (default) or 38400
  --wire              let answers take the time they take on a real line
                      (10 bits a byte at the current speed)
  --turnaround-ms N   pause of the devices before they answer (default 0)
  --strict-speed      on a pty: requests sent at another speed than the line's
                      are not understood (as on a real line)
  --mixed-speeds      on a pty: each request goes out at the speed the program's
                      port is set to, and only the devices listening at that
                      speed hear it (devices at different speeds on one line)
  --trace FILE        append every frame and event to FILE
  --seed N            seed of the measurement noise (default 1)
  --quiet             no messages on stderr

Devices:
  --dev DEVICE        one device (repeat for more)
  --net FILE          devices from a file, one DEVICE a line, '#' starts a comment
  With no device given, one flow regulator at address 1 is simulated.

DEVICE: comma-separated key=value (addr is required), for example
  addr=3,kind=pressure,setpoint=40      addr=5,format=5,silent
  addr=N              network address 0..254
  kind=flow|pressure  КВЛ (flow) or ВПЗ (pressure)
  format=N            format byte (default 7; 6 and 7 newer status layout,
                      5 and below the older one)
  serial=N            serial number (default 1000+addr)
  date=D-M-Y-V        firmware date and version (default 12-5-15-3)
  setpoint=P flow=P   setpoint and present flow in percent
  offset=N            zero offset 0..65535
  speed=N             the device's own line speed (default --baud)
  regulate=0|1 digital=0|1 rasre=0|1  regulation mode, digital input,
                      mode memorising ("Запомнить")
  valve=regulate|open|closed   valve held by program
  ext=none|open|closed         valve held by the external signal
  alarm=0|1 gasset=0|1 pres45=0|1
  status1=N status3=N status6=N  raw identify status bytes (auto = computed)
  speeds=9600+19200   speeds the device can take (default all three)
  protocols=kormast|modbus|both  protocols the device answers (default both)
Faults:
  silent=0|1          does not answer
  badsum=0|1          answers with a wrong sum/CRC
  chunks=3+3+4        sends the answer in pieces ...
  chunk-delay-ms=N    ... with this pause between them (default 20)
  garbage=N           N junk bytes before each answer
  extra=N             N junk bytes after each answer
  answer-from=N       ignores the first N-1 copies of the same request
  turnaround=LO-HI    waits a random LO..HI ms before each answer (or =N ms)
  patch=C:B:V         answers to request code C get byte B := V (sum kept right)
  dropout=S           off the line for S seconds (from now with set)

Control on stdin, one command a line, answered "OK ..." or "ERR <reason>":
  set ADDR key=value[,key=value...]   add DEVICE   remove ADDR   get ADDR
  list   quit
regsim runs until quit, SIGINT or SIGTERM (end of stdin does not stop it), or
until the line goes away (an adapter pulled): then it ends with exit code 1.
)";

struct Options {
  bool pty = false;
  std::string device, link, trace, net;
  unsigned baud = 19200;
  bool wire = false;
  bool strictSpeed = false;
  bool mixedSpeeds = false;
  int turnaroundMs = 0;
  uint32_t seed = 1;
  bool quiet = false;
  std::vector<std::string> devs;
};

bool Number(const char* s, long lo, long hi, long& v) {
  char* end = nullptr;
  errno = 0;
  v = std::strtol(s, &end, 10);
  return errno == 0 && end && *end == 0 && end != s && v >= lo && v <= hi;
}

// Returns 0 to go on, 1 after --help, 2 on a usage error.
int ParseArgs(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "regsim: %s needs a value (see regsim --help)\n", a.c_str());
        return nullptr;
      }
      return argv[++i];
    };
    long v = 0;
    const char* val = nullptr;
    if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return 1;
    } else if (a == "--pty") {
      o.pty = true;
    } else if (a == "--wire") {
      o.wire = true;
    } else if (a == "--strict-speed") {
      o.strictSpeed = true;
    } else if (a == "--mixed-speeds") {
      o.mixedSpeeds = true;
    } else if (a == "--quiet") {
      o.quiet = true;
    } else if (a == "--device" || a == "--link" || a == "--trace" || a == "--net" || a == "--dev") {
      if (!(val = value())) return 2;
      if (a == "--device") o.device = val;
      if (a == "--link") o.link = val;
      if (a == "--trace") o.trace = val;
      if (a == "--net") o.net = val;
      if (a == "--dev") o.devs.push_back(val);
    } else if (a == "--baud") {
      if (!(val = value())) return 2;
      if (!Number(val, 0, 1000000, v) || (v != 9600 && v != 19200 && v != 38400)) {
        std::fprintf(stderr, "regsim: --baud must be 9600, 19200 or 38400, not '%s'\n", val);
        return 2;
      }
      o.baud = static_cast<unsigned>(v);
    } else if (a == "--turnaround-ms") {
      if (!(val = value())) return 2;
      if (!Number(val, 0, 60000, v)) {
        std::fprintf(stderr, "regsim: --turnaround-ms must be 0..60000, not '%s'\n", val);
        return 2;
      }
      o.turnaroundMs = static_cast<int>(v);
    } else if (a == "--seed") {
      if (!(val = value())) return 2;
      if (!Number(val, 0, 4294967295L, v)) {
        std::fprintf(stderr, "regsim: --seed must be a number, not '%s'\n", val);
        return 2;
      }
      o.seed = static_cast<uint32_t>(v);
    } else {
      std::fprintf(stderr, "regsim: unknown option '%s' (see regsim --help)\n", a.c_str());
      return 2;
    }
  }
  if (o.pty && !o.device.empty()) {
    std::fprintf(stderr, "regsim: choose either --pty or --device\n");
    return 2;
  }
  if (o.strictSpeed && o.mixedSpeeds) {
    std::fprintf(stderr, "regsim: choose either --strict-speed or --mixed-speeds\n");
    return 2;
  }
  return 0;
}

int64_t NowUs(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kvl::sim;
  Options o;
  if (const int r = ParseArgs(argc, argv, o)) return r == 1 ? 0 : 2;
  auto say = [&o](const std::string& s) {
    if (!o.quiet) std::fprintf(stderr, "regsim: %s\n", s.c_str());
  };

  std::vector<Device> devices;
  if (!o.net.empty()) {
    const std::string err = ReadNetworkFile(o.net, o.baud, devices);
    if (!err.empty()) {
      std::fprintf(stderr, "regsim: %s\n", err.c_str());
      return 2;
    }
  }
  for (const auto& text : o.devs) {
    Device d;
    const std::string err = ParseDevice(text, o.baud, d);
    if (!err.empty()) {
      std::fprintf(stderr, "regsim: --dev %s: %s\n", text.c_str(), err.c_str());
      return 2;
    }
    devices.push_back(d);
  }
  if (devices.empty()) {
    Device d;
    ParseDevice("addr=1", o.baud, d);
    devices.push_back(d);
  }

  Trace trace;
  if (!o.trace.empty() && !trace.Open(o.trace)) {
    std::fprintf(stderr, "regsim: cannot write the trace file %s\n", o.trace.c_str());
    return 2;
  }
  LineOptions lo;
  lo.baud = o.baud;
  lo.wire = o.wire;
  lo.turnaroundMs = o.turnaroundMs;
  lo.seed = o.seed;
  Line line(lo, trace);
  for (const auto& d : devices) {
    if (!line.Add(d)) {
      std::fprintf(stderr, "regsim: address %d is given twice\n", d.addr);
      return 2;
    }
  }

  // Signals are caught from here on, so that a stop always removes the link.
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  SerialPort port;
  std::string err;
  if (o.device.empty() ? !port.OpenPty(err) : !port.OpenDevice(o.device, o.baud, err)) {
    std::fprintf(stderr, "regsim: %s\n", err.c_str());
    return 1;
  }
  bool linked = false;
  if (!o.link.empty()) {
    const std::string target = port.IsPty() ? port.SlavePath() : o.device;
    unlink(o.link.c_str());
    if (symlink(target.c_str(), o.link.c_str()) != 0) {
      say("cannot create the link " + o.link + ": " + std::strerror(errno));
    } else {
      linked = true;
    }
  }

  // The link exists before the path is announced: a reader may use it at once.
  if (port.IsPty()) {
    std::printf("PTY %s\n", port.SlavePath().c_str());
    std::fflush(stdout);
  }

  const auto start = std::chrono::steady_clock::now();
  trace.Note(0, "regsim started with " + std::to_string(line.Devices().size()) + " device(s) at " +
                    std::to_string(o.baud) + " baud on " +
                    (port.IsPty() ? port.SlavePath() : o.device));
  say(std::to_string(line.Devices().size()) + " device(s) on " +
      (port.IsPty() ? port.SlavePath() : o.device) + " at " + std::to_string(o.baud) + " baud");

  bool stdinOpen = true;
  std::string stdinBuf;
  bool quit = false;
  std::string lost;  // why the line went away, when it did
  while (!g_stop && !quit) {
    int64_t now = NowUs(start);
    const int64_t deadline = line.NextDeadline();
    int timeoutMs = 200;
    if (deadline >= 0) {
      const int64_t waitUs = deadline - now;
      timeoutMs = waitUs <= 0 ? 0 : static_cast<int>(std::min<int64_t>((waitUs + 999) / 1000, 200));
    }
    pollfd fds[2] = {{port.Fd(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    const int n = poll(fds, stdinOpen ? 2 : 1, timeoutMs);
    if (n < 0 && errno != EINTR) {
      say(std::string("poll failed: ") + std::strerror(errno));
      break;
    }
    now = NowUs(start);
    if (n > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) {
      uint8_t buf[512];
      const ssize_t got = read(port.Fd(), buf, sizeof buf);
      const int readErrno = errno;
      const unsigned clientBaud = o.strictSpeed || o.mixedSpeeds ? port.ClientBaud() : 0;
      // Mixed speeds: the bytes cross the line at the speed they were sent at.
      if (got > 0 && o.mixedSpeeds && clientBaud != 0) line.SwitchBaud(clientBaud, now);
      if (got > 0 && clientBaud != 0 && clientBaud != line.Baud()) {
        line.ReceiveGarbled(buf, static_cast<size_t>(got), clientBaud, now);
      } else if (got > 0) {
        line.Receive(buf, static_cast<size_t>(got), now);
      } else if (got == 0 || (readErrno != EAGAIN && readErrno != EINTR)) {
        // The line has gone (an adapter pulled, a hang-up): it would report the
        // same at once on every turn, so end instead of spinning.
        lost = "the line " + (port.IsPty() ? port.SlavePath() : o.device) + " has gone away (" +
               (got == 0 ? std::string("end of file") : std::strerror(readErrno)) + ")";
        std::fprintf(stderr, "regsim: %s\n", lost.c_str());
        break;
      }
    }
    if (n > 0 && stdinOpen && (fds[1].revents & (POLLIN | POLLHUP))) {
      char buf[1024];
      const ssize_t got = read(STDIN_FILENO, buf, sizeof buf);
      if (got <= 0) {
        stdinOpen = false;  // keep serving; stop on a signal
      } else {
        stdinBuf.append(buf, static_cast<size_t>(got));
        if (stdinBuf.size() > 4096 && stdinBuf.find('\n') == std::string::npos) {
          std::printf("ERR command line too long\n");
          std::fflush(stdout);
          stdinBuf.clear();
        }
        size_t eol;
        while ((eol = stdinBuf.find('\n')) != std::string::npos) {
          std::string cmd = stdinBuf.substr(0, eol);
          stdinBuf.erase(0, eol + 1);
          if (!cmd.empty() && cmd.back() == '\r') cmd.pop_back();
          if (cmd.find_first_not_of(" \t") == std::string::npos) continue;
          const ControlResult r = RunControl(line, cmd, NowUs(start));
          std::printf("%s\n", r.reply.c_str());
          std::fflush(stdout);
          if (r.quit) quit = true;
        }
      }
    }
    now = NowUs(start);
    line.Tick(now);
    for (Output& out : line.TakeDue(now)) {
      size_t done = 0;
      while (done < out.bytes.size()) {
        const ssize_t w = write(port.Fd(), out.bytes.data() + done, out.bytes.size() - done);
        if (w > 0) {
          done += static_cast<size_t>(w);
        } else if (w < 0 && errno == EINTR) {
          continue;
        } else {
          trace.Note(now / 1000, "answer bytes dropped: nobody reads the line");
          break;
        }
      }
      if (out.baudAfter) {
        port.Drain();
        if (!port.SetBaud(*out.baudAfter)) say("cannot switch the port speed");
        line.SwitchBaud(*out.baudAfter, NowUs(start));
      }
    }
  }
  trace.Note(NowUs(start) / 1000, lost.empty() ? "regsim stopped" : "regsim stopped: " + lost);
  if (linked) unlink(o.link.c_str());
  return lost.empty() ? 0 : 1;
}
