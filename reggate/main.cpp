// reggate: one serial line of regulators offered to a plant's SCADA (Modbus TCP)
// and message broker (MQTT).
//
//   reggate CONFIG            run until SIGTERM or SIGINT
//   reggate --check CONFIG    validate the configuration and exit
//   reggate --scan PORT       find the regulators and print a starting configuration
#include <mosquitto.h>
#include <signal.h>
#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <array>
#include <cstdio>
#include <iostream>

#include "lineops/scan.h"
#include "protocol/commands.h"
#include "reggate/config.h"
#include "reggate/modbus_server.h"
#include "reggate/mqtt_bridge.h"
#include "reggate/poller.h"
#include "reggate/store.h"
#include "serial/posix_link.h"

namespace {

using namespace kvl;

enum Exit : int { kDone = 0, kFailed = 1, kUsage = 2, kPortFailed = 3 };

std::array<std::string, kPortCount> Paths(const std::string& port) {
  std::array<std::string, kPortCount> p;
  p[0] = port;
  return p;
}

int Check(const std::string& path) {
  std::string error;
  const auto c = gate::LoadConfig(path, error);
  if (!c) {
    std::cerr << error << "\n";
    return kFailed;
  }
  std::cout << path << ": good: " << c->regulators.size() << " regulator(s) on " << c->line.port
            << " at " << cmd::nUart[c->line.speedIndex] << " baud, "
            << ops::ProtocolName(c->line.protocol) << "; Modbus TCP "
            << (c->modbus.enabled ? c->modbus.listen + ":" + std::to_string(c->modbus.port) +
                                        (c->modbus.readOnly ? " (read only)" : "")
                                  : "off")
            << "; MQTT "
            << (c->mqtt.enabled ? c->mqtt.host + ":" + std::to_string(c->mqtt.port) + " prefix " +
                                      c->mqtt.prefix
                                : "off")
            << "\n";
  return kDone;
}

int Scan(const std::string& port, const std::string& speed, const std::string& protocol, int from,
         int to) {
  ops::ScanOptions o;
  o.first = from;
  o.last = to;
  if (speed == "all") {
    o.speeds = {1, 0, 2};
  } else {
    o.speeds.clear();
    for (int i = 0; i < 3; ++i)
      if (speed == cmd::nUart[i]) o.speeds = {i};
    if (o.speeds.empty()) {
      std::cerr << "--speed " << speed << ": use 9600, 19200, 38400 or all\n";
      return kUsage;
    }
  }
  if (protocol == "both")
    o.protocols = {0, 1};
  else if (protocol == "kormast" || protocol == "modbus")
    o.protocols = {protocol == "modbus" ? 1 : 0};
  else {
    std::cerr << "--protocol " << protocol << ": use kormast, modbus or both\n";
    return kUsage;
  }
  PosixLink link(Paths(port));
  ops::Line line(link, 0);
  if (!line.Open()) {
    std::cerr << "cannot open " << port << ": check the name (regctl ports lists them) and "
              << "that no other program holds it\n";
    return kPortFailed;
  }
  const bool terminal = isatty(2);
  const auto r = ops::Scan(line, o, [terminal](const ops::ScanProgress& p) {
    if (terminal)
      std::fprintf(stderr, "\rscanning: %s baud, %s, address %3d, %d found   ",
                   cmd::nUart[p.speedIndex], ops::ProtocolName(p.protocol), p.address, p.found);
    return true;
  });
  if (terminal) std::fprintf(stderr, "\n");
  if (r.failure != ops::Outcome::kAnswered) {
    std::cerr << "the port failed during the scan (" << ops::OutcomeName(r.failure) << ")\n";
    return kPortFailed;
  }
  std::cout << gate::StartingConfig(port, r.found);
  return r.found.empty() ? kFailed : kDone;
}

int Run(const std::string& path, const std::string& levelOverride) {
  std::string error;
  const auto c = gate::LoadConfig(path, error);
  if (!c) {
    spdlog::error("{}", error);
    return kFailed;
  }
  spdlog::set_level(spdlog::level::from_str(levelOverride.empty() ? c->logLevel : levelOverride));

  // SIGTERM and SIGINT are taken by sigwait below; every thread inherits the mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  mosquitto_lib_init();
  int status = kDone;
  {
    gate::Store store(c->regulators);
    PosixLink link(Paths(c->line.port));
    gate::Poller poller(*c, store, link);
    gate::ModbusServer modbus(c->modbus, store, poller);
    gate::MqttBridge mqtt(*c, store, poller);
    spdlog::info("reggate: {} regulator(s) on {}", c->regulators.size(), c->line.port);
    if (c->modbus.enabled && !modbus.Start(error)) {
      spdlog::error("{}", error);
      status = kFailed;
    } else if (c->mqtt.enabled && !mqtt.Start(error)) {
      spdlog::error("{}", error);
      status = kFailed;
    } else {
      poller.Start();
      int sig = 0;
      sigwait(&stopSignals, &sig);
      spdlog::info("{}: stopping", sig == SIGTERM ? "SIGTERM" : "SIGINT");
    }
    // Network clients first, so none waits for a command the poller no longer runs.
    modbus.Stop();
    mqtt.Stop();
    poller.Stop();
  }
  mosquitto_lib_cleanup();
  spdlog::info("reggate stopped");
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  spdlog::set_default_logger(spdlog::stderr_color_mt("reggate"));
  spdlog::set_pattern("%Y-%m-%d %H:%M:%S.%e %^%l%$ %v");

  CLI::App app{
      "reggate: offers the regulators of one serial line to SCADA over Modbus TCP and to an "
      "MQTT broker.\nSee docs/reggate.md for the configuration, the register map and the "
      "topics."};
  std::string config, check, scan, speed = "19200", protocol = "kormast", level;
  app.add_option("config", config, "configuration file (TOML) to run with");
  auto* checkOpt = app.add_option("--check", check, "validate a configuration file and exit");
  auto* scanOpt =
      app.add_option("--scan", scan, "find the regulators on PORT and print a configuration");
  app.add_option("--speed", speed, "--scan: 9600, 19200, 38400 or all")->needs(scanOpt);
  app.add_option("--protocol", protocol, "--scan: kormast, modbus or both")->needs(scanOpt);
  int from = 1, to = 254;
  app.add_option("--from", from, "--scan: first address (1)")
      ->check(CLI::Range(0, 254))
      ->needs(scanOpt);
  app.add_option("--to", to, "--scan: last address (254)")
      ->check(CLI::Range(0, 254))
      ->needs(scanOpt);
  app.add_option("--log-level", level, "trace, debug, info, warn or error (over [log] level)")
      ->check(CLI::IsMember({"trace", "debug", "info", "warn", "error"}));
  checkOpt->excludes(scanOpt);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? kDone : kUsage;
  }
  if (!check.empty()) return config.empty() ? Check(check) : kUsage;
  if (!scan.empty()) return config.empty() ? Scan(scan, speed, protocol, from, to) : kUsage;
  if (config.empty()) {
    std::cerr << "name a configuration file: reggate CONFIG (reggate --help)\n";
    return kUsage;
  }
  return Run(config, level);
}
