// The shared line operations and regctl's own parsing, without a line: the CSV
// row and file, the programs' --csv option, settings, times, profiles, and how
// the tools' exchange is wired to the protocol's.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "lineops/exchange.h"
#include "lineops/reading.h"
#include "lineops/settings.h"
#include "regctl/duration.h"
#include "regctl/ports.h"
#include "regctl/profile.h"
#include "serial/fake_link.h"
#include "support/temp_dir.h"

namespace kvl::test {
namespace {

using namespace std::chrono_literals;
using ops::Outcome;

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream f(path);
  std::vector<std::string> out;
  for (std::string l; std::getline(f, l);) out.push_back(l);
  return out;
}

TEST(CsvRecord, RowsOfAnAnswerAndOfASilence) {
  ops::Reading r;
  r.time = std::chrono::system_clock::now();
  r.address = 7;
  r.serial = 3101;
  r.outcome = Outcome::kAnswered;
  r.setpoint = 4000;
  r.flow = -1250;
  const std::string row = ops::CsvRow(r);
  EXPECT_TRUE(std::regex_match(
      row,
      std::regex(
          R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d,7,3101,40\.00,-12\.50,answered)")))
      << row;
  r.outcome = Outcome::kSilent;
  r.serial.reset();
  const std::string silent = ops::CsvRow(r);
  EXPECT_EQ(silent.substr(silent.find(',')), ",7,,,,silent");
  EXPECT_EQ(ops::CsvHeader(), "time,address,serial,setpoint,flow,status");
  // The milliseconds are the time's own.
  const auto t = std::chrono::system_clock::time_point(1234567890123ms);
  EXPECT_EQ(ops::IsoLocalTime(t).substr(19, 4), ".123");
}

TEST(CsvRecord, FileGetsOneHeaderAndToldOnceWhileItCannotBeWritten) {
  TempDir tmp;
  const auto& dir = tmp.path();
  ops::Reading r;
  r.address = 3;
  r.outcome = Outcome::kAnswered;
  {
    ops::CsvFile f((dir / "a.csv").string());
    EXPECT_EQ(f.Append(r), ops::CsvFile::Result::kWritten);
  }
  ops::CsvFile again((dir / "a.csv").string());  // appends, no second header
  EXPECT_EQ(again.Append(r), ops::CsvFile::Result::kWritten);
  const auto lines = Lines((dir / "a.csv").string());
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], ops::CsvHeader());
  EXPECT_NE(lines[2].find(",3,,0.00,0.00,answered"), std::string::npos);

  // A folder that does not exist yet: failed once, then still failing, then
  // written once it is there.
  ops::CsvFile later((dir / "later" / "b.csv").string());
  EXPECT_EQ(later.Append(r), ops::CsvFile::Result::kFailed);
  EXPECT_EQ(later.Append(r), ops::CsvFile::Result::kStillFailing);
  std::filesystem::create_directories(dir / "later");
  EXPECT_EQ(later.Append(r), ops::CsvFile::Result::kWritten);
  EXPECT_EQ(Lines((dir / "later" / "b.csv").string()).size(), 2u);
}

TEST(CsvRecord, ProgramsCommandLineOption) {
  struct Case {
    std::vector<std::string> args;
    std::string path;
    bool missing;
  } cases[] = {
      {{}, "", false},
      {{"--csv", "v.csv"}, "v.csv", false},
      {{"/CSV", "C:\\data\\v.csv"}, "C:\\data\\v.csv", false},
      {{"/other", "--csv", "a.csv", "--csv", "b.csv"}, "b.csv", false},
      {{"--csv"}, "", true},
  };
  for (const Case& c : cases) {
    const ops::CsvOption o = ops::CsvPathOption(c.args);
    EXPECT_EQ(o.path, c.path);
    EXPECT_EQ(o.missingPath, c.missing);
  }
}

TEST(Settings, AcceptedAndRefusedTexts) {
  struct Case {
    const char* text;
    bool ok;
    ops::Key key;
    int value;
  } cases[] = {
      {"valve=open", true, ops::Key::kValve, 1},
      {"valve=closed", true, ops::Key::kValve, 2},
      {"valve=regulate", true, ops::Key::kValve, 0},
      {"input=analogue", true, ops::Key::kInput, 1},
      {"kind=pressure", true, ops::Key::kKind, 1},
      {"mode=measure", true, ops::Key::kMode, 0},
      {"address=254", true, ops::Key::kAddress, 254},
      {"speed=38400", true, ops::Key::kSpeed, 2},
      {"memorising=on", true, ops::Key::kMemorising, 1},
      {"zero", true, ops::Key::kZero, 0},
      {"address=0", false, ops::Key::kAddress, 0},
      {"address=300", false, ops::Key::kAddress, 0},
      {"speed=4800", false, ops::Key::kSpeed, 0},
      {"valve=half", false, ops::Key::kValve, 0},
      {"setpoint=150", true, ops::Key::kSetpoint, 0},  // above the nominal range
      {"setpoint=655.36", false, ops::Key::kSetpoint, 0},
      {"setpoint=-1", false, ops::Key::kSetpoint, 0},
      {"zero=later", false, ops::Key::kZero, 0},
      {"flow=3", false, ops::Key::kSetpoint, 0},
  };
  for (const Case& c : cases) {
    ops::Setting s;
    std::string error;
    EXPECT_EQ(ops::ParseSetting(c.text, s, error), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(s.key, c.key) << c.text;
      EXPECT_EQ(s.value, c.value) << c.text;
    } else {
      EXPECT_FALSE(error.empty()) << c.text;
    }
  }
  // The setpoint is read as the setpoint dialog reads it.
  ops::Setting s;
  std::string error;
  ASSERT_TRUE(ops::ParseSetting("setpoint=12,5%", s, error));
  EXPECT_DOUBLE_EQ(s.percent, 12.5);
}

TEST(RegctlTimes, Durations) {
  struct Case {
    const char* text;
    long long ms;  // -1: refused
  } cases[] = {{"700ms", 700},  {"2s", 2000},   {"1.5s", 1500}, {"30", 30000}, {"5m", 300000},
               {"1h", 3600000}, {" 2s ", 2000}, {"", -1},       {"-1s", -1},   {"2x", -1},
               {"s", -1},       {"1e3", -1},    {"40d", -1}};
  for (const Case& c : cases) {
    const auto d = regctl::ParseDuration(c.text);
    EXPECT_EQ(d ? d->count() : -1, c.ms) << c.text;
  }
}

TEST(RegctlProfile, StepsRampsAndTheirErrors) {
  regctl::Profile p;
  std::string error;
  ASSERT_TRUE(regctl::ParseProfile(
      "# calibration\ntime,setpoint,mode\n0,20,step\n\n10s;60;ramp\n20,60,step\n25s,0,step\n", p,
      error))
      << error;
  ASSERT_EQ(p.rows.size(), 4u);
  EXPECT_EQ(p.End(), 25s);
  struct At {
    std::chrono::milliseconds t;
    double want;
  } at[] = {{0ms, 20}, {5s, 40}, {10s, 60}, {19999ms, 60}, {24s, 60}, {25s, 0}};
  for (const At& a : at) EXPECT_DOUBLE_EQ(p.SetpointAt(a.t, 99), a.want) << a.t.count();

  // A first-row ramp starts from the setpoint in force at the start.
  ASSERT_TRUE(regctl::ParseProfile("10s,50,ramp\n", p, error));
  EXPECT_DOUBLE_EQ(p.SetpointAt(5s, 30), 40);

  for (const char* bad : {"0,20\n", "x,20,step\n", "0,700,step\n", "0,20,jump\n",
                          "10,20,step\n5,30,step\n", "# only a comment\n"}) {
    EXPECT_FALSE(regctl::ParseProfile(bad, p, error)) << bad;
    EXPECT_FALSE(error.empty());
  }
  regctl::ParseProfile("0,20,step\n0,20,jump\n", p, error);
  EXPECT_EQ(error.rfind("line 2:", 0), 0u) << error;
}

TEST(RegctlPorts, SerialPortsOfSysfsWithTheirDriverAndUsbDevice) {
  namespace fs = std::filesystem;
  TempDir tmp;
  const fs::path& root = tmp.path();
  auto file = [](const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p) << text << "\n";
  };
  auto driver = [&](const fs::path& device, const std::string& name) {
    fs::create_directories(root / "bus" / name);
    fs::create_directories(device);
    fs::create_symlink(root / "bus" / name, device / "driver");
  };
  const fs::path tty = root / "class" / "tty";
  // A UART that is there, one the 8250 driver found nothing behind, a port
  // without a device, and a console that is no serial port.
  file(tty / "ttyS1" / "type", "4");
  driver(tty / "ttyS1" / "device", "serial8250");
  file(tty / "ttyS0" / "type", "0");
  driver(tty / "ttyS0" / "device", "serial8250");
  fs::create_directories(tty / "ttyS2");
  driver(tty / "tty0" / "device", "vt");
  // USB adapters: the device with its maker above the interface.
  const fs::path usb = root / "devices" / "usb1";
  for (auto [dev, id] : {std::pair{"1-1", "0403:6001"}, std::pair{"1-2", "2341:0043"}}) {
    file(usb / dev / "idVendor", std::string(id).substr(0, 4));
    file(usb / dev / "idProduct", std::string(id).substr(5));
  }
  file(usb / "1-1" / "manufacturer", "FTDI");
  file(usb / "1-1" / "product", "FT232R USB UART");
  file(usb / "1-1" / "serial", "A1B2");
  driver(usb / "1-1" / "1-1:1.0" / "ttyUSB0", "ftdi_sio");
  driver(usb / "1-2" / "1-2:1.0", "cdc_acm");
  fs::create_directories(tty / "ttyUSB0");
  fs::create_symlink(usb / "1-1" / "1-1:1.0" / "ttyUSB0", tty / "ttyUSB0" / "device");
  fs::create_directories(tty / "ttyACM0");
  fs::create_symlink(usb / "1-2" / "1-2:1.0", tty / "ttyACM0" / "device");

  std::vector<std::string> got;
  for (const auto& p : regctl::ListPorts(root.string()))
    got.push_back(p.name + "|" + p.driver + "|" + p.about);
  EXPECT_EQ(got, (std::vector<std::string>{
                     "/dev/ttyS1|serial8250|",
                     "/dev/ttyACM0|cdc_acm|USB 2341:0043",
                     "/dev/ttyUSB0|ftdi_sio|USB 0403:6001 FTDI FT232R USB UART serial A1B2",
                 }));
}

// The tools' exchange is the protocol's, run on the line's port with its
// protocol, timing and trace.
class ExchangeWiring : public ::testing::Test, public ops::FrameSink {
 protected:
  void SetUp() override {
    ASSERT_TRUE(line.Open());
    line.timing.attemptMs = 20;
    line.SetTrace(this);
  }
  void Frame(bool sent, int fmodbuson, const uint8_t*, size_t n) override {
    traced.push_back(std::string(sent ? "TX " : "RX ") + (fmodbuson ? "M " : "K ") +
                     std::to_string(n));
  }
  void Note(const std::string& text) override { traced.push_back(text); }
  ops::ExchangeResult Ident(int address) {
    Request rq = ops::NewRequest(line);
    rq.com[0] = CMD_IDENT;
    rq.com[7] = static_cast<uint8_t>(address);
    return ops::Exchange(line, rq);
  }
  FakeLink link;
  ops::Line line{link, 0};
  std::vector<std::string> traced;
};

TEST_F(ExchangeWiring, LinesPortProtocolTimingAndTrace) {
  line.SetProtocol(1);
  link.SetResponder([](int, const FakeLink::Bytes& f) -> std::vector<FakeLink::Bytes> {
    return {ModbusAnswer({f[0], 0x03, 0x06, 0x0B, 0xB8, 0, 3, 0, 2})};
  });
  const auto r = Ident(9);
  EXPECT_EQ(r.outcome, Outcome::kAnswered);
  // Translated back into the maker's layout: serial number 3000, format 7.
  EXPECT_EQ(r.ans.res[2] * 256 + r.ans.res[3], 3000);
  EXPECT_EQ(r.ans.res[5], 7);
  EXPECT_EQ(traced, (std::vector<std::string>{"TX M 8", "RX M 11"}));

  link.SetResponder(nullptr);
  line.timing.attempts = 2;
  EXPECT_EQ(Ident(9).log, (std::vector<std::string>{"TimeOut0", "TimeOut1"}));

  link.LosePort(0);
  EXPECT_EQ(Ident(9).outcome, Outcome::kPortLost);
}

}  // namespace
}  // namespace kvl::test
