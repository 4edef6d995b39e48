// reggate as it runs: against regsim on a pty, a real mosquitto broker, Modbus
// TCP clients (libmodbus and mbpoll) at the same time, all on loopback. Each
// test ends reggate with SIGTERM and expects it to end cleanly.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <modbus/modbus.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "gate_peers.h"
#include "support/regsim_process.h"
#include "support/temp_dir.h"

namespace kvl::test {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

// A Modbus TCP client of the gateway (libmodbus).
class TcpClient {
 public:
  explicit TcpClient(int port) : ctx_(modbus_new_tcp("127.0.0.1", port)) {
    modbus_set_response_timeout(ctx_, 5, 0);
    connected_ = modbus_connect(ctx_) == 0;
  }
  ~TcpClient() {
    modbus_close(ctx_);
    modbus_free(ctx_);
  }
  bool Connected() const { return connected_; }
  // Input registers of unit; empty on an error (errno in LastError()).
  std::vector<uint16_t> Inputs(int unit, int count = 14) {
    std::vector<uint16_t> r(static_cast<size_t>(count));
    modbus_set_slave(ctx_, unit);
    if (modbus_read_input_registers(ctx_, 0, count, r.data()) != count) {
      error_ = errno;
      return {};
    }
    return r;
  }
  // 0 on success, else the Modbus exception code (or -1 for another failure).
  int WriteRegister(int unit, int reg, uint16_t v) {
    modbus_set_slave(ctx_, unit);
    return Result(modbus_write_register(ctx_, reg, v));
  }
  int WriteRegisters(int unit, int reg, const std::vector<uint16_t>& v) {
    modbus_set_slave(ctx_, unit);
    const int n = static_cast<int>(v.size());
    return Result(modbus_write_registers(ctx_, reg, n, v.data()) == n ? 1 : -1);
  }
  int WriteCoil(int unit, int coil, bool on) {
    modbus_set_slave(ctx_, unit);
    return Result(modbus_write_bit(ctx_, coil, on));
  }

 private:
  int Result(int rc) {
    if (rc == 1) return 0;
    const int e = errno;
    return e > MODBUS_ENOBASE && e < MODBUS_ENOBASE + 0x0C ? e - MODBUS_ENOBASE : -1;
  }
  modbus_t* ctx_;
  bool connected_ = false;
  int error_ = 0;
};

// Input registers 7-8: the age of the last answer in ms.
uint32_t Age(const std::vector<uint16_t>& r) {
  return static_cast<uint32_t>(r[7]) << 16 | r[8];
}

bool Linked(TcpClient& c, int unit) {
  const auto r = c.Inputs(unit);
  return !r.empty() && r[6] == 1;
}

struct GateOptions {
  std::string port;  // the line
  std::string protocol = "kormast";
  int mqttPort = 0;  // 0: no MQTT
  bool readOnly = false;
  std::vector<std::pair<int, std::string>> regulators;
};

// reggate started with a configuration written for it.
class Gate {
 public:
  // mqttExtra: further lines of [mqtt].
  Gate(const fs::path& dir, const GateOptions& o, const std::string& mqttExtra = {})
      : modbusPort(FreeLoopbackPort()) {
    std::ofstream conf(dir / "reggate.toml");
    conf << "[line]\nport = \"" << o.port << "\"\nprotocol = \"" << o.protocol
         << "\"\npoll_interval_ms = 300\nretry_max_s = 1\n";
    for (const auto& [address, name] : o.regulators)
      conf << "[[regulator]]\naddress = " << address << "\nname = \"" << name << "\"\n";
    conf << "[modbus]\nport = " << modbusPort << "\nread_only = " << (o.readOnly ? "true" : "false")
         << "\n";
    if (o.mqttPort)
      conf << "[mqtt]\nenabled = true\nport = " << o.mqttPort
           << "\nprefix = \"test/gate\"\nstate_interval_s = 1\n"
           << mqttExtra;
    conf << "[log]\nlevel = \"debug\"\n";
    conf.close();
    child = std::make_unique<Child>(
        std::vector<std::string>{KVL_REGGATE, (dir / "reggate.toml").string()},
        (dir / "reggate.log").string());
    // Up when its Modbus TCP server takes a client.
    WaitUntil([this] { return TcpClient(modbusPort).Connected() || !child->Running(); });
  }
  ~Gate() {
    if (child->Running()) {
      const int status = child->Stop(SIGTERM);
      EXPECT_EQ(status, 0) << "reggate did not end cleanly on SIGTERM:\n" << child->Log();
    }
  }
  int modbusPort;
  std::unique_ptr<Child> child;
};

int RunMbpoll(const std::vector<std::string>& args, std::string* out = nullptr) {
  std::string cmd = "mbpoll";
  for (const auto& a : args) cmd += " '" + a + "'";
  FILE* p = popen((cmd + " 2>&1").c_str(), "r");
  std::string text;
  char b[512];
  while (p && fgets(b, sizeof b, p)) text += b;
  const int st = p ? pclose(p) : -1;
  if (out) *out = text;
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

TEST(Gate, ModbusTcpAndMqttTogetherAgainstTheSimulator) {
  TempDir tmp;
  const fs::path dir = tmp.path();
  const fs::path trace = dir / "regsim.trace";
  RegsimProcess sim{KVL_REGSIM,
                    {"--trace", trace.string(), "--dev", "addr=3,serial=3103,setpoint=10", "--dev",
                     "addr=5,kind=pressure,serial=3105,setpoint=55", "--dev", "addr=7,silent"}};
  Broker broker(dir.string(), FreeLoopbackPort());
  Subscriber sub(broker.Port(), "test/gate");
  GateOptions o{
      sim.path(), "kormast", broker.Port(), false, {{3, "inlet"}, {5, "burner"}, {7, "spare"}}};
  auto gate = std::make_unique<Gate>(dir, o);
  ASSERT_TRUE(gate->child->Running()) << gate->child->Log();

  TcpClient a(gate->modbusPort);
  ASSERT_TRUE(WaitUntil([&] { return Linked(a, 3) && Linked(a, 5); })) << gate->child->Log();
  auto in = a.Inputs(3);
  EXPECT_EQ(in[0], 1000);  // setpoint 10 %
  EXPECT_EQ(in[4], 3103);
  EXPECT_EQ(in[5], 0);  // flow regulator
  EXPECT_LT(Age(in), 5000u);
  EXPECT_EQ(a.Inputs(5)[5], 1);  // pressure regulator

  // A client that sends half a request and then nothing holds up neither the
  // polling nor the other clients.
  const int stuck = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(static_cast<uint16_t>(gate->modbusPort));
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(stuck, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
  const uint8_t half[] = {0, 1, 0, 0, 0};
  ASSERT_EQ(write(stuck, half, sizeof half), static_cast<ssize_t>(sizeof half));

  // mbpoll reads unit 5 over and over while libmodbus writes unit 3.
  std::atomic<bool> reading{true};
  std::atomic<int> mbpollReads{0}, mbpollFailures{0};
  std::thread other([&] {
    while (reading) {
      std::string out;
      const int rc = RunMbpoll({"-m", "tcp", "-p", std::to_string(gate->modbusPort), "-a", "5",
                                "-t", "3", "-0", "-r", "0", "-c", "7", "-1", "127.0.0.1"},
                               &out);
      (rc == 0 && out.find("[5]: \t1") != std::string::npos ? mbpollReads : mbpollFailures)++;
    }
  });
  EXPECT_EQ(a.WriteRegister(3, 0, 4000), 0);  // setpoint 40 %
  EXPECT_EQ(sim.Get(3, "setpoint"), "40.00");
  EXPECT_EQ(a.WriteCoil(3, 0, true), 0);  // valve open
  EXPECT_EQ(sim.Get(3, "valve"), "open");
  EXPECT_EQ(a.WriteRegisters(3, 0, {3000, 0}), 0);  // setpoint 30 % and regulate, in one
  EXPECT_EQ(sim.Get(3, "setpoint"), "30.00");
  EXPECT_EQ(sim.Get(3, "valve"), "regulate");
  EXPECT_EQ(a.WriteCoil(3, 0, true), 0);
  EXPECT_EQ(a.WriteRegister(7, 0, 100), 0x0B);  // silent: the gateway's target did not answer
  EXPECT_EQ(a.WriteRegister(9, 0, 100), 0x0A);  // no such regulator on this gateway
  EXPECT_EQ(a.WriteRegister(3, 1, 3), 0x03);    // no valve state 3
  EXPECT_EQ(a.WriteRegister(3, 9, 1), 0x02);
  WaitUntil([&] { return mbpollReads >= 2; });
  reading = false;
  other.join();
  EXPECT_GE(mbpollReads, 2);
  EXPECT_EQ(mbpollFailures, 0);
  // mbpoll writes too: the valve back to regulate (holding register 1 := 0).
  std::string out;
  EXPECT_EQ(RunMbpoll({"-m", "tcp", "-p", std::to_string(gate->modbusPort), "-a", "3", "-t", "4",
                       "-0", "-r", "1", "127.0.0.1", "0"},
                      &out),
            0)
      << out;
  EXPECT_EQ(sim.Get(3, "valve"), "regulate");
  close(stuck);

  // MQTT: the retained states, and a command that reaches the line.
  const std::string state = sub.WaitFor("test/gate/inlet/state", [](const std::string& p) {
    const auto j = json::parse(p);
    return j["linked"] == true && j["setpoint"] == 30.0;
  });
  ASSERT_FALSE(state.empty());
  const auto j = json::parse(state);
  EXPECT_EQ(j["serial"], 3103);
  EXPECT_EQ(j["address"], 3);
  EXPECT_EQ(j["texts"]["kind"], "КВЛ");
  EXPECT_EQ(j["status"], "answered");
  EXPECT_FALSE(
      sub.WaitFor("test/gate/spare/state",
                  [](const std::string& p) { return json::parse(p)["status"] == "silent"; })
          .empty());
  EXPECT_FALSE(
      sub.WaitFor("test/gate/availability", [](const std::string& p) { return p == "online"; })
          .empty());

  const std::string before = ReadText(trace);
  ASSERT_TRUE(sub.Publish("test/gate/inlet/set", R"({"setpoint": 25.5, "id": "r1"})"));
  const auto result = sub.WaitFor(
      "test/gate/inlet/result", [](const std::string& p) { return json::parse(p)["id"] == "r1"; });
  ASSERT_FALSE(result.empty());
  EXPECT_EQ(json::parse(result)["status"], "answered") << result;
  EXPECT_DOUBLE_EQ(json::parse(result)["setpoint"].get<double>(), 25.5);
  // The programs' setpoint request: code 37 to address 3, 25.50 % = 0x09F6.
  EXPECT_NE(ReadText(trace).substr(before.size()).find("RX K 25 00 09 F6 00 00 00 03"),
            std::string::npos);
  EXPECT_EQ(sim.Get(3, "setpoint"), "25.50");
  ASSERT_TRUE(sub.Publish("test/gate/inlet/set", "address=9"));
  EXPECT_FALSE(
      sub.WaitFor("test/gate/inlet/result",
                  [](const std::string& p) { return json::parse(p)["status"] == "rejected"; })
          .empty());

  // SIGTERM: ends cleanly and says "offline".
  const size_t mark = sub.Messages().size();
  gate.reset();
  EXPECT_FALSE(
      sub.WaitFor(
             "test/gate/availability", [](const std::string& p) { return p == "offline"; }, mark)
          .empty());
}

TEST(Gate, ReadOnlyRefusesWritesAndModbusLineIsPolled) {
  TempDir tmp;
  const fs::path dir = tmp.path();
  RegsimProcess sim{KVL_REGSIM, {"--dev", "addr=4,setpoint=20"}};
  Gate gate(dir, {sim.path(), "modbus", 0, true, {{4, "four"}}});
  TcpClient c(gate.modbusPort);
  ASSERT_TRUE(WaitUntil([&] { return Linked(c, 4); })) << gate.child->Log();
  EXPECT_EQ(c.Inputs(4)[0], 2000);
  EXPECT_EQ(c.WriteRegister(4, 0, 4000), 0x01);
  EXPECT_EQ(c.WriteCoil(4, 0, true), 0x01);
  EXPECT_EQ(sim.Get(4, "setpoint"), "20.00");
  EXPECT_EQ(sim.Get(4, "valve"), "regulate");
}

TEST(Gate, BrokerStoppedAndStartedAgain) {
  TempDir tmp;
  const fs::path dir = tmp.path();
  RegsimProcess sim{KVL_REGSIM, {"--dev", "addr=2,setpoint=30"}};
  Broker broker(dir.string(), FreeLoopbackPort());
  Gate gate(dir, {sim.path(), "kormast", broker.Port(), false, {{2, "two"}}});
  {
    Subscriber sub(broker.Port(), "test/gate");
    ASSERT_FALSE(sub.WaitFor("test/gate/two/state",
                             [](const std::string& p) { return json::parse(p)["linked"] == true; })
                     .empty())
        << gate.child->Log();
  }
  broker.Stop();
  // Polling goes on without the broker: a new setpoint shows over Modbus TCP.
  TcpClient c(gate.modbusPort);
  EXPECT_EQ(c.WriteRegister(2, 0, 6000), 0);
  EXPECT_TRUE(WaitUntil([&] {
    const auto r = c.Inputs(2);
    return !r.empty() && r[0] == 6000 && Age(r) < 2000u;
  }));
  broker.Start();  // nothing kept: only a new publication brings the state back
  Subscriber sub(broker.Port(), "test/gate");
  EXPECT_FALSE(sub.WaitFor("test/gate/two/state",
                           [](const std::string& p) { return json::parse(p)["setpoint"] == 60.0; })
                   .empty())
      << gate.child->Log();
  EXPECT_FALSE(
      sub.WaitFor("test/gate/availability", [](const std::string& p) { return p == "online"; })
          .empty());
  EXPECT_TRUE(gate.child->Running());
}

// The broker's second listener takes only TLS clients that give a password.
// With the right one the state reaches a subscriber of the plain listener; with
// a wrong one nothing is published, and polling goes on.
TEST(Gate, MqttOverTlsWithAPassword) {
  TempDir tmp;
  const fs::path dir = tmp.path();
  const std::string d = dir.string();
  const std::string make =
      "cd '" + d +
      "' && printf 'subjectAltName=IP:127.0.0.1\\n' >san &&"
      " openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=test-ca -keyout ca.key"
      " -out ca.crt &&"
      " openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout server.key -out server.csr "
      "&&"
      " openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 2"
      " -extfile san -out server.crt &&"
      " mosquitto_passwd -b -c passwd gate s3cret &&"
      " chmod 644 server.key passwd";  // mosquitto started as root reads them as its own user
  ASSERT_EQ(std::system(("(" + make + ") >make.log 2>&1").c_str()), 0)
      << ReadText(dir / "make.log");
  const int tlsPort = FreeLoopbackPort();
  Broker broker(d, FreeLoopbackPort(),
                "listener " + std::to_string(tlsPort) + " 127.0.0.1\ncafile " + d +
                    "/ca.crt\ncertfile " + d + "/server.crt\nkeyfile " + d +
                    "/server.key\nallow_anonymous false\npassword_file " + d + "/passwd\n");
  Subscriber sub(broker.Port(), "test/gate");
  RegsimProcess sim{KVL_REGSIM, {"--dev", "addr=2,setpoint=30"}};
  const auto linked = [](const std::string& p) { return json::parse(p)["linked"] == true; };
  const std::string tls = "ca_file = \"" + d + "/ca.crt\"\nusername = \"gate\"\n";
  {
    Gate gate(dir, {sim.path(), "kormast", tlsPort, false, {{2, "two"}}},
              tls + "password = \"wrong\"\n");
    TcpClient c(gate.modbusPort);
    ASSERT_TRUE(WaitUntil([&] { return Linked(c, 2); })) << gate.child->Log();
    EXPECT_TRUE(sub.WaitFor("test/gate/two/state", linked, 0, std::chrono::seconds(3)).empty());
    EXPECT_TRUE(gate.child->Running());
  }
  Gate gate(dir, {sim.path(), "kormast", tlsPort, false, {{2, "two"}}},
            tls + "password = \"s3cret\"\n");
  EXPECT_FALSE(sub.WaitFor("test/gate/two/state", linked).empty()) << gate.child->Log();
  EXPECT_FALSE(
      sub.WaitFor("test/gate/availability", [](const std::string& p) { return p == "online"; })
          .empty());
}

TEST(Gate, LineVanishesAndComesBack) {
  TempDir tmp;
  const fs::path dir = tmp.path();
  const std::string link = (dir / "line").string();
  auto sim = std::make_unique<RegsimProcess>(
      KVL_REGSIM, std::vector<std::string>{"--link", link, "--dev", "addr=6"});
  Broker broker(dir.string(), FreeLoopbackPort());
  Subscriber sub(broker.Port(), "test/gate");
  Gate gate(dir, {link, "kormast", broker.Port(), false, {{6, "six"}}});
  TcpClient c(gate.modbusPort);
  ASSERT_TRUE(WaitUntil([&] { return Linked(c, 6); })) << gate.child->Log();

  sim.reset();  // the adapter is pulled
  EXPECT_TRUE(WaitUntil([&] {
    const auto r = c.Inputs(6);
    return !r.empty() && r[6] == 0 && r[13] == 4;  // port lost
  })) << gate.child->Log();
  EXPECT_EQ(c.WriteRegister(6, 0, 100), 0x0A);
  EXPECT_FALSE(sub.WaitFor("test/gate/line",
                           [](const std::string& p) { return json::parse(p)["open"] == false; })
                   .empty());
  EXPECT_FALSE(
      sub.WaitFor("test/gate/availability", [](const std::string& p) { return p == "offline"; })
          .empty());

  const size_t mark = sub.Messages().size();
  sim = std::make_unique<RegsimProcess>(
      KVL_REGSIM, std::vector<std::string>{"--link", link, "--dev", "addr=6,setpoint=70"});
  EXPECT_TRUE(WaitUntil([&] {
    const auto r = c.Inputs(6);
    return !r.empty() && r[6] == 1 && r[0] == 7000;
  })) << gate.child->Log();
  EXPECT_FALSE(
      sub.WaitFor(
             "test/gate/availability", [](const std::string& p) { return p == "online"; }, mark)
          .empty());
  const std::string log = gate.child->Log();
  EXPECT_NE(log.find("was lost"), std::string::npos) << log;
  EXPECT_NE(log.find("is back"), std::string::npos) << log;
}

TEST(Gate, CheckScanAndABadConfiguration) {
  TempDir tmp;
  const fs::path dir = tmp.path();
  RegsimProcess sim{KVL_REGSIM, {"--dev", "addr=3", "--dev", "addr=8,kind=pressure"}};
  // --scan prints a configuration that --check accepts.
  Child scan({KVL_REGGATE, "--scan", sim.path(), "--to", "20"}, (dir / "scan.toml").string());
  ASSERT_EQ(scan.Wait(std::chrono::seconds(60)), 0) << scan.Log();
  const std::string found = scan.Log();
  EXPECT_NE(found.find("address = 3\nname = \"flow-3\""), std::string::npos) << found;
  EXPECT_NE(found.find("address = 8\nname = \"pressure-8\""), std::string::npos) << found;
  Child check({KVL_REGGATE, "--check", (dir / "scan.toml").string()}, (dir / "check.log").string());
  EXPECT_EQ(check.Wait(std::chrono::seconds(10)), 0) << check.Log();

  std::ofstream(dir / "bad.toml") << "[line]\nport = \"" << sim.path()
                                  << "\"\n[[regulator]]\naddress = 3\nadress = 4\n";
  for (const char* mode : {"--check", ""}) {
    std::vector<std::string> argv{KVL_REGGATE, (dir / "bad.toml").string()};
    if (*mode) argv.insert(argv.begin() + 1, mode);
    Child bad(argv, (dir / (std::string("bad") + mode + ".log")).string());
    EXPECT_EQ(bad.Wait(std::chrono::seconds(10)), 1) << mode;
    EXPECT_NE(bad.Log().find("bad.toml:5: unknown key 'adress' in [[regulator]]"),
              std::string::npos)
        << bad.Log();
  }
}

}  // namespace
}  // namespace kvl::test
