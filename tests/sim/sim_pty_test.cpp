// regsim itself on a pseudo-terminal: a plain termios client, libmodbus as a Modbus
// RTU master, the control on stdin, the trace file, the command line and the end.
#include <errno.h>
#include <gtest/gtest.h>
#include <modbus.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "protocol/commands.h"
#include "protocol/frame.h"
#include "support/frame_checks.h"
#include "support/temp_dir.h"
#include "termios_client.h"

namespace kvl::sim::test {
namespace {

using Bytes = std::vector<uint8_t>;
using kvl::test::KormastValid;
using kvl::test::ReadText;
using kvl::test::TempDir;

Bytes Kormast(Bytes f) {
  f.resize(10, 0);
  ContrSum(f.data(), 10, 0);
  return f;
}

TEST(RegsimPty, AnswersKormastRequestsOnThePty) {
  RegsimProcess sim({"--quiet", "--dev", "addr=5,serial=4660,setpoint=50"});
  const std::string pty = sim.Pty();
  ASSERT_FALSE(pty.empty());
  TermiosClient c(pty);
  ASSERT_TRUE(c.Ok());
  Bytes a = c.Exchange(Kormast({CMD_IDENT, 0, 0, 0, 0, 0, 0, 5}), 10);
  ASSERT_TRUE(KormastValid(a));
  EXPECT_EQ(a[2] << 8 | a[3], 4660);
  a = c.Exchange(Kormast({CMD_MEASURE, 0, 0, 0, 0, 0, 0, 5}), 10);
  ASSERT_TRUE(KormastValid(a));
  EXPECT_EQ(a[4] << 8 | a[5], 5000);
  // Another address: nothing comes back.
  EXPECT_TRUE(c.Exchange(Kormast({CMD_IDENT, 0, 0, 0, 0, 0, 0, 6}), 10, 300).empty());
}

TEST(RegsimPty, DemoLineAtWireSpeedAnswersTheAddressQueryOnceADevice) {
  RegsimProcess sim({"--quiet", "--wire", "--baud", "9600", "--net", KVL_DEMO_NET});
  TermiosClient c(sim.Pty());
  ASSERT_TRUE(c.Ok());
  const Bytes a = c.Exchange(Kormast({CMD_GETNET, 0, 0, 0, 0, 0, 0, 0}), 30, 3000);
  ASSERT_EQ(a.size(), 30u);
  for (int i = 0; i < 3; ++i) {
    const Bytes one(a.begin() + 10 * i, a.begin() + 10 * i + 10);
    EXPECT_TRUE(KormastValid(one));
    EXPECT_EQ(one[7], i + 1);
  }
  EXPECT_EQ(a[1], 7);  // formats of the demo line: 7, 6, 5
  EXPECT_EQ(a[11], 6);
  EXPECT_EQ(a[21], 5);
  EXPECT_EQ(sim.Command("list"), "OK 1 2 3");
}

TEST(RegsimPty, ControlChangesWhatTheDeviceAnswers) {
  RegsimProcess sim({"--quiet", "--dev", "addr=3"});
  TermiosClient c(sim.Pty());
  ASSERT_TRUE(c.Ok());
  EXPECT_EQ(sim.Command("set 3 silent=1"), "OK");
  EXPECT_TRUE(c.Exchange(Kormast({CMD_IDENT, 0, 0, 0, 0, 0, 0, 3}), 10, 300).empty());
  EXPECT_EQ(sim.Command("set 3 silent=0,serial=999"), "OK");
  const Bytes a = c.Exchange(Kormast({CMD_IDENT, 0, 0, 0, 0, 0, 0, 3}), 10);
  ASSERT_TRUE(KormastValid(a));
  EXPECT_EQ(a[2] << 8 | a[3], 999);
  EXPECT_EQ(sim.Command("add addr=4,kind=pressure"), "OK");
  EXPECT_TRUE(KormastValid(c.Exchange(Kormast({CMD_IDENT, 0, 0, 0, 0, 0, 0, 4}), 10)));
  EXPECT_EQ(sim.Command("set 9 silent=1"), "ERR no device at address 9");
  EXPECT_EQ(sim.Command("quit"), "OK");
  EXPECT_EQ(sim.Wait(5000), 0);
}

TEST(RegsimPty, AnswerInChunksArrivesInPieces) {
  RegsimProcess sim({"--quiet", "--dev", "addr=2,chunks=3+3+4,chunk-delay-ms=500"});
  TermiosClient c(sim.Pty());
  ASSERT_TRUE(c.Ok());
  std::vector<size_t> reads;
  const Bytes a = c.Exchange(Kormast({CMD_IDENT, 0, 0, 0, 0, 0, 0, 2}), 10, 5000, &reads);
  EXPECT_TRUE(KormastValid(a));
  ASSERT_GE(reads.size(), 2u);
  EXPECT_LT(reads[0], 10u);
}

TEST(RegsimPty, TraceRecordsFramesAndEvents) {
  TempDir dir;
  const std::string trace = dir.File("regsim_trace");
  {
    RegsimProcess sim({"--quiet", "--trace", trace, "--dev", "addr=7"});
    TermiosClient c(sim.Pty());
    ASSERT_TRUE(c.Ok());
    ASSERT_TRUE(KormastValid(c.Exchange(Kormast({CMD_SPEED, 0, 1, 0, 0, 0, 0, 7}), 10)));
    c.Exchange(Kormast({1, 8, 0, 0, 0, 0, 0, 7}), 10, 300);  // closing frame
    EXPECT_EQ(sim.Command("list"), "OK 7");                  // the trace is written by now
    const std::string t = ReadText(trace);
    EXPECT_NE(t.find(" RX K 16 00 01 00 00 00 00 07 00 1E\n"), std::string::npos) << t;
    EXPECT_NE(t.find(" TX K 16 00 01 00 00 00 00 07 00 1E\n"), std::string::npos) << t;
    EXPECT_NE(t.find(" NOTE line speed switched to 38400\n"), std::string::npos) << t;
    EXPECT_NE(t.find(" NOTE closing frame for address 7\n"), std::string::npos) << t;
  }
}

TEST(RegsimPty, StrictSpeedNeedsBothSidesToAgree) {
  TempDir dir;
  const std::string trace = dir.File("regsim_speed");
  {
    RegsimProcess sim({"--quiet", "--strict-speed", "--trace", trace, "--dev", "addr=2"});
    TermiosClient c(sim.Pty());
    ASSERT_TRUE(c.Ok());
    const Bytes ident = Kormast({CMD_IDENT, 0, 0, 0, 0, 0, 0, 2});
    ASSERT_TRUE(KormastValid(c.Exchange(Kormast({CMD_SPEED, 0, 1, 0, 0, 0, 0, 2}), 10)));
    // The program forgot to switch its port: the device hears noise.
    EXPECT_TRUE(c.Exchange(ident, 10, 300).empty());
    c.SetBaud(B38400);
    EXPECT_TRUE(KormastValid(c.Exchange(ident, 10)));
    EXPECT_EQ(sim.Command("list"), "OK 2");
    EXPECT_NE(ReadText(trace).find("NOTE bytes sent at 19200 baud while the line runs at 38400"),
              std::string::npos);
  }
}

TEST(RegsimPty, EndOfStdinDoesNotStopItAndSigtermRemovesTheLink) {
  TempDir dir;
  const std::string link = dir.File("regsim_link");
  RegsimProcess sim({"--quiet", "--link", link, "--dev", "addr=1"});
  const std::string pty = sim.Pty();
  ASSERT_FALSE(pty.empty());
  char target[256] = {};
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target), pty);
  sim.CloseStdin();
  {
    TermiosClient c(link);  // through the link, as Wine's port mapping would
    ASSERT_TRUE(c.Ok());
    EXPECT_TRUE(KormastValid(c.Exchange(Kormast({CMD_IDENT, 0, 0, 0, 0, 0, 0, 1}), 10)));
  }
  // A client that closed and comes back finds the line still there.
  {
    TermiosClient c(pty);
    EXPECT_TRUE(KormastValid(c.Exchange(Kormast({CMD_IDENT, 0, 0, 0, 0, 0, 0, 1}), 10)));
  }
  EXPECT_EQ(sim.Wait(200), -1);  // still running
  sim.Signal(SIGTERM);
  EXPECT_EQ(sim.Wait(5000), 0);
  struct stat st;
  EXPECT_NE(lstat(link.c_str(), &st), 0);
}

TEST(RegsimPty, CommandLineErrorsAndHelp) {
  {
    RegsimProcess sim({"--baud", "1234"});
    EXPECT_EQ(sim.Wait(5000), 2);
    EXPECT_NE(sim.ReadErrLine().find("9600, 19200 or 38400"), std::string::npos);
  }
  {
    RegsimProcess sim({"--dev", "kind=flow"});
    EXPECT_EQ(sim.Wait(5000), 2);
    EXPECT_NE(sim.ReadErrLine().find("addr=N is required"), std::string::npos);
  }
  {
    RegsimProcess sim({"--help"});
    EXPECT_EQ(sim.Wait(5000), 0);
    EXPECT_NE(sim.ReadLine().find("regsim"), std::string::npos);
  }
}

// --device on a serial line: here the slave of a pty the test owns, whose speed
// the test can read back after the device switched it.
TEST(RegsimDevice, ServesADeviceAndSwitchesItsSpeedAfterTheAnswer) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string slave = ptsname(master);
  const int keep = open(slave.c_str(), O_RDWR | O_NOCTTY);  // the line never hangs up
  ASSERT_GE(keep, 0);
  termios t{};
  tcgetattr(master, &t);
  cfmakeraw(&t);
  tcsetattr(master, TCSANOW, &t);
  {
    RegsimProcess sim({"--quiet", "--device", slave, "--baud", "9600", "--dev", "addr=4"});
    EXPECT_EQ(sim.Command("list"), "OK 4");  // up and serving
    termios s{};
    ASSERT_EQ(tcgetattr(keep, &s), 0);
    EXPECT_EQ(cfgetospeed(&s), static_cast<speed_t>(B9600));
    const Bytes req = Kormast({CMD_SPEED, 0, 1, 0, 0, 0, 0, 4});
    ASSERT_EQ(write(master, req.data(), req.size()), 10);
    Bytes a;
    for (int i = 0; i < 200 && a.size() < 10; ++i) {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, 20) > 0) {
        uint8_t b[64];
        const ssize_t n = read(master, b, sizeof b);
        if (n > 0) a.insert(a.end(), b, b + n);
      }
    }
    ASSERT_TRUE(KormastValid(a));
    EXPECT_EQ(a[2], 1);
    EXPECT_EQ(sim.Command("get 4").find(" speed=38400 ") != std::string::npos, true);
    ASSERT_EQ(tcgetattr(keep, &s), 0);
    EXPECT_EQ(cfgetospeed(&s), static_cast<speed_t>(B38400));
  }
  close(keep);
  close(master);
}

// The adapter pulled: the line's reads end or fail. regsim must say so and end,
// not spin on a descriptor that reports the same at once, forever.
TEST(RegsimDevice, EndsWithAMessageWhenTheLineGoesAway) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  fcntl(master, F_SETFD, FD_CLOEXEC);  // regsim must not hold it too
  const std::string slave = ptsname(master);
  RegsimProcess sim({"--quiet", "--device", slave, "--dev", "addr=4"});
  EXPECT_EQ(sim.Command("list"), "OK 4");  // up and serving
  close(master);                           // the other end hangs up
  EXPECT_EQ(sim.Wait(5000), 1);
  // A hang-up reads as the end of file; a pulled adapter's reads fail (EIO).
  EXPECT_EQ(sim.ReadErrLine().rfind("regsim: the line " + slave + " has gone away (", 0), 0u);
}

// libmodbus as the master: it accepts only well-formed Modbus RTU answers.
class RegsimModbus : public ::testing::Test {
 protected:
  void SetUp() override {
    pty_ = sim_.Pty();
    ASSERT_FALSE(pty_.empty());
    ctx_ = modbus_new_rtu(pty_.c_str(), 19200, 'N', 8, 1);
    ASSERT_NE(ctx_, nullptr);
    modbus_set_response_timeout(ctx_, 2, 0);
    ASSERT_EQ(modbus_set_slave(ctx_, 5), 0);
    ASSERT_EQ(modbus_connect(ctx_), 0) << modbus_strerror(errno);
  }
  void TearDown() override {
    if (ctx_) {
      modbus_close(ctx_);
      modbus_free(ctx_);
    }
  }
  RegsimProcess sim_{
      {"--quiet", "--dev", "addr=5,serial=4660,format=7,setpoint=25,regulate=1,digital=1"}};
  std::string pty_;
  modbus_t* ctx_ = nullptr;
};

TEST_F(RegsimModbus, ReadsTheRegisterMap) {
  uint16_t r[7] = {};
  ASSERT_EQ(modbus_read_registers(ctx_, 0, 7, r), 7) << modbus_strerror(errno);
  EXPECT_EQ(r[0], 5);
  EXPECT_EQ(r[1], 4660);
  EXPECT_EQ(r[2] & 0x03, 0x03);  // regulating, digital input
  EXPECT_EQ(r[4], 2500);
  EXPECT_NEAR(r[5] & 0x7FFF, 2500, 30);
  EXPECT_EQ(r[6], 0x0F);  // 19200
}

TEST_F(RegsimModbus, WritesRegistersAndCoils) {
  ASSERT_EQ(modbus_write_register(ctx_, 4, 7500), 1) << modbus_strerror(errno);
  EXPECT_NE(sim_.Command("get 5").find(" setpoint=75.00 "), std::string::npos);
  const uint8_t closeValve[2] = {0, 1};
  ASSERT_EQ(modbus_write_bits(ctx_, 2, 2, closeValve), 2) << modbus_strerror(errno);
  EXPECT_NE(sim_.Command("get 5").find(" valve=closed "), std::string::npos);
  const uint8_t pressure = 1;
  ASSERT_EQ(modbus_write_bits(ctx_, 5, 1, &pressure), 1) << modbus_strerror(errno);
  EXPECT_NE(sim_.Command("get 5").find(" kind=pressure "), std::string::npos);
  const uint8_t zero = 1;
  ASSERT_EQ(modbus_write_bits(ctx_, 6, 1, &zero), 1) << modbus_strerror(errno);
  EXPECT_NE(sim_.Command("get 5").find(" zero_count=1"), std::string::npos);
}

TEST_F(RegsimModbus, ExceptionsReachTheMasterAsTheirErrors) {
  uint8_t bits[8];
  EXPECT_EQ(modbus_read_bits(ctx_, 0, 1, bits), -1);
  EXPECT_EQ(errno, EMBXILFUN);
  uint16_t r[4];
  EXPECT_EQ(modbus_read_registers(ctx_, 5, 4, r), -1);
  EXPECT_EQ(errno, EMBXILADD);
  EXPECT_EQ(modbus_write_register(ctx_, 2, 1), -1);
  EXPECT_EQ(errno, EMBXILADD);
  EXPECT_EQ(modbus_write_register(ctx_, 4, 10001), -1);
  EXPECT_EQ(errno, EMBXILVAL);
  // The device is still there afterwards.
  EXPECT_EQ(modbus_read_registers(ctx_, 0, 1, r), 1);
}

TEST_F(RegsimModbus, AddressChangeAnswersThenMoves) {
  ASSERT_EQ(modbus_write_register(ctx_, 0, 9), 1) << modbus_strerror(errno);
  uint16_t r[1];
  modbus_set_response_timeout(ctx_, 0, 300000);
  EXPECT_EQ(modbus_read_registers(ctx_, 0, 1, r), -1);  // nobody at 5 any more
  modbus_set_slave(ctx_, 9);
  modbus_set_response_timeout(ctx_, 2, 0);
  modbus_flush(ctx_);
  ASSERT_EQ(modbus_read_registers(ctx_, 0, 1, r), 1) << modbus_strerror(errno);
  EXPECT_EQ(r[0], 9);
}

}  // namespace
}  // namespace kvl::sim::test
