// Framing of received blocks and the hand-over of answers (no threads, no ports).
#include "serial/receiver.h"

#include <gtest/gtest.h>

#include "serial/fake_link.h"

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

// Armed with the request, the receiver hands over only its answer.
TEST(Matching, AnotherRequestsAnswerIsDroppedAndTheWaitGoesOn) {
  Request rq;
  rq.com = {17, 0, 0, 0, 0, 0, 0, 3};
  Receiver rx;
  rx.Arm(AnswerRule::Of(rq), Framing::kNetwork);
  Answer a;
  Feed(rx, KormastAnswer({17, 9, 9, 9, 9, 9, 0, 5}));  // late answer of device 5
  EXPECT_FALSE(Ready(rx, a));
  EXPECT_EQ(rx.Dropped(), 1u);
  EXPECT_EQ(rx.Pending(), 0u) << "gathering starts again";
  Feed(rx, kPoll);
  ASSERT_TRUE(Ready(rx, a));
  EXPECT_EQ(a.res[7], 3);
}

TEST(Matching, AValidLookingStartOfTheAnswerKeepsGathering) {
  // 17, 0, 17 passes the sum at three bytes; the answer goes on to ten.
  const Bytes answer = KormastAnswer({17, 0, 17, 5, 0, 0, 0, 3});
  Request rq;
  rq.com = {17, 0, 0, 0, 0, 0, 0, 3};
  Receiver rx;
  rx.Arm(AnswerRule::Of(rq), Framing::kNetwork);
  Answer a;
  Feed(rx, Bytes(answer.begin(), answer.begin() + 3));
  EXPECT_FALSE(Ready(rx, a));
  Feed(rx, Bytes(answer.begin() + 3, answer.end()));
  ASSERT_TRUE(Ready(rx, a));
  EXPECT_EQ(a.mprob, 10);
}

TEST(Matching, SingleRegulatorFramingDropsAnotherDevicesFrame) {
  Request rq;
  rq.com = {17, 0, 0, 0, 0, 0, 0, 3};
  Receiver rx;
  rx.Arm(AnswerRule::Of(rq), Framing::kSolo, false);
  Answer a;
  Feed(rx, KormastAnswer({17, 1, 1, 1, 1, 1, 1, 4}));
  EXPECT_FALSE(Ready(rx, a));
  Feed(rx, kPoll);
  EXPECT_TRUE(Ready(rx, a));
}

TEST(Matching, WhatWasGatheredIsThereAfterAFailedWait) {
  Receiver rx;
  Request rq;
  rq.com = {17, 0, 0, 0, 0, 0, 0, 3};
  rx.Arm(AnswerRule::Of(rq), Framing::kNetwork);
  Feed(rx, {17, 5, 0});
  Answer a;
  a.mprob = 10;
  EXPECT_FALSE(rx.Wait(1, a));
  rx.Gathered(a);
  EXPECT_EQ(a.mprob, 0);
  EXPECT_EQ(a.res[0], 17);
  EXPECT_EQ(a.res[1], 5);
}

}  // namespace
}  // namespace kvl
