// Checks the Win32 serial backend on COM1, which run.sh maps to the simulator
// started with the devices below:
//   addr=5  serial=4321 setpoint=25.5   plain device
//   addr=6  chunks=3+3+4                answer in three pieces
//   addr=7  answer-from=3               answers the third copy of a request
//   addr=8  badsum=1                    wrong check values
// COM10 is mapped to the same simulator, COM9 to nothing. The device goes away
// and comes back on request: "@pull" on stdout ends the simulator (its pty
// closes), "@restore" starts it again; run.sh answers "done" on stdin.
// Prints one line per check; exit code 0 when all passed.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "protocol/commands.h"
#include "protocol/exchange.h"
#include "protocol/exchange_log.h"
#include "protocol/modbus.h"
#include "windows/win32_link.h"

namespace {

int failures = 0;

void Check(bool ok, const std::string& what) {
  std::printf("%s - %s\n", ok ? "ok" : "FAIL", what.c_str());
  std::fflush(stdout);
  if (!ok) ++failures;
}

int Word(const kvl::Answer& a, int at) {
  return (a.res[at] << 8) | a.res[at + 1];
}

// Exchanges on the link, their log lines into the log, their problems counted.
struct Tx {
  kvl::ByteLink& link;
  kvl::Request& rq;
  kvl::Answer& ans;
  kvl::ExchangeLog& log;
  kvl::ExchangeSettings settings;
  size_t problems = 0;  // writes that did not simply complete, watcher notices
  int ComWrite(int port) {
    const kvl::ExchangeResult r = kvl::Exchange(link, port, rq, ans, settings);
    for (const auto& l : r.log) log.Add(l);
    problems += r.writeProblems.size() + r.notices.size();
    return r.Answered() ? 1 : 0;
  }
  bool WriteOnce(int port) {
    kvl::ContrSum(rq.com.data(), 10, 0);
    return link.Write(port, rq.com.data(), 10).status == kvl::WriteStatus::kDone;
  }
};

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point t0) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
}

// Asks run.sh to take the device away ("pull") or bring it back ("restore").
bool Ask(const char* what) {
  std::printf("@%s\n", what);
  std::fflush(stdout);
  char line[64] = {};
  return std::fgets(line, sizeof line, stdin) && std::strncmp(line, "done", 4) == 0;
}

// CPU time (user and kernel) this process spends in ms milliseconds of waiting.
double CpuSecondsOver(DWORD ms) {
  auto cpu = [] {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto v = [](FILETIME f) {
      return (static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
    };
    return static_cast<double>(v(kernel) + v(user)) / 1e7;
  };
  const double c0 = cpu();
  Sleep(ms);
  return cpu() - c0;
}

std::string Seconds(double s) {
  char b[32];
  std::snprintf(b, sizeof b, "%.3f s", s);
  return b;
}

// One poll of a device straight through the link: true when its answer came.
bool Poll(kvl::Win32Link& link, int port, int address) {
  kvl::Request rq;
  kvl::cmd::Measure(rq, address);
  kvl::ContrSum(rq);
  kvl::Answer ans;
  link.Rx(port).Arm(rq.rlength, rq.fmodbuson, kvl::Framing::kNetwork);
  return link.Write(port, rq.com.data(), rq.wlength).status == kvl::WriteStatus::kDone &&
         link.Rx(port).Wait(1000, ans) && ans.res[7] == address;
}

}  // namespace

int main() {
  using namespace kvl;
  Win32Link link;
  Request rq;
  Answer ans;
  ExchangeLog log;
  Tx tr{link, rq, ans, log, {}};
  tr.settings.attemptMs = 1000;  // time to spare on a busy machine; failing checks shorten it

  Check(!link.Open(8, true), "COM9 (not mapped) does not open");
  Check(link.Write(8, rq.com.data(), 10).status == WriteStatus::kNoHandle,
        "a write on a closed port reports no handle");
  if (!link.Open(0, true)) {
    Check(false, "COM1 opens");
    return 1;
  }
  Check(link.IsOpen(0), "COM1 opens with its watcher");
  Check(!link.Open(0, true), "an open port is not opened again");

  cmd::Ident(rq, 5);
  Check(tr.ComWrite(0) == 1 && ans.mprob == 10, "identify address 5 (Кормаст-10м)");
  Check(Word(ans, 2) == 4321 && ans.res[7] == 5, "serial number 4321 from address 5");
  cmd::Measure(rq, 5);
  Check(tr.ComWrite(0) == 1 && Word(ans, 4) == 2550, "poll address 5: setpoint 25.50 %");

  SelectModbus(rq);
  cmd::Ident(rq, 5);
  bool ok = tr.ComWrite(0) == 1 && ans.mprob == 11;
  Check(ok && Word(ans, 2) == 4321 && ans.res[0] == CMD_IDENT,
        "identify address 5 (Modbus), translated back");
  cmd::Measure(rq, 5);
  ok = tr.ComWrite(0) == 1 && ans.mprob == 9;
  Check(ok && Word(ans, 4) == 2550, "poll address 5 (Modbus): setpoint 25.50 %");
  cmd::Setpoint(rq, 5, 6100);
  Check(tr.ComWrite(0) == 1 && ans.mprob == 8, "setpoint 61.00 % written (Modbus)");
  SelectKormast(rq);
  cmd::Measure(rq, 5);
  Check(tr.ComWrite(0) == 1 && Word(ans, 4) == 6100, "poll address 5 sees the new setpoint");

  cmd::Measure(rq, 6);
  Check(tr.ComWrite(0) == 1 && ans.res[7] == 6 && log.Lines().empty(),
        "answer in chunks of 3, 3 and 4 bytes");

  cmd::Measure(rq, 7);
  Check(tr.ComWrite(0) == 1 && log.Lines() == std::deque<std::string>{"TimeOut0", "TimeOut1"},
        "device answering the third attempt: TimeOut0, TimeOut1, success");

  cmd::Measure(rq, 8);
  tr.settings.attemptMs = 200;
  Check(tr.ComWrite(0) == 0 && log.Lines().size() == 7 && log.Lines().back() == "TimeOut4",
        "wrong check values: five time-outs and failure");

  tr.settings.attemptMs = 1000;
  Check(link.SetSpeed(0, 0) && link.SetSpeed(0, 2) && link.SetSpeed(0, 1),
        "speed changes 9600, 38400, 19200");
  cmd::Measure(rq, 5);
  Check(tr.ComWrite(0) == 1, "poll after the speed changes");

  auto t0 = Clock::now();
  link.Close(0);
  auto ms = MsSince(t0);
  Check(!link.IsOpen(0), "close while the watcher waits returns (" + std::to_string(ms) + " ms)");
  Check(link.Write(0, rq.com.data(), 10).status == WriteStatus::kNoHandle,
        "a write after close reports no handle");
  Check(link.Open(0, true), "COM1 opens again");
  Tx solo{link, rq, ans, log, {}};
  solo.settings.attemptMs = 1000;
  solo.settings.framing = Framing::kSolo;
  cmd::Measure(rq, 6);
  Check(solo.ComWrite(0) == 1 && ans.mprob == 10, "single-regulator framing, chunked answer");
  cmd::ClosingFrame(rq, 6);
  Check(solo.WriteOnce(0), "closing frame written once");
  link.Close(0);

  // COM10 names the same simulator: ports from 10 up open only as \\.\COMn.
  Check(link.Open(9, true), "COM10 opens");
  cmd::Measure(rq, 5);
  Check(tr.ComWrite(9) == 1 && ans.res[7] == 5, "poll address 5 through COM10");
  link.Close(9);

  // An idle open port costs nothing: its watcher sleeps in the driver. A watcher
  // that spins takes a quarter of a core or more under Wine.
  Check(link.Open(0, true), "COM1 opens for the checks of an idle and a lost port");
  double cpu = CpuSecondsOver(2000);
  Check(cpu < 0.1, "an idle open port costs " + Seconds(cpu) + " of CPU in 2 s");

  // The device goes away while the port is open and idle: the watcher finds it.
  Check(Ask("pull"), "the simulator ends");
  t0 = Clock::now();
  while (!link.Lost(0) && MsSince(t0) < 5000) Sleep(5);
  ms = MsSince(t0);
  Check(link.Lost(0), "the port is lost " + std::to_string(ms) + " ms after its pty closed");
  t0 = Clock::now();
  const WriteStatus st = link.Write(0, rq.com.data(), 10).status;
  ms = MsSince(t0);
  Check(st == WriteStatus::kPortLost && ms < 500,
        "a write to the lost port says so at once (" + std::to_string(ms) + " ms)");
  cpu = CpuSecondsOver(1000);
  Check(cpu < 0.05, "a lost port costs " + Seconds(cpu) + " of CPU in 1 s");
  t0 = Clock::now();
  link.Close(0);
  ms = MsSince(t0);
  Check(!link.IsOpen(0) && !link.Lost(0) && ms < 2000,
        "the lost port closes (" + std::to_string(ms) + " ms) and is no longer lost");
  Check(!link.Open(0, true), "COM1 does not open while its device is away");
  Check(Ask("restore"), "the simulator is back");
  Check(link.Open(0, true) && Poll(link, 0, 5), "COM1 opens again and its device answers");
  link.Close(0);

  // The same loss found by a write, on a port without a watcher.
  Check(link.Open(0, false), "COM1 opens without a watcher");
  Check(Ask("pull"), "the simulator ends again");
  t0 = Clock::now();
  const bool lost = link.Write(0, rq.com.data(), 10).status == WriteStatus::kPortLost;
  ms = MsSince(t0);
  Check(lost && link.Lost(0) && ms < 2000,
        "the first write finds the port lost (" + std::to_string(ms) + " ms)");
  link.Close(0);
  Check(Ask("restore") && link.Open(0, true) && Poll(link, 0, 5),
        "after the device is back COM1 opens and answers at the first try");
  link.Close(0);

  Check(tr.problems + solo.problems == 0, "no write problem or watcher notice was reported");
  std::printf("%d failure(s)\n", failures);
  return failures == 0 ? 0 : 1;
}
