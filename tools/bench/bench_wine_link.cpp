// bench_wine_link: round trip of one poll through the Win32 link, the way the
// programs send it, on COM1 (under Wine: mapped to regsim on a pty by
// bench_wine.sh). Prints figures only.
//
//   bench_wine_link [EXCHANGES] [ADDRESS]
//
// One exchange: the receiver is armed, the request is written, and the time runs
// until the answer has passed the check on the watcher thread and been handed
// over. "Кормаст-10м" poll (10/10 bytes) and the same poll in Modbus (8/9 bytes)
// take turns in 20 rounds, so a change of load affects both alike.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "protocol/commands.h"
#include "protocol/frame.h"
#include "protocol/modbus.h"
#include "windows/win32_link.h"

namespace {

using namespace kvl;
using Clock = std::chrono::steady_clock;

struct Kind {
  const char* name;
  bool modbus;
  std::vector<double> us;
  int failed = 0;
};

bool Exchange(Win32Link& link, bool modbus, int address, double& us) {
  Request rq;
  if (modbus) SelectModbus(rq);
  cmd::Measure(rq, address);
  if (modbus) PrebrasTuda(rq);
  ContrSum(rq);
  Answer ans;
  Receiver& rx = link.Rx(0);
  const auto t0 = Clock::now();
  rx.Arm(rq.rlength, rq.fmodbuson, Framing::kNetwork);
  if (link.Write(0, rq.com.data(), rq.wlength).status != WriteStatus::kDone) return false;
  const bool ok = rx.Wait(1000, ans);
  us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const int exchanges = argc > 1 ? std::max(20, std::atoi(argv[1])) : 2000;
  const int address = argc > 2 ? std::atoi(argv[2]) : 1;
  Win32Link link;
  if (!link.Open(0, true)) {
    std::fprintf(stderr, "bench_wine_link: COM1 does not open\n");
    return 2;
  }
  Kind kinds[] = {{"Кормаст-10м poll (10/10 bytes)", false, {}},
                  {"Modbus read 2 registers (8/9 bytes)", true, {}}};
  const int rounds = 20, perRound = exchanges / rounds;
  for (int r = 0; r < rounds; ++r)
    for (Kind& k : kinds)
      for (int i = 0; i < perRound; ++i) {
        double us = 0;
        if (Exchange(link, k.modbus, address, us))
          k.us.push_back(us);
        else
          ++k.failed;
      }
  link.Close(0);
  std::printf("round trip of one poll through the Win32 link, %d exchanges each\n",
              perRound * rounds);
  std::printf("    %10s %10s %10s %8s\n", "median us", "p90 us", "min us", "failed");
  for (Kind& k : kinds) {
    std::sort(k.us.begin(), k.us.end());
    if (k.us.empty()) {
      std::printf("    %10s %10s %10s %8d   %s: no answer\n", "-", "-", "-", k.failed, k.name);
      continue;
    }
    const size_t n = k.us.size();
    std::printf("    %10.0f %10.0f %10.0f %8d   %s\n", k.us[n / 2], k.us[n * 9 / 10], k.us[0],
                k.failed, k.name);
  }
  return 0;
}
