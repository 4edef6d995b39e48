// The exchange through the in-memory link with injected faults: exact outcomes,
// attempts, log lines and reports for every way an exchange can end.
#include "protocol/exchange.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>

#include "protocol/commands.h"
#include "serial/fake_link.h"

namespace kvl {
namespace {

using Bytes = FakeLink::Bytes;

const Bytes kPoll = KormastAnswer({17, 5, 0, 100, 19, 136, 0, 3});
const Bytes kModbusPoll = ModbusAnswer({3, 3, 4, 0x13, 0x88, 0, 100});

// Device 3 answers every poll, in the protocol it was asked in.
std::vector<Bytes> Device3(const Bytes& f) {
  if (f.size() == 10 && f[7] == 3) return {kPoll};
  if (f.size() == 8 && f[0] == 3) return {kModbusPoll};
  return {};
}

struct Case {
  const char* name;
  bool modbus;
  // Faults and the device's behaviour; n counts the frames the device heard.
  std::function<void(FakeLink&, int& n)> script;
  Outcome outcome;
  int attempts;
  std::vector<std::string> log;
  size_t writeProblems = 0;
  size_t notices = 0;
  unsigned attemptMs = 20;
};

std::vector<std::string> TimeOuts(int n) {
  std::vector<std::string> v;
  for (int i = 0; i < n; ++i) v.push_back("TimeOut" + std::to_string(i));
  return v;
}

void Answers(FakeLink& l, int& n, std::function<std::vector<Bytes>(const Bytes&, int)> f) {
  l.SetResponder([&n, f](int, const Bytes& frame) { return f(frame, ++n); });
}

const Case kCases[] = {
    {"answered at once",
     false,
     [](FakeLink& l, int& n) { Answers(l, n, [](auto& f, int) { return Device3(f); }); },
     Outcome::kAnswered,
     1,
     {}},
    {"answered on the third attempt", false,
     [](FakeLink& l, int& n) {
       Answers(l, n, [](auto& f, int i) { return i < 3 ? std::vector<Bytes>{} : Device3(f); });
     },
     Outcome::kAnswered, 3, TimeOuts(2)},
    {"refused writes wait for no answer",
     false,
     [](FakeLink& l, int&) {
       l.writeScript.assign(5, {WriteStatus::kRefused, 0});
     },
     Outcome::kWriteFailed,
     5,
     {},
     5},
    {"a completion error counts as sent",
     false,
     [](FakeLink& l, int& n) {
       Answers(l, n, [](auto& f, int) { return Device3(f); });
       l.writeScript = {{WriteStatus::kCompletionError, 4}};
     },
     Outcome::kAnswered,
     1,
     {},
     1},
    {"a stalled write is still answered",
     false,
     [](FakeLink& l, int& n) {
       Answers(l, n, [](auto& f, int) { return Device3(f); });
       l.writeStallMs = 30;
     },
     Outcome::kAnswered,
     1,
     {}},
    {"failed reads are reported", false, [](FakeLink& l, int&) { l.readErrors = 5; },
     Outcome::kSilent, 5, TimeOuts(5), 0, 5},
    {"another device's answer is not taken", false,
     [](FakeLink& l, int&) {
       l.SetResponder([](int, const Bytes&) {
         return std::vector<Bytes>{KormastAnswer({17, 5, 0, 100, 19, 136, 0, 5})};
       });
     },
     Outcome::kSilent, 5, TimeOuts(5)},
    {"another request's answer is not taken", false,
     [](FakeLink& l, int&) {
       l.SetResponder([](int, const Bytes&) {
         return std::vector<Bytes>{KormastAnswer({1, 5, 0, 100, 19, 136, 0, 3})};
       });
     },
     Outcome::kSilent, 5, TimeOuts(5)},
    {"a late answer to an earlier attempt counts", false,
     [](FakeLink& l, int& n) {
       Answers(l, n, [](auto& f, int i) { return i == 1 ? Device3(f) : std::vector<Bytes>{}; });
       l.answerDelay = [](int, const Bytes&) { return 300u; };
     },
     Outcome::kAnswered, 2, TimeOuts(1), 0, 0, 200},
    {"a lost port is not written to",
     false,
     [](FakeLink& l, int&) { l.LosePort(0); },
     Outcome::kPortLost,
     0,
     {},
     0,
     1},
    {"a port lost on a write ends the exchange", false,
     [](FakeLink& l, int&) {
       l.writeScript = {{WriteStatus::kDone, 0}, {WriteStatus::kPortLost, 5}};
     },
     Outcome::kPortLost, 2, TimeOuts(1), 1, 1},
    {"Modbus answer",
     true,
     [](FakeLink& l, int& n) { Answers(l, n, [](auto& f, int) { return Device3(f); }); },
     Outcome::kAnswered,
     1,
     {}},
    {"Modbus exception is a refusal, logged once",
     true,
     [](FakeLink& l, int&) {
       l.SetResponder([](int, const Bytes&) {
         return std::vector<Bytes>{ModbusAnswer({3, 0x83, 2})};
       });
     },
     Outcome::kRefused,
     1,
     {"L=:5Modbus 3-83- 2-61-31--error"}},
    {"another device's Modbus answer is not taken", true,
     [](FakeLink& l, int&) {
       l.SetResponder([](int, const Bytes&) {
         return std::vector<Bytes>{ModbusAnswer({4, 3, 4, 0x13, 0x88, 0, 100})};
       });
     },
     Outcome::kSilent, 5, TimeOuts(5)},
    {"another device's Modbus exception is not a refusal", true,
     [](FakeLink& l, int&) {
       l.SetResponder([](int, const Bytes&) {
         return std::vector<Bytes>{ModbusAnswer({4, 0x83, 2})};
       });
     },
     Outcome::kSilent, 5, TimeOuts(5)},
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

class ExchangeCase : public testing::TestWithParam<Case> {};

TEST_P(ExchangeCase, EndsAsExpected) {
  const Case& c = GetParam();
  FakeLink link;
  ASSERT_TRUE(link.Open(0, true));
  int heard = 0;
  c.script(link, heard);
  Request rq;
  if (c.modbus) SelectModbus(rq);
  cmd::Measure(rq, 3);
  Answer ans;
  ExchangeSettings st;
  st.attemptMs = c.attemptMs;
  st.refusedPauseMs = 1;
  const ExchangeResult r = Exchange(link, 0, rq, ans, st);
  EXPECT_EQ(r.outcome, c.outcome);
  EXPECT_EQ(r.attempts, c.attempts);
  EXPECT_EQ(r.log, c.log);
  EXPECT_EQ(r.writeProblems.size(), c.writeProblems);
  EXPECT_EQ(r.notices.size(), c.notices);
  if (r.Answered()) {
    // Every decoder sees the internal layout: code, flow, setpoint, address.
    EXPECT_EQ(ans.res[0], CMD_MEASURE);
    EXPECT_EQ((ans.res[2] << 8) | ans.res[3], 100);
    EXPECT_EQ((ans.res[4] << 8) | ans.res[5], 5000);
    EXPECT_EQ(ans.res[7], 3);
    EXPECT_EQ(r.raw, c.modbus ? kModbusPoll : kPoll) << "the answer as it came, for the log";
  } else if (r.outcome == Outcome::kRefused) {
    EXPECT_EQ(ans.mprob, 5) << "the exception answer as it came";
  } else {
    EXPECT_EQ(ans.mprob, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Faults, ExchangeCase, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& i) {
                           std::string n;
                           for (const char* p = i.param.name; *p; ++p)
                             if (std::isalnum(static_cast<unsigned char>(*p))) n += *p;
                           return n;
                         });

TEST(Exchange, RequestWithoutAModbusFormIsNotSent) {
  FakeLink link;
  ASSERT_TRUE(link.Open(0, true));
  Request rq;
  SelectModbus(rq);
  cmd::Date(rq, 3);
  Answer ans;
  EXPECT_EQ(Exchange(link, 0, rq, ans).outcome, Outcome::kWriteFailed);
  EXPECT_TRUE(link.written.empty());
}

TEST(Exchange, SingleRegulatorFramingSendsTheMakersFrameWhateverTheSwitch) {
  FakeLink link;
  ASSERT_TRUE(link.Open(0, true));
  link.SetResponder([](int, const Bytes& f) { return Device3(f); });
  Request rq;
  SelectModbus(rq);
  cmd::Measure(rq, 3);
  Answer ans;
  ExchangeSettings st;
  st.framing = Framing::kSolo;
  EXPECT_TRUE(Exchange(link, 0, rq, ans, st).Answered());
  ASSERT_EQ(link.written.size(), 1u);
  EXPECT_EQ(link.written[0].frame, KormastAnswer({17, 0, 0, 0, 0, 0, 0, 3}));
}

// The frame trace sees every attempt's frame as written, what was dropped, the
// time-outs and the answer as it came off the line (Modbus: untranslated).
TEST(Exchange, TraceSeesEveryFrameAndWhatBecameOfIt) {
  struct Trace : FrameSink {
    std::vector<std::string> lines;
    void Frame(bool sent, int fmodbuson, const uint8_t* p, size_t n) override {
      std::string t = std::string(sent ? "TX " : "RX ") + (fmodbuson ? "M" : "K");
      for (size_t i = 0; i < n; ++i) t += " " + std::to_string(p[i]);
      lines.push_back(t);
    }
    void Note(const std::string& text) override { lines.push_back(text); }
  } trace;
  FakeLink link;
  ASSERT_TRUE(link.Open(0, true));
  int n = 0;
  link.SetResponder([&n](int, const Bytes& f) {
    if (++n == 1) return std::vector<Bytes>{KormastAnswer({17, 5, 0, 100, 19, 136, 0, 4})};
    return Device3(f);
  });
  link.writeScript = {{WriteStatus::kDone, 0}, {WriteStatus::kRefused, 87}};
  ExchangeSettings st;
  st.attemptMs = 20;
  st.refusedPauseMs = 1;
  st.trace = &trace;
  Request rq;
  cmd::Measure(rq, 3);
  Answer ans;
  ASSERT_TRUE(Exchange(link, 0, rq, ans, st).Answered());
  const std::string poll = "TX K 17 0 0 0 0 0 0 3 0 20";
  EXPECT_EQ(trace.lines,
            (std::vector<std::string>{poll, "1 answer(s) of another request dropped", "TimeOut0",
                                      poll, "write refused by the port (code 87)", poll,
                                      "RX K 17 5 0 100 19 136 0 3 1 24"}));

  trace.lines.clear();
  SelectModbus(rq);
  cmd::Measure(rq, 3);
  ASSERT_TRUE(Exchange(link, 0, rq, ans, st).Answered());
  EXPECT_EQ(trace.lines, (std::vector<std::string>{"TX M 3 3 0 4 0 2 132 40",
                                                   "RX M 3 3 4 19 136 0 100 92 182"}));
}

}  // namespace
}  // namespace kvl
