// bench_link: how fast and how cheap the serial link is, measured against the
// simulator on a pty. Prints figures only.
//
//   bench_link [--regsim PATH] [--exchanges N] [--cycles N] [--cpu-seconds S]
//
// (a) round trip of one poll through PosixLink + Exchange, and of the same
//     Modbus read done by libmodbus (modbus_read_registers), same device, no
//     wire-time emulation;
// (b) a poll cycle over 9 devices on a line with wire-time emulation at 19200
//     baud, against the time the simulated line itself needs;
// (c) CPU time of this process with an open idle port, and while polling 9
//     devices every 700 ms.
#include <modbus.h>
#include <poll.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "protocol/commands.h"
#include "protocol/exchange.h"
#include "protocol/modbus.h"
#include "serial/fake_link.h"
#include "serial/posix_link.h"
#include "serial/pty_peer.h"
#include "support/regsim_process.h"

namespace {

using namespace kvl;
using Clock = std::chrono::steady_clock;

struct Options {
  std::string regsim = KVL_REGSIM;
  int exchanges = 3000;
  int cycles = 60;
  double cpuSeconds = 10;
};

double Us(Clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

struct Stats {
  double median = 0, p90 = 0, min = 0;
  int failures = 0;
};

Stats Summarise(std::vector<double> v, int failures) {
  Stats s;
  s.failures = failures;
  if (v.empty()) return s;
  std::sort(v.begin(), v.end());
  s.median = v[v.size() / 2];
  s.p90 = v[v.size() * 9 / 10];
  s.min = v.front();
  return s;
}

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::array<std::string, kPortCount> Port0(const std::string& path) {
  std::array<std::string, kPortCount> a;
  a[0] = path;
  return a;
}

// Our side: PosixLink + Exchange on port 0.
struct Ours {
  PosixLink link;
  Request rq;
  Answer ans;
  explicit Ours(const std::string& path) : link(Port0(path)) {
    if (!link.Open(0, true)) {
      std::fprintf(stderr, "cannot open %s\n", path.c_str());
      std::exit(2);
    }
  }
  bool Poll(int addr, bool modbus) {
    if (modbus)
      SelectModbus(rq);
    else
      SelectKormast(rq);
    cmd::Measure(rq, addr);
    return Exchange(link, 0, rq, ans).Answered();
  }
};

// Times n polls through our link, appended to t; returns the failures.
int OurRoundTrips(const std::string& path, int n, bool modbus, std::vector<double>& t) {
  Ours o(path);
  int failures = 0;
  for (int i = 0; i < n; ++i) {
    const auto t0 = Clock::now();
    const bool ok = o.Poll(1, modbus);
    const auto t1 = Clock::now();
    if (ok)
      t.push_back(Us(t1 - t0));
    else
      ++failures;
  }
  return failures;
}

// The same Modbus read by libmodbus.
int LibmodbusRoundTrips(const std::string& path, int n, std::vector<double>& t) {
  modbus_t* ctx = modbus_new_rtu(path.c_str(), 19200, 'N', 8, 1);
  if (!ctx || modbus_set_slave(ctx, 1) != 0 || modbus_connect(ctx) != 0) {
    std::fprintf(stderr, "libmodbus cannot open %s\n", path.c_str());
    std::exit(2);
  }
  int failures = 0;
  uint16_t regs[2];
  for (int i = 0; i < n; ++i) {
    const auto t0 = Clock::now();
    const int rc = modbus_read_registers(ctx, 4, 2, regs);
    const auto t1 = Clock::now();
    if (rc == 2)
      t.push_back(Us(t1 - t0));
    else
      ++failures;
  }
  modbus_close(ctx);
  modbus_free(ctx);
  return failures;
}

// Left-aligned in width characters (UTF-8 aware).
std::string Pad(const std::string& s, size_t width) {
  size_t chars = 0;
  for (unsigned char c : s) chars += (c & 0xC0) != 0x80;
  return s + std::string(width > chars ? width - chars : 0, ' ');
}

// A line of poll-answering devices with exact wire timing: each byte of an
// answer leaves at its own instant (absolute-time sleeps), after the turnaround.
class ExactLine {
 public:
  ExactLine(unsigned baud, int turnaroundMs) : byteNs_(10'000'000'000LL / baud) {
    turnaroundNs_ = static_cast<long long>(turnaroundMs) * 1'000'000;
    if (pipe(stop_) != 0) std::exit(2);
    thread_ = std::thread([this] { Run(); });
  }
  ~ExactLine() {
    const char b = 1;
    [[maybe_unused]] auto w = write(stop_[1], &b, 1);
    thread_.join();
    close(stop_[0]);
    close(stop_[1]);
  }
  const std::string& path() const { return pty_.path(); }

 private:
  static long long Now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1'000'000'000LL + t.tv_nsec;
  }
  void Run() {
    std::vector<uint8_t> req;
    for (;;) {
      pollfd p[2] = {{stop_[0], POLLIN, 0}, {pty_.master(), POLLIN, 0}};
      if (poll(p, 2, -1) < 0) continue;
      if (p[0].revents) return;
      uint8_t b[64];
      const ssize_t n = read(pty_.master(), b, sizeof b);
      if (n <= 0) continue;
      req.insert(req.end(), b, b + n);
      while (req.size() >= kFrameSize) {
        const uint8_t addr = req[7];
        req.erase(req.begin(), req.begin() + kFrameSize);
        const auto answer = KormastAnswer({17, 0, 0x13, 0x88, 0x13, 0x88, 0, addr});
        long long t = Now() + turnaroundNs_;
        for (uint8_t c : answer) {
          t += byteNs_;
          const timespec due{static_cast<time_t>(t / 1'000'000'000LL),
                             static_cast<long>(t % 1'000'000'000LL)};
          while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr) != 0) {
          }
          [[maybe_unused]] auto w = write(pty_.master(), &c, 1);
        }
      }
    }
  }
  test::PtyPair pty_;
  long long byteNs_;
  long long turnaroundNs_ = 0;
  int stop_[2] = {-1, -1};
  std::thread thread_;
};

// Median time of a poll cycle over devices 1..9 on the line at path, in ms.
Stats PollCycles(const std::string& path, int cycles) {
  Ours ours(path);
  std::vector<double> t;
  int failures = 0;
  for (int c = 0; c < cycles; ++c) {
    const auto t0 = Clock::now();
    for (int a = 1; a <= 9; ++a) failures += ours.Poll(a, false) ? 0 : 1;
    t.push_back(Us(Clock::now() - t0) / 1000.0);
  }
  return Summarise(t, failures);
}

std::vector<std::string> NineDevices(std::vector<std::string> args) {
  for (int a = 1; a <= 9; ++a) {
    args.push_back("--dev");
    args.push_back("addr=" + std::to_string(a) + ",setpoint=50,flow=50");
  }
  return args;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--regsim")
      o.regsim = argv[i + 1];
    else if (a == "--exchanges")
      o.exchanges = std::max(10, std::atoi(argv[i + 1]));
    else if (a == "--cycles")
      o.cycles = std::max(5, std::atoi(argv[i + 1]));
    else if (a == "--cpu-seconds")
      o.cpuSeconds = std::max(1.0, std::atof(argv[i + 1]));
    else {
      std::fprintf(stderr, "unknown option %s\n", a.c_str());
      return 2;
    }
  }

  double load[1] = {0};
  if (getloadavg(load, 1) == 1)
    std::printf("load average at start: %.2f (figures are only comparable on a quiet machine)\n\n",
                load[0]);

  // (a) Round trips, no wire emulation. The three kinds take turns in rounds,
  // so that a change of load on the machine affects them alike.
  std::vector<double> tk, tm, tl;
  int fk = 0, fm = 0, fl = 0;
  {
    test::RegsimProcess sim(o.regsim, {"--dev", "addr=1,setpoint=50,flow=50"});
    const int rounds = 20, per = std::max(1, o.exchanges / rounds);
    for (int r = 0; r < rounds; ++r) {
      fk += OurRoundTrips(sim.path(), per, false, tk);
      fm += OurRoundTrips(sim.path(), per, true, tm);
      fl += LibmodbusRoundTrips(sim.path(), per, tl);
    }
  }
  const Stats kormast = Summarise(tk, fk), modbus = Summarise(tm, fm), lib = Summarise(tl, fl);
  std::printf("(a) round trip of one poll, pty, no wire emulation, %zu exchanges each\n",
              tl.size() + static_cast<size_t>(fl));
  std::printf("    %s %10s %10s %10s %8s\n", Pad("", 34).c_str(), "median us", "p90 us", "min us",
              "failed");
  auto row = [](const char* name, const Stats& s) {
    std::printf("    %s %10.0f %10.0f %10.0f %8d\n", Pad(name, 34).c_str(), s.median, s.p90, s.min,
                s.failures);
  };
  row("ours, Кормаст-10м (10/10 bytes)", kormast);
  row("ours, Modbus read 2 registers", modbus);
  row("libmodbus modbus_read_registers", lib);
  std::printf("    ratio ours/libmodbus, Modbus: median %.2f, min %.2f\n\n",
              lib.median > 0 ? modbus.median / lib.median : 0.0,
              lib.min > 0 ? modbus.min / lib.min : 0.0);

  // (b) Poll cycle over 9 devices with wire-time emulation.
  const int turnaroundMs = 2;
  Stats cycSim, cycExact;
  {
    test::RegsimProcess sim(o.regsim, NineDevices({"--wire", "--baud", "19200", "--turnaround-ms",
                                                   std::to_string(turnaroundMs)}));
    cycSim = PollCycles(sim.path(), o.cycles);
  }
  {
    ExactLine line(19200, turnaroundMs);
    cycExact = PollCycles(line.path(), o.cycles);
  }
  const double byteMs = 10.0 / 19200 * 1000;
  const double simulatedMin = 9 * (10 * byteMs + turnaroundMs);  // the answers are timed
  const double lineMin = 9 * (20 * byteMs + turnaroundMs);       // request too, on a real line
  std::printf("(b) poll cycle, 9 devices, 19200 baud, turnaround %d ms, %d cycles\n", turnaroundMs,
              o.cycles);
  std::printf("    minimum: 9 x (10-byte answer x 10 bits + turnaround) = %.2f ms\n", simulatedMin);
  auto cyc = [&](const char* name, const Stats& s) {
    std::printf("    %s median %7.2f ms, p90 %7.2f ms, %+5.1f %% over the minimum, %d failed\n",
                Pad(name, 26).c_str(), s.median, s.p90, (s.median / simulatedMin - 1) * 100,
                s.failures);
  };
  cyc("regsim --wire:", cycSim);
  cyc("exactly timed pty peer:", cycExact);
  std::printf(
      "    (on a real line the 10-byte requests take their time too: minimum %.2f ms;\n"
      "     on a pty they arrive at once, so that part is in neither figure)\n\n",
      lineMin);

  // (c) CPU use.
  double idleCpu = 0, pollCpu = 0;
  int pollFailures = 0, polls = 0;
  {
    test::RegsimProcess sim(o.regsim, NineDevices({"--wire", "--baud", "19200", "--turnaround-ms",
                                                   std::to_string(turnaroundMs)}));
    Ours ours(sim.path());
    const auto span =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o.cpuSeconds));
    double c0 = CpuSeconds();
    std::this_thread::sleep_for(span);
    idleCpu = CpuSeconds() - c0;

    c0 = CpuSeconds();
    const auto start = Clock::now();
    for (auto tick = start; tick < start + span; tick += std::chrono::milliseconds(700)) {
      std::this_thread::sleep_until(tick);
      for (int a = 1; a <= 9; ++a, ++polls) pollFailures += ours.Poll(a, false) ? 0 : 1;
    }
    std::this_thread::sleep_until(start + span);
    pollCpu = CpuSeconds() - c0;
  }
  std::printf("(c) CPU time of this process over %.0f s (user + system)\n", o.cpuSeconds);
  std::printf("    open idle port with its watcher:   %.4f s = %.3f %% of one core\n", idleCpu,
              idleCpu / o.cpuSeconds * 100);
  std::printf(
      "    polling 9 devices every 700 ms:    %.4f s = %.3f %% of one core (%d polls, %d "
      "failed)\n",
      pollCpu, pollCpu / o.cpuSeconds * 100, polls, pollFailures);
  return 0;
}
