// Modbus translation: every request PrebrasTuda builds must be byte for byte the
// request libmodbus itself sends for the same operation, and answers must come
// back into the internal layout.
#include "protocol/modbus.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <modbus.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <functional>
#include <vector>

#include "protocol/commands.h"

namespace kvl {
namespace {

using Bytes = std::vector<uint8_t>;

// Runs op on a libmodbus RTU client whose line is a pty, and returns the bytes
// the client wrote.
Bytes LibmodbusRequest(int slave, const std::function<void(modbus_t*)>& op) {
  int master = -1, sl = -1;
  char name[128];
  if (openpty(&master, &sl, name, nullptr, nullptr) != 0) return {};
  termios t;
  tcgetattr(master, &t);
  cfmakeraw(&t);
  tcsetattr(master, TCSANOW, &t);
  modbus_t* ctx = modbus_new_rtu(name, 19200, 'N', 8, 1);
  Bytes out;
  if (ctx && modbus_connect(ctx) == 0) {
    modbus_set_slave(ctx, slave);
    modbus_set_response_timeout(ctx, 0, 20000);
    op(ctx);
    pollfd p{master, POLLIN, 0};
    uint8_t buf[64];
    while (poll(&p, 1, 50) > 0) {
      ssize_t n = read(master, buf, sizeof buf);
      if (n <= 0) break;
      out.insert(out.end(), buf, buf + n);
    }
    modbus_close(ctx);
  }
  if (ctx) modbus_free(ctx);
  close(sl);
  close(master);
  return out;
}

Bytes Translated(const std::function<void(Request&)>& build) {
  Request rq;
  rq.com.fill(0x5A);  // left-over bytes of an earlier request
  SelectModbus(rq);
  build(rq);
  EXPECT_EQ(PrebrasTuda(rq), 1);
  ContrSum(rq);
  return Bytes(rq.com.begin(), rq.com.begin() + rq.wlength);
}

TEST(ModbusRequests, EqualLibmodbusFrames) {
  uint16_t regs[8];
  struct Case {
    const char* name;
    std::function<void(Request&)> build;
    int slave;
    std::function<void(modbus_t*)> op;
    uint32_t rlength;
  };
  const std::vector<Case> cases = {
      {"ident", [](Request& r) { cmd::Ident(r, 5); }, 5,
       [&](modbus_t* c) { modbus_read_registers(c, 1, 3, regs); }, 11},
      {"measure", [](Request& r) { cmd::Measure(r, 5); }, 5,
       [&](modbus_t* c) { modbus_read_registers(c, 4, 2, regs); }, 9},
      {"speed 38400", [](Request& r) { cmd::Speed(r, 7, 2); }, 7,
       [](modbus_t* c) { modbus_write_register(c, 6, 1); }, 8},
      {"setnet", [](Request& r) { cmd::SetNet(r, 7, 33); }, 7,
       [](modbus_t* c) { modbus_write_register(c, 0, 33); }, 8},
      {"kind ВПЗ", [](Request& r) { cmd::Kind(r, 9, cmd::KindByte(true, true)); }, 9,
       [](modbus_t* c) {
         uint8_t b[1] = {1};
         modbus_write_bits(c, 5, 1, b);
       },
       8},
      {"mode measurement", [](Request& r) { cmd::Mode(r, 9, cmd::KindByte(true, false)); }, 9,
       [](modbus_t* c) {
         uint8_t b[1] = {0};
         modbus_write_bits(c, 0, 1, b);
       },
       8},
      {"rasre on", [](Request& r) { cmd::Rasre(r, 3, 1); }, 3,
       [](modbus_t* c) {
         uint8_t b[1] = {1};
         modbus_write_bits(c, 4, 1, b);
       },
       8},
      {"valve close", [](Request& r) { cmd::Valve(r, 3, 2); }, 3,
       [](modbus_t* c) {
         uint8_t b[2] = {0, 1};
         modbus_write_bits(c, 2, 2, b);
       },
       8},
      {"valve open", [](Request& r) { cmd::Valve(r, 3, 1); }, 3,
       [](modbus_t* c) {
         uint8_t b[2] = {1, 0};
         modbus_write_bits(c, 2, 2, b);
       },
       8},
      {"zero", [](Request& r) { cmd::Zero(r, 3); }, 3,
       [](modbus_t* c) {
         uint8_t b[1] = {1};
         modbus_write_bits(c, 6, 1, b);
       },
       8},
      {"digital input", [](Request& r) { cmd::InputSelect(r, 4, 0); }, 4,
       [](modbus_t* c) {
         uint8_t b[1] = {1};
         modbus_write_bits(c, 1, 1, b);
       },
       8},
      {"analogue input", [](Request& r) { cmd::InputSelect(r, 4, 1); }, 4,
       [](modbus_t* c) {
         uint8_t b[1] = {0};
         modbus_write_bits(c, 1, 1, b);
       },
       8},
      {"setpoint 50 %", [](Request& r) { cmd::Setpoint(r, 4, 5000); }, 4,
       [](modbus_t* c) { modbus_write_register(c, 4, 5000); }, 8},
      {"getnet broadcast", [](Request& r) { cmd::GetNet(r); }, 0,
       [&](modbus_t* c) { modbus_read_registers(c, 0, 2, regs); }, 9},
  };
  for (const auto& c : cases) {
    Request probe;
    SelectModbus(probe);
    c.build(probe);
    PrebrasTuda(probe);
    EXPECT_EQ(probe.rlength, c.rlength) << c.name;
    const Bytes ours = Translated(c.build);
    const Bytes theirs = LibmodbusRequest(c.slave, c.op);
    ASSERT_FALSE(theirs.empty()) << c.name;
    EXPECT_EQ(ours, theirs) << c.name;
  }
}

TEST(ModbusRequests, PollOfAddress5) {
  const Bytes f = Translated([](Request& r) { cmd::Measure(r, 5); });
  ASSERT_EQ(f.size(), 8u);
  EXPECT_EQ(Bytes(f.begin(), f.begin() + 6), (Bytes{5, 3, 0, 4, 0, 2}));
  const uint16_t c = Crc16(f.data(), 6);
  EXPECT_EQ(f[6], c & 0xFF);
  EXPECT_EQ(f[7], c >> 8);
}

TEST(ModbusRequests, GetNetGoesToAddressZeroWhateverTheChannel) {
  Request rq;
  SelectModbus(rq);
  rq.com[7] = 77;
  cmd::GetNet(rq);
  PrebrasTuda(rq);
  EXPECT_EQ(rq.com[0], 0);
}

TEST(ModbusRequests, FirmwareDateHasNoModbusForm) {
  Request rq;
  SelectModbus(rq);
  rq.wlength = 8;
  rq.rlength = 9;
  cmd::Date(rq, 12);
  EXPECT_EQ(PrebrasTuda(rq), 0);
  EXPECT_EQ(rq.komand, CMD_DATE);
  EXPECT_EQ(rq.com[0], 12);    // address moved out of byte 7
  EXPECT_EQ(rq.com[1], 0x24);  // rest untouched
  EXPECT_EQ(rq.wlength, 8u);
  EXPECT_EQ(rq.rlength, 9u);
}

TEST(ModbusRequests, ByteOneHoldsTheFunctionAfterwards) {
  Request rq;
  SelectModbus(rq);
  cmd::Rasre(rq, 3, 1);
  PrebrasTuda(rq);
  EXPECT_EQ(rq.com[1], 0x0F);
  cmd::Ident(rq, 3);  // sets no data byte: byte 1 stays the function code
  EXPECT_EQ(rq.com[1], 0x0F);
}

// Answers as a device sends them, translated back into the internal layout.
TEST(ModbusAnswers, TranslateBackIntoInternalLayout) {
  Request rq;
  SelectModbus(rq);
  Answer a;
  auto back = [&](uint8_t code, Bytes raw) {
    rq.komand = code;
    a.res.fill(0);
    std::copy(raw.begin(), raw.end(), a.res.begin());
    return PrebrasBack(rq, a);
  };
  // Measure: register 4 = setpoint 0x1388, register 5 = flow 0x8005.
  ASSERT_EQ(back(CMD_MEASURE, {5, 3, 4, 0x13, 0x88, 0x80, 0x05, 0xC1, 0xC2}), 1);
  EXPECT_EQ(a.res[0], CMD_MEASURE);
  EXPECT_EQ(a.res[2], 0x80);
  EXPECT_EQ(a.res[3], 0x05);
  EXPECT_EQ(a.res[4], 0x13);
  EXPECT_EQ(a.res[5], 0x88);
  EXPECT_EQ(a.res[7], 5);
  // Identify: serial 0x3039, status byte 1 in register 2, status byte 2 in register 3.
  ASSERT_EQ(back(CMD_IDENT, {9, 3, 6, 0x30, 0x39, 0x00, 0x17, 0x00, 0x44, 0xC1, 0xC2}), 1);
  EXPECT_EQ(a.res[1], 0x17);
  EXPECT_EQ(a.res[2], 0x30);
  EXPECT_EQ(a.res[3], 0x39);
  EXPECT_EQ(a.res[4], 0x39);
  EXPECT_EQ(a.res[5], 7);
  EXPECT_EQ(a.res[6], 0x44);
  EXPECT_EQ(a.res[7], 9);
  // Address query: register 0 holds the address.
  ASSERT_EQ(back(CMD_GETNET, {0, 3, 4, 0, 42, 0, 1, 0xC1, 0xC2}), 1);
  EXPECT_EQ(a.res[7], 42);
  EXPECT_EQ(a.res[1], 3);
  // Speed echo.
  ASSERT_EQ(back(CMD_SPEED, {9, 6, 0, 6, 0, 1, 0xC1, 0xC2}), 1);
  EXPECT_EQ(a.res[2], 1);
  // Permission echo: byte 1 becomes the answering address.
  ASSERT_EQ(back(CMD_RASRE, {11, 0x0F, 0, 4, 0, 1, 0xC1, 0xC2}), 1);
  EXPECT_EQ(a.res[1], 11);
  EXPECT_EQ(back(CMD_DATE, {11, 3, 0, 0, 0, 0, 0, 0}), 0);
}

TEST(ModbusAnswers, ExceptionAnswerIsRecognised) {
  const uint8_t ex[5] = {5, 0x83, 2, 0, 0};
  const uint8_t ok[5] = {5, 0x03, 2, 0, 0};
  EXPECT_TRUE(IsModbusException(ex, 5));
  EXPECT_FALSE(IsModbusException(ok, 5));
  EXPECT_FALSE(IsModbusException(ex, 9));
}

}  // namespace
}  // namespace kvl
