// The exchange end to end through the POSIX link and a scripted device on a
// pty: real bytes, real threads, real timing.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "exchanger.h"
#include "protocol/commands.h"
#include "protocol/exchange.h"
#include "protocol/exchange_log.h"
#include "protocol/modbus.h"
#include "pty_peer.h"
#include "serial/fake_link.h"
#include "serial/posix_link.h"

namespace kvl {
namespace {

using test::Bytes;
using test::Chunk;
using test::PtyDevice;

const Bytes kPoll = KormastAnswer({17, 5, 0, 100, 19, 136, 0, 3});

Bytes Cut(const Bytes& b, size_t from, size_t to) {
  return Bytes(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(to));
}

std::array<std::string, kPortCount> Paths(const std::string& p) {
  std::array<std::string, kPortCount> a;
  a[0] = p;
  return a;
}

struct Rig : test::Exchanger {
  PtyDevice dev;
  PosixLink link;
  Rig(bool modbus, PtyDevice::Responder r, bool solo = false)
      : dev(modbus, std::move(r)), link(Paths(dev.path())) {
    if (!link.Open(0, true)) throw std::runtime_error("open " + dev.path());
    if (modbus) SelectModbus(rq);
    if (solo) st.framing = Framing::kSolo;
    // Attempts that must succeed get time to spare on a busy machine; tests of
    // failing attempts shorten it.
    st.attemptMs = 1000;
  }
  int Run() { return Exchanger::Run(link); }
};

TEST(PtyExchange, AnswerInChunksOfThreeThreeAndFour) {
  Rig r(false, [](const Bytes&, int) {
    return std::vector<Chunk>{
        {0, Cut(kPoll, 0, 3)}, {15, Cut(kPoll, 3, 6)}, {15, Cut(kPoll, 6, 10)}};
  });
  cmd::Measure(r.rq, 3);
  ASSERT_EQ(r.Run(), 1);
  EXPECT_TRUE(r.log.Lines().empty());
  EXPECT_EQ(KormastLine(r.ans.res.data(), r.ans.mprob, 2), "17;5;0-100;19-136;0-3;1-24;10;2");
  const auto reqs = r.dev.Requests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0], KormastAnswer({17, 0, 0, 0, 0, 0, 0, 3})) << "request with its sum";
}

TEST(PtyExchange, DeviceAnsweringOnTheThirdAttempt) {
  Rig r(false, [](const Bytes&, int i) {
    return i < 2 ? std::vector<Chunk>{} : std::vector<Chunk>{{0, kPoll}};
  });
  cmd::Measure(r.rq, 3);
  ASSERT_EQ(r.Run(), 1);
  EXPECT_EQ(r.log.Lines(), (std::deque<std::string>{"TimeOut0", "TimeOut1"}));
  EXPECT_EQ(r.dev.Requests().size(), 3u);
  EXPECT_EQ(r.ans.mprob, 10);
}

TEST(PtyExchange, WrongChecksumGivesFiveTimeOutsAndFailure) {
  Bytes bad = kPoll;
  bad[9] ^= 0x40;
  Rig r(false, [&](const Bytes&, int) { return std::vector<Chunk>{{0, bad}}; });
  r.st.attemptMs = 200;
  cmd::Measure(r.rq, 3);
  EXPECT_EQ(r.Run(), 0);
  EXPECT_EQ(r.log.Lines(),
            (std::deque<std::string>{"TimeOut0", "TimeOut1", "TimeOut2", "TimeOut3", "TimeOut4"}));
  EXPECT_EQ(r.dev.Requests().size(), 5u);
  EXPECT_EQ(r.last.outcome, Outcome::kSilent);
  EXPECT_EQ(r.ans.mprob, 0) << "no answer is claimed after a failed exchange";
  EXPECT_TRUE(std::equal(bad.begin(), bad.end(), r.ans.res.begin()))
      << "what was gathered stays for the log";
}

TEST(PtyExchange, MoreThanRlengthResetsTheGatheringAndTheNextAttemptWins) {
  // First attempt: six stray bytes, then the answer: 16 bytes pile up and are dropped.
  Rig r(false, [](const Bytes&, int i) {
    if (i == 0) return std::vector<Chunk>{{0, Bytes(6, 0xAA)}, {20, kPoll}};
    return std::vector<Chunk>{{0, kPoll}};
  });
  cmd::Measure(r.rq, 3);
  ASSERT_EQ(r.Run(), 1);
  EXPECT_EQ(r.log.Lines(), (std::deque<std::string>{"TimeOut0"}));
  EXPECT_EQ(r.ans.res[0], 17);
}

TEST(PtyExchange, GarbageBeforeTheAnswerCostsOneAttempt) {
  Rig r(false, [](const Bytes&, int i) {
    Bytes b = i == 0 ? Bytes{0xFF, 0x00} : Bytes{};
    b.insert(b.end(), kPoll.begin(), kPoll.end());
    return std::vector<Chunk>{{0, b}};
  });
  cmd::Measure(r.rq, 3);
  ASSERT_EQ(r.Run(), 1);
  EXPECT_EQ(r.log.Lines(), (std::deque<std::string>{"TimeOut0"}));
  EXPECT_EQ(r.ans.mprob, 10);
}

// Modbus: our translated requests go out as Modbus frames, the device's Modbus
// answers come back translated into the internal layout.
TEST(PtyExchange, ModbusIdentifyBothWays) {
  // Registers 1..3: status 1 and serial high/low, serial low and format, status.
  const Bytes answer = ModbusAnswer({7, 3, 6, 0x12, 0x34, 0x56, 0x06, 0x78, 0x9A});
  Rig r(true, [&](const Bytes&, int) { return std::vector<Chunk>{{0, answer}}; });
  cmd::Ident(r.rq, 7);
  ASSERT_EQ(r.Run(), 1);
  const auto reqs = r.dev.Requests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0], ModbusAnswer({7, 3, 0, 1, 0, 3})) << "read 3 holding registers from 1";
  EXPECT_EQ(r.ans.mprob, 11);
  EXPECT_EQ(r.last.raw, answer) << "the answer as it came, for the log";
  EXPECT_EQ(r.ans.res[0], CMD_IDENT) << "translated back";
  EXPECT_EQ(r.ans.res[7], 7);  // the answering address
  EXPECT_EQ(r.ans.res[2], 0x12);
  EXPECT_EQ(r.ans.res[3], 0x34);
}

TEST(PtyExchange, ModbusWriteCoilAnswerAndBadCrcDiagnostic) {
  int n = 0;
  Rig r(true, [&](const Bytes& req, int) {
    Bytes echo = ModbusAnswer(Bytes(req.begin(), req.begin() + 6));  // 0F echo: 6 bytes + CRC
    if (n++ == 0) echo[7] ^= 1;
    return std::vector<Chunk>{{0, echo}};
  });
  cmd::Valve(r.rq, 12, 1);
  ASSERT_EQ(r.Run(), 1);
  EXPECT_EQ(r.rq.wlength, 10u);
  EXPECT_EQ(r.log.Lines(), (std::deque<std::string>{"TimeOut0"}));
  EXPECT_EQ(r.dev.Requests().at(0), ModbusAnswer({12, 0x0F, 0, 2, 0, 2, 1, 1}));
  EXPECT_EQ(r.last.diagnostic.rfind("response", 0), 0u) << "the bad CRC is described";
  EXPECT_EQ(r.ans.res[0], CMD_VALVE);
  EXPECT_EQ(r.ans.res[7], 12);
}

TEST(PtyExchange, ModbusExceptionIsARefusal) {
  Rig r(true, [](const Bytes&, int) {
    return std::vector<Chunk>{{0, ModbusAnswer({4, 0x83, 2})}};
  });
  cmd::Measure(r.rq, 4);
  EXPECT_EQ(r.Run(), 0);
  EXPECT_EQ(r.last.outcome, Outcome::kRefused);
  EXPECT_EQ(r.dev.Requests().size(), 1u) << "a refusal is not retried";
  ASSERT_EQ(r.log.Lines().size(), 1u);
  EXPECT_EQ(r.log.Lines()[0].rfind("L=:5Modbus", 0), 0u);
}

// Single-regulator framing: 10-byte answers only.
TEST(PtySoloExchange, ChunksAndTwelveByteBurst) {
  Rig r(
      false,
      [](const Bytes&, int i) {
        if (i == 0)
          return std::vector<Chunk>{
              {0, Cut(kPoll, 0, 3)}, {15, Cut(kPoll, 3, 6)}, {15, Cut(kPoll, 6, 10)}};
        Bytes burst = kPoll;
        burst.push_back(0x55);
        burst.push_back(0x66);
        return std::vector<Chunk>{{0, burst}};
      },
      true);
  cmd::Measure(r.rq, 3);
  ASSERT_EQ(r.Run(), 1);
  EXPECT_EQ(r.ans.mprob, 10);
  ASSERT_EQ(r.Run(), 1);
  EXPECT_TRUE(r.log.Lines().empty());
  EXPECT_EQ(SoloAnswerLine(r.ans.res.data(), 0), "17;5;0-100;19-136;0-3;1-24;0");
}

TEST(PtySoloExchange, ShortAnswerIsNeverAccepted) {
  Rig r(
      false,
      [](const Bytes&, int) {
        return std::vector<Chunk>{{0, {5, 0, 5}}};  // passes the sum, but is not 10 bytes
      },
      true);
  r.st.attemptMs = 50;
  cmd::Measure(r.rq, 3);
  EXPECT_EQ(r.Run(), 0);
  EXPECT_EQ(r.log.Lines().size(), 5u);
  EXPECT_EQ(r.dev.Requests().size(), 5u);
}

TEST(PtyExchange, LineThatTakesNoBytesCostsFiveRefusedWrites) {
  test::PtyPair pty;  // nobody reads it
  PosixLink link(Paths(pty.path()));
  link.writeTimeoutMs = 20;
  ASSERT_TRUE(link.Open(0, true));
  const Bytes big(1 << 20, 0);
  link.Write(0, big.data(), big.size());  // fills the driver's queue
  Request rq;
  Answer ans;
  cmd::Measure(rq, 1);
  const ExchangeResult r = Exchange(link, 0, rq, ans);
  EXPECT_EQ(r.outcome, Outcome::kWriteFailed);
  EXPECT_EQ(r.attempts, 5);
  EXPECT_TRUE(r.log.empty()) << "refused writes wait for no answer";
}

TEST(PtyExchange, DeviceGoneIsAPortLost) {
  auto dev =
      std::make_unique<PtyDevice>(false, [](const Bytes&, int) { return std::vector<Chunk>{}; });
  PosixLink link(Paths(dev->path()));
  ASSERT_TRUE(link.Open(0, true));
  dev.reset();  // the other end closes: the watcher sees the hang-up
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!link.Lost(0) && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ASSERT_TRUE(link.Lost(0));
  Request rq;
  Answer ans;
  cmd::Measure(rq, 1);
  const ExchangeResult r = Exchange(link, 0, rq, ans);
  EXPECT_EQ(r.outcome, Outcome::kPortLost);
  EXPECT_EQ(r.attempts, 0) << "nothing is written to a port that is gone";
  EXPECT_EQ(link.Write(0, rq.com.data(), 10).status, WriteStatus::kPortLost);
  link.Close(0);
  EXPECT_FALSE(link.Lost(0)) << "a closed port is never lost";
}

}  // namespace
}  // namespace kvl
