// Framing of received blocks and the hand-over of answers (no threads, no ports).
#include "serial/receiver.h"

#include <gtest/gtest.h>

#include "protocol/exchange_log.h"
#include "protocol/transaction.h"
#include "serial/fake_link.h"
#include "support/fake_view.h"

namespace kvl {
namespace {

using Bytes = std::vector<uint8_t>;

void Feed(Receiver& rx, const Bytes& b) {
  rx.OnBlock(b.data(), b.size());
}

bool Ready(Receiver& rx, Answer& a) {
  return rx.Wait(0, a);
}

const Bytes kPoll = KormastAnswer({17, 5, 0, 100, 19, 136, 0, 3});

TEST(NetworkFraming, AnswerInChunksCompletesOnLastChunk) {
  Receiver rx;
  rx.Arm(10, 0, Framing::kNetwork);
  Answer a;
  Feed(rx, Bytes(kPoll.begin(), kPoll.begin() + 3));
  EXPECT_FALSE(Ready(rx, a));
  Feed(rx, Bytes(kPoll.begin() + 3, kPoll.begin() + 6));
  EXPECT_FALSE(Ready(rx, a));
  EXPECT_EQ(rx.Pending(), 6u);
  Feed(rx, Bytes(kPoll.begin() + 6, kPoll.end()));
  ASSERT_TRUE(Ready(rx, a));
  EXPECT_EQ(a.mprob, 10);
  EXPECT_TRUE(std::equal(kPoll.begin(), kPoll.end(), a.res.begin()));
  EXPECT_EQ(rx.Pending(), 0u);
}

TEST(NetworkFraming, ValidLookingPrefixIsAcceptedEarlyAndTheRestIgnored) {
  Receiver rx;
  rx.Arm(10, 0, Framing::kNetwork);
  Answer a;
  // 5, then the sum 0x0005: a three-byte "answer" that passes the check.
  Feed(rx, {5, 0, 5});
  ASSERT_TRUE(Ready(rx, a));
  EXPECT_EQ(a.mprob, 3);
  // The real answer following it does not replace what was accepted.
  Feed(rx, kPoll);
  ASSERT_TRUE(Ready(rx, a));
  EXPECT_EQ(a.mprob, 3);
  EXPECT_EQ(a.res[0], 5);
  EXPECT_EQ(a.res[3], 0);  // the bytes after the accepted length stay cleared
}

TEST(NetworkFraming, FewerThanThreeBytesNeverPass) {
  Receiver rx;
  rx.Arm(10, 0, Framing::kNetwork);
  Answer a;
  Feed(rx, {0, 0});
  EXPECT_FALSE(Ready(rx, a));
}

TEST(NetworkFraming, MoreThanRlengthDropsTheGathering) {
  Receiver rx;
  rx.Arm(10, 0, Framing::kNetwork);
  Answer a;
  Feed(rx, {1, 2, 3, 4, 9, 9});
  Feed(rx, {7, 7, 7, 7, 7});  // 11 > 10: everything gathered is dropped
  EXPECT_EQ(rx.Pending(), 0u);
  EXPECT_FALSE(Ready(rx, a));
  Feed(rx, kPoll);
  ASSERT_TRUE(Ready(rx, a));
  EXPECT_EQ(a.mprob, 10);
  EXPECT_EQ(a.res[0], 17);
}

TEST(NetworkFraming, GarbageBeforeTheAnswerSpoilsThatAnswer) {
  Receiver rx;
  rx.Arm(10, 0, Framing::kNetwork);
  Answer a;
  Feed(rx, {0xAA, 0x55});
  Feed(rx, kPoll);  // 12 bytes gathered: dropped, no false answer either
  EXPECT_FALSE(Ready(rx, a));
}

TEST(NetworkFraming, ModbusAnswerNeedsItsCrc) {
  Receiver rx;
  rx.Arm(9, 1, Framing::kNetwork);
  Answer a;
  Bytes ok = ModbusAnswer({5, 3, 4, 0, 100, 19, 136});
  Bytes bad = ok;
  bad[8] ^= 1;
  Feed(rx, bad);
  EXPECT_FALSE(Ready(rx, a));
  EXPECT_EQ(rx.Diagnostic().rfind("response", 0), 0u);
  rx.Arm(9, 1, Framing::kNetwork);
  Feed(rx, Bytes(ok.begin(), ok.begin() + 4));
  Feed(rx, Bytes(ok.begin() + 4, ok.end()));
  ASSERT_TRUE(Ready(rx, a));
  EXPECT_EQ(a.mprob, 9);
}

TEST(NetworkFraming, BlockLargerThanTheBufferIsCutNotOverrun) {
  Receiver rx;
  rx.Arm(10, 0, Framing::kNetwork);
  Answer a;
  Feed(rx, Bytes(700, 0x33));
  EXPECT_FALSE(Ready(rx, a));
  EXPECT_EQ(rx.Pending(), 0u);
  Feed(rx, kPoll);
  EXPECT_TRUE(Ready(rx, a));
}

TEST(NetworkFraming, ArmClearsWhatAnEarlierAttemptLeft) {
  Receiver rx;
  rx.Arm(10, 0, Framing::kNetwork);
  Answer a;
  Feed(rx, kPoll);
  ASSERT_TRUE(Ready(rx, a));
  rx.Arm(10, 0, Framing::kNetwork);
  EXPECT_FALSE(Ready(rx, a));
  Feed(rx, Bytes(kPoll.begin(), kPoll.begin() + 5));
  rx.Arm(10, 0, Framing::kNetwork);  // a half answer of the last attempt is forgotten
  Feed(rx, Bytes(kPoll.begin() + 5, kPoll.end()));
  EXPECT_FALSE(Ready(rx, a));
}

TEST(SoloFraming, ChunksOfThreeThreeAndFour) {
  Receiver rx;
  rx.Arm(10, 0, Framing::kSolo, false);
  Answer a;
  Feed(rx, Bytes(kPoll.begin(), kPoll.begin() + 3));
  Feed(rx, Bytes(kPoll.begin() + 3, kPoll.begin() + 6));
  EXPECT_FALSE(Ready(rx, a));
  Feed(rx, Bytes(kPoll.begin() + 6, kPoll.end()));
  ASSERT_TRUE(Ready(rx, a));
  EXPECT_EQ(a.mprob, 10);
}

TEST(SoloFraming, ShortValidPrefixIsNotAnAnswer) {
  Receiver rx;
  rx.Arm(10, 0, Framing::kSolo, false);
  Answer a;
  Feed(rx, {5, 0, 5});
  EXPECT_FALSE(Ready(rx, a));
  EXPECT_EQ(rx.Pending(), 3u);
}

TEST(SoloFraming, TwelveByteBurstWithValidFirstTenIsAccepted) {
  Receiver rx;
  rx.Arm(10, 0, Framing::kSolo, false);
  Answer a;
  Bytes burst = kPoll;
  burst.push_back(0xEE);
  burst.push_back(0xFF);
  Feed(rx, burst);
  ASSERT_TRUE(Ready(rx, a));
  EXPECT_EQ(a.mprob, 10);
  EXPECT_EQ(a.res[9], kPoll[9]);
}

TEST(SoloFraming, TwelveByteBurstWithBadFirstTenRestarts) {
  Receiver rx;
  rx.Arm(10, 0, Framing::kSolo, false);
  Answer a;
  Bytes burst(12, 1);
  Feed(rx, burst);
  EXPECT_FALSE(Ready(rx, a));
  EXPECT_EQ(rx.Pending(), 0u);
  Feed(rx, kPoll);
  EXPECT_TRUE(Ready(rx, a));
}

TEST(HandOver, LateBytesDoNotChangeAPublishedAnswer) {
  Receiver rx;
  rx.Arm(10, 0, Framing::kNetwork);
  Feed(rx, kPoll);
  Answer first;
  ASSERT_TRUE(rx.Wait(0, first));
  // A second, different valid answer and some noise arrive before the reader
  // looks again: the published answer stays the first one.
  Bytes other = KormastAnswer({17, 9, 9, 9, 9, 9, 9, 3});
  Feed(rx, other);
  Feed(rx, {1, 2, 3});
  Answer again;
  ASSERT_TRUE(rx.Wait(0, again));
  EXPECT_EQ(again.res, first.res);
  EXPECT_EQ(again.mprob, 10);
}

// The transaction through the in-memory link: the same framing, exact and fast.
struct FakeRig {
  FakeLink link;
  Request rq;
  Answer ans;
  ExchangeLog log;
  test::FakeServices ui;
  Transaction tr{link, rq, ans, log, ui};
  FakeRig() {
    link.Open(0, true);
    tr.attemptMs = 20;
    tr.refusedPauseMs = 1;
  }
};

TEST(FakeTransaction, ThirdAttemptSucceedsAfterTwoTimeOutLines) {
  FakeRig r;
  int calls = 0;
  r.link.SetResponder([&](int, const Bytes&) -> std::vector<Bytes> {
    return ++calls < 3 ? std::vector<Bytes>{} : std::vector<Bytes>{kPoll};
  });
  r.rq.com = {17, 0, 0, 0, 0, 0, 0, 3};
  EXPECT_EQ(r.tr.ComWrite(0), 1);
  EXPECT_EQ(r.log.Lines(), (std::deque<std::string>{"TimeOut0", "TimeOut1"}));
  EXPECT_EQ(r.ans.mprob, 10);
}

TEST(FakeTransaction, RefusedWritesCostFiveAttemptsWithoutTimeOutLines) {
  FakeRig r;
  r.link.writeScript.assign(5, {WriteStatus::kRefused, 0});
  EXPECT_EQ(r.tr.ComWrite(0), 0);
  EXPECT_TRUE(r.log.Lines().empty());
  EXPECT_TRUE(r.ui.messages.empty());
}

TEST(FakeTransaction, WriteOnClosedPortIsReportedWithThePortIndex) {
  FakeRig r;
  EXPECT_EQ(r.tr.ComWrite(4), 0);
  ASSERT_EQ(r.ui.messages.size(), 5u);
  EXPECT_EQ(r.ui.messages[0].text, "nofcan=4");
  EXPECT_EQ(r.ui.messages[0].caption, "WriteCommBlockError");
}

TEST(FakeTransaction, CompletionErrorCountsAsSentAndShowsTheRequestBytes) {
  FakeRig r;
  r.link.SetResponder([](int, const Bytes&) { return std::vector<Bytes>{kPoll}; });
  r.link.writeScript = {{WriteStatus::kCompletionError, 4}};
  r.rq.com = {17, 0, 0, 0, 0, 0, 0, 3};
  EXPECT_EQ(r.tr.ComWrite(0), 1);
  ASSERT_EQ(r.ui.messages.size(), 2u);
  EXPECT_EQ(r.ui.messages[0].text, "Ошибка записи1WriteCommBlock");
  EXPECT_EQ(r.ui.messages[1].text, "17-0;0-0;0-0;0-3;0-20");
  EXPECT_EQ(r.ui.messages[1].caption, "Ошибка записи2,WriteCommBlock");
}

}  // namespace
}  // namespace kvl
