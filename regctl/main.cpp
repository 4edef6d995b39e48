// regctl: the command-line companion of the regulator programs, for
// commissioning, test stands and scripts. It speaks to the regulators with the
// programs' own requests, in both protocols, through the same links.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "regctl/commands.h"

#ifdef _WIN32
#include "windows/utf.h"
#endif

namespace {

using namespace kvl::regctl;

const char kAbout[] =
    "regctl - find, read, set and record the КВЛ flow and ВПЗ pressure regulators on a serial "
    "line, in \"Кормаст-10м\" or Modbus RTU.";

const char kFooter[] = R"(
Commands (PORT: a device such as /dev/ttyUSB0 on Linux, COM1 .. COM10 on Windows;
ADDR: a network address 1..254; every port command takes --speed and --protocol):
  regctl ports
      the serial ports of this computer, with their driver
  regctl scan PORT [--speed 19200|9600|38400|all|LIST] [--protocol kormast|modbus|both]
                   [--from 1] [--to 254] [--attempt-ms N]
      finds the regulators: one short attempt per address, each answer confirmed
      by a full exchange; prints address, kind, serial, format, protocol, speed
  regctl info PORT ADDR
      identifies the regulator: serial, kind, mode, input, state, valve,
      memorising, firmware date ("Кормаст-10м" only)
  regctl read PORT ADDR...
      setpoint and flow of each regulator
  regctl set PORT ADDR KEY=VALUE... [--yes]
      setpoint=P (0..655.35 %) valve=open|closed|regulate   zero
      input=digital|analogue  kind=flow|pressure   mode=regulate|measure
      address=N (1..254)      speed=9600|19200|38400   memorising=on|off
      given in order, each as the programs send it; zero, address and speed are
      confirmed on a terminal (--yes skips the question; needed in scripts)
  regctl poll PORT ADDR... [--interval 700ms] [--duration D] [--csv FILE]
      polls until the duration is over or Ctrl+C: a live table on a terminal,
      CSV rows (or JSON lines with --json) otherwise; --csv appends to FILE
  regctl profile PORT ADDR FILE.csv [--interval 700ms] [--on-stop keep|setpoint=N]
                 [--csv FILE]
      runs a setpoint profile (rows: time,setpoint,step|ramp; see docs/regctl.md)
      and records as poll does; at its end or on Ctrl+C the regulator keeps its
      last setpoint, or gets N with --on-stop setpoint=N

Times: 700ms, 2s, 1.5s, 5m, 1h, or plain seconds.
CSV: time,address,serial,setpoint,flow,status - ISO 8601 local time with
milliseconds, setpoint and flow in per cent, status answered, silent, refused,
write_failed or port_lost. One row per answer, flushed as it is written.

Exit codes: 0 done; 1 a regulator was silent or refused (or nothing was found,
or a question was answered no); 2 usage error; 3 the port cannot be opened or
was lost.

Examples:
  regctl scan /dev/ttyUSB0 --speed all --protocol both
  regctl poll /dev/ttyUSB0 1 2 3 --duration 1m --csv values.csv
  regctl set COM3 5 setpoint=40 valve=regulate
Every command: regctl COMMAND --help. More in docs/regctl.md.)";

void AddLine(CLI::App* cmd, LineArgs& l, bool scan) {
  cmd->add_option("PORT", l.port, "serial port: /dev/ttyUSB0, /dev/ttyS0 ... or COM1 .. COM10")
      ->required();
  cmd->add_option("--speed", l.speed,
                  scan ? "9600, 19200, 38400, a comma-separated list, or all"
                       : "line speed: 9600, 19200 or 38400")
      ->capture_default_str();
  cmd->add_option("--protocol", l.protocol,
                  scan ? "kormast, modbus or both" : "kormast (\"Кормаст-10м\") or modbus")
      ->capture_default_str();
}

int Run(std::vector<std::string> args) {
  CLI::App app{kAbout, "regctl"};
  app.footer(kFooter);
  app.require_subcommand(1, 1);
  app.fallthrough();
  Common c;
  app.add_option("--trace", c.trace, "append every frame (time, direction, hex bytes) to FILE")
      ->type_name("FILE");
  app.add_flag("--json", c.json, "machine-readable output (JSON)");

  app.add_subcommand("ports", "list the serial ports of this computer");

  LineArgs scanLine;
  ScanArgs scanArgs;
  auto* scan = app.add_subcommand("scan", "find the regulators on a line");
  AddLine(scan, scanLine, true);
  scan->add_option("--from", scanArgs.from, "first address")
      ->check(CLI::Range(1, 254))
      ->capture_default_str();
  scan->add_option("--to", scanArgs.to, "last address")
      ->check(CLI::Range(1, 254))
      ->capture_default_str();
  scan->add_option("--attempt-ms", scanArgs.attemptMs,
                   "wait of the short attempt per address (default: from the speed)")
      ->check(CLI::Range(5u, 2000u));

  LineArgs infoLine;
  int infoAddr = 0;
  auto* info = app.add_subcommand("info", "identify a regulator and decode its status");
  AddLine(info, infoLine, false);
  info->add_option("ADDR", infoAddr, "network address")->required()->check(CLI::Range(1, 254));

  LineArgs readLine;
  std::vector<int> readAddrs;
  auto* read = app.add_subcommand("read", "setpoint and flow of regulators");
  AddLine(read, readLine, false);
  read->add_option("ADDR", readAddrs, "network addresses")->required()->check(CLI::Range(1, 254));

  LineArgs setLine;
  int setAddr = 0;
  std::vector<std::string> settings;
  bool yes = false;
  auto* set = app.add_subcommand("set", "give a regulator settings, as the programs do");
  AddLine(set, setLine, false);
  set->add_option("ADDR", setAddr, "network address")->required()->check(CLI::Range(1, 254));
  set->add_option("KEY=VALUE", settings,
                  "setpoint=P valve=open|closed|regulate zero input=digital|analogue "
                  "kind=flow|pressure mode=regulate|measure address=N speed=BAUD "
                  "memorising=on|off")
      ->required();
  set->add_flag("-y,--yes", yes, "give zero, address and speed without asking");

  LineArgs pollLine;
  PollArgs poll;
  auto* pollCmd = app.add_subcommand("poll", "poll regulators, with a live table and CSV");
  AddLine(pollCmd, pollLine, false);
  pollCmd->add_option("ADDR", poll.addresses, "network addresses")
      ->required()
      ->check(CLI::Range(1, 254));
  pollCmd->add_option("--interval", poll.interval, "time between polls")->capture_default_str();
  pollCmd->add_option("--duration", poll.duration, "stop after this time (default: Ctrl+C)");
  pollCmd->add_option("--csv", poll.csv, "append one row per answer to FILE")->type_name("FILE");

  LineArgs profLine;
  ProfileArgs prof;
  auto* profile = app.add_subcommand("profile", "run a setpoint profile and record it");
  AddLine(profile, profLine, false);
  profile->add_option("ADDR", prof.address, "network address")
      ->required()
      ->check(CLI::Range(1, 254));
  profile->add_option("FILE", prof.file, "the profile: rows time,setpoint,step|ramp")->required();
  profile->add_option("--interval", prof.interval, "time between setpoint updates and readings")
      ->capture_default_str();
  profile->add_option("--on-stop", prof.onStop, "keep, or setpoint=N: the setpoint left at the end")
      ->capture_default_str();
  profile->add_option("--csv", prof.csv, "append one row per answer to FILE")->type_name("FILE");

  try {
    std::reverse(args.begin(), args.end());
    app.parse(args);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);  // --help
    std::fprintf(stderr, "regctl: %s (see regctl --help)\n", e.what());
    return kUsage;
  }
  if (app.got_subcommand("ports")) return RunPorts(c);
  if (*scan) return RunScan(c, scanLine, scanArgs);
  if (*info) return RunInfo(c, infoLine, infoAddr);
  if (*read) return RunRead(c, readLine, readAddrs);
  if (*set) return RunSet(c, setLine, setAddr, settings, yes);
  if (*pollCmd) return RunPoll(c, pollLine, poll);
  if (*profile) return RunProfile(c, profLine, prof);
  return kUsage;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(kvl::win::Narrow(argv[i]));
  return Run(args);
}
#else
int main(int argc, char** argv) {
  return Run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
