// bench_gate: figures of reggate on a simulated line. Prints, asserts nothing.
//
//   bench_gate [--regsim PATH] [--reggate PATH] [--writes N] [--reads N] [--cpu-seconds S]
//
// Starts regsim --wire with 9 regulators at 19200 baud, a mosquitto broker on a
// loopback port and reggate polling the 9 every 700 ms, then measures
//   (a) CPU of the reggate process (user + system, /proc) while it polls;
//   (b) time from a Modbus TCP write, and from an MQTT command, to its request
//       on the line (the simulator's trace, read as it grows), at random moments
//       of the poll cycle;
//   (c) Modbus TCP read latency (14 input registers) with 8 clients at once.
#include <modbus/modbus.h>
#include <mosquitto.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "gate/gate_peers.h"
#include "support/regsim_process.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

struct Options {
  std::string regsim = KVL_REGSIM;
  std::string reggate = KVL_REGGATE;
  int writes = 20;
  int reads = 1000;  // per client
  int cpuSeconds = 30;
};

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double Quantile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())))];
}

// user + system ticks of a process.
long CpuTicks(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  std::istringstream rest(text.substr(text.rfind(')') + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; rest >> field; ++i) {
    if (i == 14) utime = std::stol(field);
    if (i == 15) {
      stime = std::stol(field);
      break;
    }
  }
  return utime + stime;
}

pid_t PidOf(const std::string& exe, const std::string& config) {
  for (const auto& e : fs::directory_iterator("/proc")) {
    std::ifstream in(e.path() / "cmdline");
    std::string cmd((std::istreambuf_iterator<char>(in)), {});
    if (cmd.find(exe) == 0 && cmd.find(config) != std::string::npos)
      return static_cast<pid_t>(std::stol(e.path().filename()));
  }
  return -1;
}

// Waits until the trace, past `from`, has a line with `needle`; the moment.
Clock::time_point SeenInTrace(const fs::path& trace, size_t from, const std::string& needle) {
  const auto limit = Clock::now() + std::chrono::seconds(5);
  while (Clock::now() < limit) {
    std::ifstream in(trace);
    in.seekg(static_cast<std::streamoff>(from));
    std::string text((std::istreambuf_iterator<char>(in)), {});
    if (text.find(needle) != std::string::npos) return Clock::now();
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  return Clock::time_point{};
}

std::string SetpointFrame(int address, int raw) {
  char b[64];
  std::snprintf(b, sizeof b, "RX K 25 00 %02X %02X 00 00 00 %02X", raw >> 8, raw & 0xFF, address);
  return b;
}

void Report(const char* what, const std::vector<double>& ms) {
  std::printf("    %-34s median %7.1f ms   p90 %7.1f ms   max %7.1f ms   (%zu)\n", what,
              Quantile(ms, 0.5), Quantile(ms, 0.9), Quantile(ms, 1.0), ms.size());
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string k = argv[i];
    if (k == "--regsim") o.regsim = argv[i + 1];
    if (k == "--reggate") o.reggate = argv[i + 1];
    if (k == "--writes") o.writes = std::atoi(argv[i + 1]);
    if (k == "--reads") o.reads = std::atoi(argv[i + 1]);
    if (k == "--cpu-seconds") o.cpuSeconds = std::atoi(argv[i + 1]);
  }
  double load = 0;
  if (std::ifstream in("/proc/loadavg"); in) in >> load;
  std::printf("bench_gate: load average %.2f on %u cores\n", load,
              std::thread::hardware_concurrency());

  const fs::path dir = fs::temp_directory_path() / ("bench_gate-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path trace = dir / "regsim.trace";
  std::vector<std::string> simArgs{"--wire", "--baud", "19200", "--trace", trace.string()};
  for (int a = 1; a <= 9; ++a) {
    simArgs.push_back("--dev");
    simArgs.push_back("addr=" + std::to_string(a) + ",setpoint=" + std::to_string(10 * a));
  }
  kvl::test::RegsimProcess sim(o.regsim, simArgs);
  kvl::test::Broker broker(dir.string(), kvl::test::FreeLoopbackPort());
  const int modbusPort = kvl::test::FreeLoopbackPort();
  const fs::path config = dir / "reggate.toml";
  {
    std::ofstream c(config);
    c << "[line]\nport = \"" << sim.path() << "\"\npoll_interval_ms = 700\n";
    for (int a = 1; a <= 9; ++a) c << "[[regulator]]\naddress = " << a << "\n";
    c << "[modbus]\nport = " << modbusPort << "\nmax_clients = 16\n";
    c << "[mqtt]\nenabled = true\nport = " << broker.Port() << "\nprefix = \"bench\"\n";
    c << "[log]\nlevel = \"warn\"\n";
  }
  kvl::test::Child gate({o.reggate, config.string()}, (dir / "reggate.log").string());
  modbus_t* mb = modbus_new_tcp("127.0.0.1", modbusPort);
  modbus_set_response_timeout(mb, 10, 0);
  const bool linked = kvl::test::WaitUntil(
      [&] {
        if (modbus_connect(mb) != 0) return false;
        for (int a = 1; a <= 9; ++a) {
          uint16_t r[14];
          modbus_set_slave(mb, a);
          if (modbus_read_input_registers(mb, 0, 14, r) != 14 || r[6] != 1) {
            modbus_close(mb);
            return false;
          }
        }
        return true;
      },
      std::chrono::seconds(30));
  if (!linked) {
    std::printf("reggate did not link the 9 regulators:\n%s\n", gate.Log().c_str());
    return 1;
  }
  const pid_t pid = PidOf(o.reggate, config.string());

  // (a) CPU while polling.
  const long t0 = CpuTicks(pid);
  const auto w0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(o.cpuSeconds));
  const double cpu = static_cast<double>(CpuTicks(pid) - t0) /
                     static_cast<double>(sysconf(_SC_CLK_TCK)) /
                     std::chrono::duration<double>(Clock::now() - w0).count() * 100.0;
  std::printf(
      "(a) CPU of reggate polling 9 regulators every 700 ms at 19200 baud (regsim --wire),"
      " %d s:\n    %.2f %% of a core\n",
      o.cpuSeconds, cpu);

  // (b) Command to frame on the line.
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> phase(0, 700);
  std::vector<double> modbusToLine, mqttToLine;
  mosquitto_lib_init();
  mosquitto* mq = mosquitto_new(nullptr, true, nullptr);
  mosquitto_connect(mq, "127.0.0.1", broker.Port(), 30);
  mosquitto_loop_start(mq);
  for (int i = 0; i < o.writes; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(phase(rng)));
    const int address = 1 + i % 9;
    const int raw = 1000 + i * 7;
    const size_t from = fs::file_size(trace);
    const auto sent = Clock::now();
    modbus_set_slave(mb, address);
    std::thread write([&] { modbus_write_register(mb, 0, static_cast<uint16_t>(raw)); });
    const auto seen = SeenInTrace(trace, from, SetpointFrame(address, raw));
    write.join();
    if (seen != Clock::time_point{}) modbusToLine.push_back(Ms(seen - sent));

    std::this_thread::sleep_for(std::chrono::milliseconds(phase(rng)));
    const int raw2 = 2000 + i * 7;
    const size_t from2 = fs::file_size(trace);
    const std::string topic = "bench/" + std::to_string(address) + "/set";
    char payload[32];
    std::snprintf(payload, sizeof payload, "setpoint=%d.%02d", raw2 / 100, raw2 % 100);
    const auto sent2 = Clock::now();
    mosquitto_publish(mq, nullptr, topic.c_str(), static_cast<int>(std::strlen(payload)), payload,
                      1, false);
    const auto seen2 = SeenInTrace(trace, from2, SetpointFrame(address, raw2));
    if (seen2 != Clock::time_point{}) mqttToLine.push_back(Ms(seen2 - sent2));
  }
  std::printf(
      "(b) command to its request on the line, %d each, at random moments of the cycle\n"
      "    (one poll cycle of 9 regulators takes about 70 ms of line time, every 700 ms):\n",
      o.writes);
  Report("Modbus TCP write (register 0)", modbusToLine);
  Report("MQTT command (setpoint=P)", mqttToLine);
  mosquitto_disconnect(mq);
  mosquitto_loop_stop(mq, false);
  mosquitto_destroy(mq);
  mosquitto_lib_cleanup();

  // (c) Read latency with 8 clients at once.
  std::vector<std::vector<double>> each(8);
  std::atomic<int> failures{0};
  std::vector<std::thread> clients;
  const auto r0 = Clock::now();
  for (int c = 0; c < 8; ++c)
    clients.emplace_back([&, c] {
      modbus_t* ctx = modbus_new_tcp("127.0.0.1", modbusPort);
      modbus_set_response_timeout(ctx, 5, 0);
      if (modbus_connect(ctx) != 0) {
        ++failures;
        modbus_free(ctx);
        return;
      }
      uint16_t r[14];
      for (int i = 0; i < o.reads; ++i) {
        modbus_set_slave(ctx, 1 + (c + i) % 9);
        const auto t = Clock::now();
        if (modbus_read_input_registers(ctx, 0, 14, r) != 14)
          ++failures;
        else
          each[static_cast<size_t>(c)].push_back(Ms(Clock::now() - t));
      }
      modbus_close(ctx);
      modbus_free(ctx);
    });
  for (auto& t : clients) t.join();
  const double wall = Ms(Clock::now() - r0) / 1000.0;
  std::vector<double> all;
  for (const auto& v : each) all.insert(all.end(), v.begin(), v.end());
  std::printf(
      "(c) Modbus TCP read of 14 input registers, 8 clients at once, %d reads each:\n"
      "    median %.3f ms   p99 %.3f ms   max %.3f ms   %.0f reads/s   failed %d\n",
      o.reads, Quantile(all, 0.5), Quantile(all, 0.99), Quantile(all, 1.0),
      static_cast<double>(all.size()) / wall, failures.load());

  modbus_close(mb);
  modbus_free(mb);
  const int status = gate.Stop(SIGTERM);
  std::printf("reggate ended with status %d on SIGTERM\n", status);
  fs::remove_all(dir);
  return 0;
}
