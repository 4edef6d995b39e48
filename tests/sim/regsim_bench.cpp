// Figures of the simulator: answers handled per second inside the line, and the
// round trip of a request through regsim on a pty (termios and libmodbus).
#include <benchmark/benchmark.h>
#include <modbus.h>

#include "protocol/commands.h"
#include "regsim_process.h"
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

}  // namespace

BENCHMARK_MAIN();
