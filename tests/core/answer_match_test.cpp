// Which answer belongs to which request: every rule once, in both protocols,
// with the answers the devices really give (the simulator models them).
#include "protocol/answer_match.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "protocol/commands.h"
#include "protocol/modbus.h"

namespace kvl {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Sum(Bytes b) {  // maker's frame: 8 bytes and their sum
  b.resize(10);
  ContrSum(b.data(), 10, 0);
  return b;
}

Bytes Crc(Bytes b) {
  b.resize(b.size() + 2);
  const uint16_t c = Crc16(b.data(), b.size() - 2);
  b[b.size() - 2] = static_cast<uint8_t>(c & 0xFF);
  b[b.size() - 1] = static_cast<uint8_t>(c >> 8);
  return b;
}

struct Case {
  const char* what;
  std::function<void(Request&)> request;  // built in the internal frame
  bool modbus;
  Bytes answer;
  size_t len;  // bytes judged (0: the whole answer)
  Belongs expected;
};

Belongs Judge(const Case& c) {
  Request rq;
  if (c.modbus) SelectModbus(rq);
  c.request(rq);
  if (c.modbus) PrebrasTuda(rq);
  return AnswerBelongs(AnswerRule::Of(rq), c.answer.data(), c.len ? c.len : c.answer.size());
}

const Case kCases[] = {
    // "Кормаст-10м".
    {"poll answered by its device", [](Request& r) { cmd::Measure(r, 5); }, false,
     Sum({17, 0, 0, 50, 19, 136, 0, 5}), 0, Belongs::kYes},
    {"poll answered by another device", [](Request& r) { cmd::Measure(r, 5); }, false,
     Sum({17, 0, 0, 50, 19, 136, 0, 6}), 0, Belongs::kNo},
    {"poll answered with another code", [](Request& r) { cmd::Measure(r, 5); }, false,
     Sum({1, 0, 0, 50, 19, 136, 0, 5}), 0, Belongs::kNo},
    {"address query: any device at its own address", [](Request& r) { cmd::GetNet(r); }, false,
     Sum({2, 7, 0, 0, 0, 0x10, 0x92, 42}), 0, Belongs::kYes},
    {"identify at address 0: whoever answers", [](Request& r) { cmd::Ident(r, 0); }, false,
     Sum({1, 1, 0x30, 0x39, 0, 7, 0x42, 9}), 0, Belongs::kYes},
    {"valve refused: code 0", [](Request& r) { cmd::Valve(r, 5, 1); }, false,
     Sum({0, 0, 1, 0x10, 0, 0, 0, 5}), 0, Belongs::kYes},
    {"code 0 is no answer to anything else", [](Request& r) { cmd::Measure(r, 5); }, false,
     Sum({0, 0, 1, 0x10, 0, 0, 0, 5}), 0, Belongs::kNo},
    {"zero offset of format 6: code 45", [](Request& r) { cmd::ZeroOffsetRead(r, 5, 6, false); },
     false, Sum({45, 0xFF, 0, 0, 2, 0xBC, 0, 5}), 0, Belongs::kYes},
    {"address change answered from the old address", [](Request& r) { cmd::SetNet(r, 5, 9); },
     false, Sum({27, 0, 9, 0, 0, 0, 0, 5}), 0, Belongs::kYes},
    {"a valid-looking start keeps gathering", [](Request& r) { cmd::Measure(r, 5); }, false,
     Sum({17, 0, 17, 5, 0, 0, 0, 5}), 3, Belongs::kNotYet},
    {"a start with another code is dropped",
     [](Request& r) { cmd::Measure(r, 5); },
     false,
     {5, 0, 5},
     0,
     Belongs::kNo},
    // Modbus RTU.
    {"Modbus poll", [](Request& r) { cmd::Measure(r, 5); }, true, Crc({5, 3, 4, 0, 1, 0, 2}), 0,
     Belongs::kYes},
    {"Modbus poll from another address", [](Request& r) { cmd::Measure(r, 5); }, true,
     Crc({6, 3, 4, 0, 1, 0, 2}), 0, Belongs::kNo},
    {"Modbus identify with the byte count of a poll", [](Request& r) { cmd::Ident(r, 5); }, true,
     Crc({5, 3, 4, 0, 1, 0, 2}), 0, Belongs::kNo},
    {"Modbus answer of another function", [](Request& r) { cmd::Measure(r, 5); }, true,
     Crc({5, 6, 0, 4, 0, 1}), 0, Belongs::kNo},
    {"Modbus address query: the device's own address", [](Request& r) { cmd::GetNet(r); }, true,
     Crc({42, 3, 4, 0, 42, 0, 0}), 0, Belongs::kYes},
    {"Modbus register write echo with the value in force", [](Request& r) { cmd::Speed(r, 5, 2); },
     true, Crc({5, 6, 0, 6, 0, 0}), 0, Belongs::kYes},
    {"Modbus echo of another register", [](Request& r) { cmd::Speed(r, 5, 2); }, true,
     Crc({5, 6, 0, 4, 0, 1}), 0, Belongs::kNo},
    {"Modbus coil write echo", [](Request& r) { cmd::Valve(r, 5, 1); }, true,
     Crc({5, 0x0F, 0, 2, 0, 2}), 0, Belongs::kYes},
    {"Modbus echo of another coil", [](Request& r) { cmd::Valve(r, 5, 1); }, true,
     Crc({5, 0x0F, 0, 6, 0, 1}), 0, Belongs::kNo},
    {"Modbus exception: the device refused", [](Request& r) { cmd::Valve(r, 5, 1); }, true,
     Crc({5, 0x8F, 4}), 0, Belongs::kYes},
    {"Modbus exception of another function", [](Request& r) { cmd::Valve(r, 5, 1); }, true,
     Crc({5, 0x83, 2}), 0, Belongs::kNo},
    {"Modbus answer too long", [](Request& r) { cmd::Measure(r, 5); }, true,
     Crc({5, 3, 4, 0, 1, 0, 2, 0}), 0, Belongs::kNo},
    {"Modbus start of the answer", [](Request& r) { cmd::Measure(r, 5); }, true,
     Crc({5, 3, 4, 0, 1, 0, 2}), 5, Belongs::kNotYet},
};

TEST(AnswerBelongs, EveryRule) {
  for (const Case& c : kCases) EXPECT_EQ(Judge(c), c.expected) << c.what;
}

}  // namespace
}  // namespace kvl
