// Figures of the simulator: answers handled per second inside the line, the
// round trip of a request through regsim on a pty (termios and libmodbus), and
// the cost of garbage arriving byte by byte, inside the line and in regsim.
#include <benchmark/benchmark.h>
#include <modbus.h>

#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "protocol/commands.h"
#include "termios_client.h"
#include "sim_bench.h"

namespace {

using kvl::sim::Bytes;

Bytes IdentFrame(int addr) {
  kvl::Request rq;
  kvl::cmd::Ident(rq, addr);
  rq.com[1] = 0;
  kvl::ContrSum(rq.com.data(), 10, 0);
  return Bytes(rq.com.begin(), rq.com.end());
}

void BM_LineIdentify(benchmark::State& state) {
  kvl::sim::test::Bench b;
  b.Add("addr=5");
  const Bytes req = IdentFrame(5);
  for (auto _ : state) {
    b.line.Receive(req.data(), req.size(), b.now);
    benchmark::DoNotOptimize(b.line.TakeDue(b.now));
    b.now += 1000;
  }
}
BENCHMARK(BM_LineIdentify);

void BM_PtyRoundTripKormast(benchmark::State& state) {
  kvl::sim::test::RegsimProcess sim({"--quiet", "--dev", "addr=5"});
  kvl::sim::test::TermiosClient c(sim.Pty());
  const Bytes req = IdentFrame(5);
  for (auto _ : state) {
    if (c.Exchange(req, 10).size() != 10) state.SkipWithError("no answer");
  }
}
BENCHMARK(BM_PtyRoundTripKormast)->Unit(benchmark::kMicrosecond);

void BM_PtyRoundTripLibmodbus(benchmark::State& state) {
  kvl::sim::test::RegsimProcess sim({"--quiet", "--dev", "addr=5"});
  const std::string pty = sim.Pty();
  modbus_t* ctx = modbus_new_rtu(pty.c_str(), 19200, 'N', 8, 1);
  modbus_set_slave(ctx, 5);
  modbus_connect(ctx);
  uint16_t r[2];
  for (auto _ : state) {
    if (modbus_read_registers(ctx, 4, 2, r) != 2) state.SkipWithError("no answer");
  }
  modbus_close(ctx);
  modbus_free(ctx);
}
BENCHMARK(BM_PtyRoundTripLibmodbus)->Unit(benchmark::kMicrosecond);

// Garbage on the line: random bytes (kind 0), or the worst kind for the framer
// (1): FF 10 FF 10 ..., where every other byte starts what could be a Modbus
// write of 255 data bytes, so each offset asks for a CRC over 264 bytes.
Bytes Garbage(size_t n, int kind) {
  std::mt19937 rng(7);
  Bytes g(n);
  for (size_t i = 0; i < n; ++i)
    g[i] = kind == 0 ? static_cast<uint8_t>(rng()) : (i % 2 ? 0x10 : 0xFF);
  return g;
}

// One byte at a time into the line: the framer's cost per byte while up to 512
// bytes of garbage pile up (then they are dropped and gathering starts again).
void BM_LineGarbageByteByByte(benchmark::State& state) {
  kvl::sim::test::Bench b;
  b.Add("addr=5");
  const Bytes g = Garbage(1 << 16, static_cast<int>(state.range(0)));
  size_t i = 0;
  for (auto _ : state) {
    b.line.Receive(&g[i], 1, b.now);
    if (++i == g.size()) i = 0;
    if ((i & 1023) == 0) b.line.TakeDue(b.now);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LineGarbageByteByByte)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// CPU time of a process in microseconds (user + system), from /proc.
double CpuUs(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string s((std::istreambuf_iterator<char>(f)), {});
  std::istringstream rest(s.substr(s.rfind(')') + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int k = 3; k <= 15 && rest >> field; ++k) {
    if (k == 14) utime = std::stoull(field);
    if (k == 15) stime = std::stoull(field);
  }
  return (utime + stime) * 1e6 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// regsim on a pty, garbage written one byte at a time, 50 us apart (faster than
// any line speed: 19200 baud carries a byte every 520 us): regsim's CPU time
// per byte, the figure that shows the framer in the real program.
void BM_RegsimGarbageByteByByte(benchmark::State& state) {
  kvl::sim::test::RegsimProcess sim({"--quiet", "--dev", "addr=5"});
  kvl::sim::test::TermiosClient c(sim.Pty());
  const Bytes g = Garbage(4096, static_cast<int>(state.range(0)));
  double bytes = 0, cpu = 0;
  for (auto _ : state) {
    const double before = CpuUs(sim.Pid());
    for (uint8_t byte : g) {
      if (write(c.Fd(), &byte, 1) != 1) state.SkipWithError("write failed");
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let it take the last bytes
    cpu += CpuUs(sim.Pid()) - before;
    bytes += static_cast<double>(g.size());
  }
  state.counters["regsim_cpu_us_per_byte"] = cpu / bytes;
}
BENCHMARK(BM_RegsimGarbageByteByByte)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
