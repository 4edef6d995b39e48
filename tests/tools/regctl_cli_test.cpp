// regctl itself against the simulator on a pty: every command in both
// protocols, its JSON and CSV output parsed, Ctrl+C while polling, a profile
// with its trace, and the exit codes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "support/regsim_process.h"
#include "support/temp_dir.h"

namespace kvl::test {
namespace {

using nlohmann::json;

struct Ran {
  int code = -1;
  std::string out, err;
};

// A running regctl with its output gathered.
class Regctl {
 public:
  explicit Regctl(std::vector<std::string> args) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
    args.insert(args.begin(), KVL_REGCTL);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 1);
      dup2(err[1], 2);
      const int null = open("/dev/null", O_RDONLY);
      dup2(null, 0);  // not a terminal: no questions, no live table
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }
  ~Regctl() {
    if (pid_ > 0 && code_ < 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
  }
  // Gathers output until the program ends (at most limit); the exit code, or
  // -1 when it did not end in time.
  Ran Wait(std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (code_ < 0 && std::chrono::steady_clock::now() < until) {
      Pump(50);
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_)
        code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    Pump(0);
    return {code_, ran_.out, ran_.err};
  }
  void Signal(int sig) { kill(pid_, sig); }
  const std::string& Out() {
    Pump(0);
    return ran_.out;
  }

 private:
  void Pump(int ms) {
    pollfd p[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if (poll(p, 2, ms) <= 0) return;
    char b[4096];
    for (int i = 0; i < 2; ++i) {
      if (!(p[i].revents & (POLLIN | POLLHUP))) continue;
      const ssize_t n = read(p[i].fd, b, sizeof b);
      if (n > 0) (i ? ran_.err : ran_.out).append(b, static_cast<size_t>(n));
    }
  }
  pid_t pid_ = -1;
  int out_ = -1, err_ = -1;
  int code_ = -1;
  Ran ran_;
};

Ran RunRegctl(const std::vector<std::string>& args) {
  return Regctl(args).Wait();
}

std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> f;
    std::string cell;
    std::istringstream l(line);
    while (std::getline(l, cell, ',')) f.push_back(cell);
    if (!line.empty() && line.back() == ',') f.push_back("");
    rows.push_back(f);
  }
  return rows;
}

class RegctlCli : public ::testing::TestWithParam<std::string> {
 protected:
  std::vector<std::string> Args(std::vector<std::string> a) {
    a.insert(a.end(), {"--protocol", GetParam()});
    return a;
  }
  RegsimProcess sim{KVL_REGSIM,
                    {"--dev", "addr=3,serial=3103,regulate=0,setpoint=40,flow=25.5", "--dev",
                     "addr=6,kind=pressure,serial=3206"}};
  TempDir tmp;
  const std::filesystem::path dir = tmp.path();
};

TEST_P(RegctlCli, InfoReadSetAndScanGiveParsableOutput) {
  Ran r = RunRegctl(Args({"info", sim.path(), "6", "--json"}));
  ASSERT_EQ(r.code, 0) << r.err;
  json j = json::parse(r.out);
  EXPECT_EQ(j["serial"], 3206);
  EXPECT_EQ(j["kind"], "pressure");
  EXPECT_EQ(j["protocol"], GetParam());
  EXPECT_EQ(j["texts"]["mode"], "Регулирование");
  EXPECT_EQ(j.contains("firmware"), GetParam() == "kormast");

  r = RunRegctl(Args({"--json", "read", sim.path(), "3", "6"}));
  ASSERT_EQ(r.code, 0) << r.err;
  j = json::parse(r.out);
  ASSERT_EQ(j.size(), 2u);
  EXPECT_EQ(j[0]["address"], 3);
  EXPECT_EQ(j[0]["serial"], 3103);
  EXPECT_DOUBLE_EQ(j[0]["setpoint"].get<double>(), 40.0);
  EXPECT_DOUBLE_EQ(j[0]["flow"].get<double>(), 25.5);
  EXPECT_EQ(j[1]["status"], "answered");

  r = RunRegctl(Args({"set", sim.path(), "3", "setpoint=33.3", "valve=closed", "--json"}));
  ASSERT_EQ(r.code, 0) << r.err;
  j = json::parse(r.out);
  ASSERT_EQ(j.size(), 2u);
  EXPECT_DOUBLE_EQ(j[0]["setpoint"].get<double>(), 33.3);
  EXPECT_EQ(j[1]["status"], "answered");
  EXPECT_EQ(sim.Get(3, "setpoint"), "33.30");
  EXPECT_EQ(sim.Get(3, "valve"), "closed");

  const auto trace = dir / "trace.txt";
  r = RunRegctl(Args({"scan", sim.path(), "--to", "8", "--attempt-ms", "150", "--json", "--trace",
                      trace.string()}));
  ASSERT_EQ(r.code, 0) << r.err;
  j = json::parse(r.out);
  ASSERT_EQ(j["found"].size(), 2u);
  EXPECT_EQ(j["found"][0]["address"], 3);
  EXPECT_EQ(j["found"][1]["address"], 6);
  EXPECT_EQ(j["found"][1]["protocol"], GetParam());
  // 8 short attempts and 2 confirmations, each frame traced with its time.
  const std::string t = ReadText(trace);
  const char* tx = GetParam() == "kormast" ? " TX K 01 " : " TX M 0";
  size_t sent = 0;
  for (size_t at = 0; (at = t.find(tx, at)) != std::string::npos; ++at) ++sent;
  EXPECT_EQ(sent, 10u) << t;
  EXPECT_NE(t.find(GetParam() == "kormast" ? " RX K 01 " : " RX M 06 03 06 "), std::string::npos);
}

TEST_P(RegctlCli, PollWritesCsvAndJsonLinesAndEndsCleanlyOnCtrlC) {
  const auto csv = dir / "values.csv";
  Ran r = RunRegctl(Args({"poll", sim.path(), "3", "5", "--interval", "200ms", "--duration",
                          "1500ms", "--csv", csv.string()}));
  EXPECT_EQ(r.code, 1) << r.err;  // regulator 5 never answered
  const auto rows = CsvRows(ReadText(csv));
  ASSERT_GE(rows.size(), 3u);
  EXPECT_EQ(rows[0],
            (std::vector<std::string>{"time", "address", "serial", "setpoint", "flow", "status"}));
  EXPECT_EQ(rows[1],
            (std::vector<std::string>{rows[1][0], "3", "3103", "40.00", "25.50", "answered"}));
  EXPECT_EQ(rows[2], (std::vector<std::string>{rows[2][0], "5", "", "", "", "silent"}));
  // Not a terminal: the same rows on stdout.
  EXPECT_EQ(CsvRows(r.out), rows);

  Regctl poll(Args({"poll", sim.path(), "3", "--json", "--interval", "100ms", "--csv",
                    (dir / "more.csv").string()}));
  for (int i = 0; i < 200 && std::count(poll.Out().begin(), poll.Out().end(), '\n') < 3; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  poll.Signal(SIGINT);
  r = poll.Wait(std::chrono::seconds(5));
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find("stopped:"), std::string::npos) << r.err;
  std::istringstream lines(r.out);
  int n = 0;
  for (std::string l; std::getline(lines, l); ++n) {
    const json j = json::parse(l);
    EXPECT_EQ(j["address"], 3);
    EXPECT_EQ(j["status"], "answered");
  }
  EXPECT_GE(n, 3);
  // Every reading reached the file, whole, before the port was closed.
  EXPECT_EQ(CsvRows(ReadText(dir / "more.csv")).size(), static_cast<size_t>(n) + 1);
}

TEST_P(RegctlCli, ProfileRampsAndLeavesTheChosenSetpoint) {
  const auto profile = dir / "profile.csv";
  std::ofstream(profile) << "time,setpoint,mode\n0,20,step\n1s,60,ramp\n1500ms,60,step\n";
  const auto csv = dir / "profile-values.csv";
  Ran r = RunRegctl(Args({"profile", sim.path(), "3", profile.string(), "--interval", "100ms",
                          "--on-stop", "setpoint=10", "--csv", csv.string()}));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find("set to 10.00 %"), std::string::npos) << r.err;
  EXPECT_EQ(sim.Get(3, "setpoint"), "10.00");
  const auto rows = CsvRows(ReadText(csv));
  ASSERT_GE(rows.size(), 10u);
  EXPECT_EQ(rows[1][3], "20.00");
  double before = 0;
  int between = 0;
  for (size_t i = 1; i < rows.size(); ++i) {
    const double v = std::stod(rows[i][3]);
    EXPECT_GE(v, before) << i;  // the ramp only rises
    if (v > 20 && v < 60) ++between;
    before = v;
  }
  EXPECT_GE(between, 3);
  EXPECT_EQ(rows.back()[3], "60.00");
}

INSTANTIATE_TEST_SUITE_P(Protocols, RegctlCli, ::testing::Values("kormast", "modbus"),
                         [](const auto& i) { return i.param; });

TEST(RegctlExit, CodesAndHelp) {
  RegsimProcess sim(KVL_REGSIM, {"--dev", "addr=3"});
  struct Case {
    std::vector<std::string> args;
    int code;
    const char* says;  // in what it prints
  } cases[] = {
      {{"info", sim.path(), "8"}, 1, "regulator 8 silent"},
      {{"read", sim.path(), "3", "8"}, 1, ""},
      {{"set", sim.path(), "8", "valve=open"}, 1, "did not answer"},
      {{"info", "/dev/no-such-port", "3"}, 3, "cannot open the port"},
      {{"frobnicate"}, 2, "see regctl --help"},
      {{"info", sim.path(), "300"}, 2, "see regctl --help"},
      {{"info", sim.path(), "3", "--speed", "4800"}, 2, "--speed must be"},
      {{"scan", sim.path(), "--speed", ""}, 2, "--speed must be"},
      {{"set", sim.path(), "3", "address=7"}, 2, "add --yes"},
      {{"set", sim.path(), "3", "valve=wide"}, 2, "valve=open"},
      {{"poll", sim.path(), "3", "--interval", "soon"}, 2, "is not a time"},
      {{"profile", sim.path(), "3", "/no/such/profile.csv"}, 2, "cannot read the profile"},
      {{"--help"}, 0, ""},
  };
  for (const Case& c : cases) {
    const Ran r = RunRegctl(c.args);
    EXPECT_EQ(r.code, c.code) << c.args[0] << ": " << r.err;
    EXPECT_NE((r.out + r.err).find(c.says), std::string::npos) << c.says << ": " << r.out << r.err;
  }
  // Nothing was sent to the regulator for the refused settings.
  EXPECT_EQ(sim.Get(3, "addr"), "3");
  const Ran help = RunRegctl({"--help"});
  for (const char* cmd : {"ports", "scan", "info", "read", "set", "poll", "profile", "--trace",
                          "--json", "Exit codes", "memorising=on|off", "--on-stop"})
    EXPECT_NE(help.out.find(cmd), std::string::npos) << cmd;
}

TEST(RegctlPorts, ListsSerialPortsFromSysfs) {
  // The native build lists what sysfs says; a machine may have no serial port,
  // but the listing always works and its JSON is an array of named ports.
  const Ran r = RunRegctl({"ports", "--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  const json j = json::parse(r.out);
  ASSERT_TRUE(j.is_array());
  for (const auto& p : j) {
    EXPECT_EQ(p["name"].get<std::string>().rfind("/dev/tty", 0), 0u);
    EXPECT_FALSE(p["driver"].get<std::string>().empty());
  }
}

}  // namespace
}  // namespace kvl::test
