// The line: telling the protocols apart, faults, wire time, trace.
#include <gtest/gtest.h>

#include <set>

#include "sim/framer.h"
#include "sim_bench.h"

namespace kvl::sim::test {
namespace {

Bytes Ident(int addr) {
  Request rq;
  cmd::Ident(rq, addr);
  rq.com[1] = 0;
  ContrSum(rq.com.data(), 10, 0);
  return Bytes(rq.com.begin(), rq.com.end());
}

Bytes ModbusPoll(int addr) {
  Request rq;
  cmd::Measure(rq, addr);
  rq.fmodbuson = 1;
  PrebrasTuda(rq);
  ContrSum(rq.com.data(), rq.wlength, 1);
  return Bytes(rq.com.begin(), rq.com.begin() + rq.wlength);
}

TEST(SimFramer, TellsTheProtocolsApart) {
  const Bytes k = Ident(5);
  Detected f = DetectFrame(k.data(), k.size(), false);
  EXPECT_EQ(f.proto, Proto::kKormast);
  EXPECT_EQ(f.length, 10u);
  const Bytes m = ModbusPoll(5);
  f = DetectFrame(m.data(), m.size(), false);
  EXPECT_EQ(f.proto, Proto::kModbus);
  EXPECT_EQ(f.length, 8u);
  // Incomplete frames wait for more bytes.
  EXPECT_EQ(DetectFrame(k.data(), 9, false).proto, Proto::kNone);
  EXPECT_EQ(DetectFrame(m.data(), 7, true).proto, Proto::kNone);
  // A wrong check value is no frame at all.
  Bytes bad = k;
  bad[9] ^= 1;
  EXPECT_EQ(DetectFrame(bad.data(), bad.size(), true).proto, Proto::kNone);
}

TEST(SimFramer, FindsAFrameBehindJunk) {
  Bytes b{0xFF, 0x00, 0x13};
  const Bytes k = Ident(3);
  b.insert(b.end(), k.begin(), k.end());
  const Detected f = DetectFrame(b.data(), b.size(), false);
  EXPECT_EQ(f.proto, Proto::kKormast);
  EXPECT_EQ(f.offset, 3u);
}

TEST(SimLine, RequestInPiecesIsAnsweredOnceComplete) {
  Bench b;
  b.Add("addr=3");
  const Bytes k = Ident(3);
  EXPECT_TRUE(b.Send(Bytes(k.begin(), k.begin() + 4), 5).empty());
  const Bytes a = b.Send(Bytes(k.begin() + 4, k.end()));
  EXPECT_TRUE(KormastValid(a));
}

TEST(SimLine, JunkIsTracedAsUnrecognisedAndDropped) {
  Bench b;
  b.Add("addr=3");
  EXPECT_TRUE(b.Send({1, 2, 3}).empty());
  EXPECT_TRUE(b.TraceHas("RX ? 01 02 03"));
  EXPECT_TRUE(KormastValid(b.Send(Ident(3))));  // the junk does not spoil the next one
}

TEST(SimLine, NoiseNeverStopsTheLine) {
  Bench b;
  b.Add("addr=1");
  b.Add("addr=2,kind=pressure");
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> byte(0, 255), size(1, 40);
  for (int i = 0; i < 2000; ++i) {
    Bytes noise(static_cast<size_t>(size(rng)));
    for (auto& x : noise) x = static_cast<uint8_t>(byte(rng));
    b.line.Receive(noise.data(), noise.size(), b.now);
    b.now += 1000;
    b.line.TakeDue(b.now + 10'000'000);
  }
  b.now += 100'000;
  b.line.Tick(b.now);
  b.line.TakeDue(b.now + 10'000'000);
  EXPECT_TRUE(KormastValid(b.Send(Ident(2))));
  EXPECT_TRUE(ModbusValid(b.Send(ModbusPoll(1))));
}

TEST(SimLine, BothProtocolsOnOneLine) {
  Bench b;
  b.Add("addr=1");
  b.Add("addr=2");
  EXPECT_TRUE(KormastValid(b.Send(Ident(1))));
  const Bytes m = b.Send(ModbusPoll(2));
  EXPECT_EQ(m.size(), 9u);
  EXPECT_TRUE(ModbusValid(m));
  EXPECT_TRUE(b.TraceHas("RX K 01 00 00 00 00 00 00 01 00 02"));
  EXPECT_TRUE(b.TraceHas("RX M 02 03 00 04 00 02"));
  EXPECT_TRUE(b.TraceHas("TX M 02 03 04"));
}

TEST(SimFaults, SilentAndDropout) {
  Bench b;
  b.Add("addr=4,silent");
  EXPECT_TRUE(b.Send(Ident(4)).empty());
  Device* d = b.line.Find(4);
  ASSERT_EQ(ApplyDeviceText(*d, "silent=0,dropout=2", b.now / 1000), "");
  b.line.Tick(b.now);
  EXPECT_TRUE(b.TraceHas("NOTE device 4 dropped off the line"));
  EXPECT_TRUE(b.Send(Ident(4)).empty());
  b.now += 2'500'000;
  b.line.Tick(b.now);
  EXPECT_TRUE(b.TraceHas("NOTE device 4 back on the line"));
  EXPECT_TRUE(KormastValid(b.Send(Ident(4))));
}

TEST(SimFaults, WrongCheckValue) {
  Bench b;
  b.Add("addr=4,badsum");
  Bytes a = b.Send(Ident(4));
  ASSERT_EQ(a.size(), 10u);
  EXPECT_FALSE(KormastValid(a));
  a = b.Send(ModbusPoll(4));
  ASSERT_EQ(a.size(), 9u);
  EXPECT_FALSE(ModbusValid(a));
}

TEST(SimFaults, ChunksArriveWithPauses) {
  Bench b;
  b.Add("addr=4,chunks=3+3+4,chunk-delay-ms=40");
  std::vector<Output> outs;
  const Bytes a = b.Send(Ident(4), 5000, &outs);
  EXPECT_TRUE(KormastValid(a));
  ASSERT_EQ(outs.size(), 3u);
  EXPECT_EQ(outs[0].bytes.size(), 3u);
  EXPECT_EQ(outs[1].bytes.size(), 3u);
  EXPECT_EQ(outs[2].bytes.size(), 4u);
  EXPECT_EQ(outs[1].dueUs - outs[0].dueUs, 40'000);
  EXPECT_EQ(outs[2].dueUs - outs[1].dueUs, 40'000);
}

TEST(SimFaults, GarbageBeforeAndJunkAfter) {
  Bench b;
  b.Add("addr=4,garbage=3,extra=2");
  const Bytes a = b.Send(Ident(4));
  ASSERT_EQ(a.size(), 15u);
  EXPECT_TRUE(KormastValid(Bytes(a.begin() + 3, a.begin() + 13)));
}

TEST(SimFaults, AnswersOnlyFromTheNthCopy) {
  Bench b;
  b.Add("addr=4,answer-from=3");
  EXPECT_TRUE(b.Send(Ident(4)).empty());
  EXPECT_TRUE(b.Send(Ident(4)).empty());
  EXPECT_TRUE(KormastValid(b.Send(Ident(4))));
  EXPECT_TRUE(KormastValid(b.Send(Ident(4))));  // later copies too
  // A different request starts the count again.
  EXPECT_TRUE(b.Send(ModbusPoll(4)).empty());
  EXPECT_TRUE(b.Send(ModbusPoll(4)).empty());
  EXPECT_EQ(b.Send(ModbusPoll(4)).size(), 9u);
}

TEST(SimFaults, IgnoredCopiesChangeNothing) {
  Bench b;
  Device& d = b.Add("addr=4,answer-from=2");
  Request rq;
  cmd::Setpoint(rq, 4, 1234);
  ContrSum(rq.com.data(), 10, 0);
  EXPECT_TRUE(b.Send(Bytes(rq.com.begin(), rq.com.end())).empty());
  EXPECT_NE(d.setpoint, 1234);
}

TEST(SimTiming, WireTimeAndTurnaround) {
  LineOptions o;
  o.baud = 9600;
  o.wire = true;
  o.turnaroundMs = 5;
  Bench b(o);
  b.Add("addr=4,speed=9600");
  std::vector<Output> outs;
  const int64_t sent = b.now;
  b.Send(Ident(4), 5000, &outs);
  ASSERT_EQ(outs.size(), 10u);  // one byte at a time
  // 10 bits a byte at 9600 baud: about 1.04 ms a byte. The request's 10 bytes take
  // their time first, then the turnaround, then each answer byte.
  EXPECT_EQ(outs[0].dueUs - sent, 10 * 1041 + 5000 + 1041);
  EXPECT_EQ(outs[9].dueUs - outs[0].dueUs, 9 * 1041);
}

TEST(SimTiming, DeviceTurnaroundIsDrawnFromItsRange) {
  LineOptions o;
  o.turnaroundMs = 5;
  Bench b(o);
  Device& d = b.Add("addr=4,turnaround=150-450");
  std::set<int64_t> pauses;
  for (int i = 0; i < 40; ++i) {
    std::vector<Output> outs;
    const int64_t sent = b.now;
    ASSERT_TRUE(KormastValid(b.Send(Ident(4), 5000, &outs)));
    const int64_t pause = outs.at(0).dueUs - sent;
    EXPECT_GE(pause, 155'000);
    EXPECT_LE(pause, 455'000);
    pauses.insert(pause);
    b.now += 500'000;  // the line is quiet again before the next request
  }
  EXPECT_GT(pauses.size(), 10u);  // drawn anew for each answer
  // Set at run time; 0 takes it away, and a range upside down is refused.
  ASSERT_EQ(ApplyDeviceText(d, "turnaround=0", 0), "");
  std::vector<Output> outs;
  const int64_t sent = b.now;
  b.Send(Ident(4), 5000, &outs);
  EXPECT_EQ(outs.at(0).dueUs - sent, 5000);
  EXPECT_NE(ApplyDeviceText(d, "turnaround=450-150", 0).find("LO-HI"), std::string::npos);
  EXPECT_NE(ApplyDeviceText(d, "turnaround=-5", 0), "");
}

}  // namespace
}  // namespace kvl::sim::test
