// The exchange through the POSIX link against the simulator on a pty: the
// same exchanges the programs make, with the simulator's faults.
#include <gtest/gtest.h>

#include <memory>

#include "exchanger.h"
#include "protocol/commands.h"
#include "protocol/exchange.h"
#include "protocol/exchange_log.h"
#include "protocol/modbus.h"
#include "pty_peer.h"
#include "support/regsim_process.h"
#include "serial/posix_link.h"

namespace kvl {
namespace {

const char* const kRegsim = KVL_REGSIM;

struct Line : test::Exchanger {
  test::RegsimProcess sim;
  PosixLink link;
  Line(const std::vector<std::string>& args, bool solo = false)
      : sim(kRegsim, args), link(Paths(sim.path())) {
    if (!link.Open(0, true)) throw std::runtime_error("cannot open " + sim.path());
    if (solo) st.framing = Framing::kSolo;
    st.attemptMs = 1000;  // time to spare on a busy machine; failing cases shorten it
  }
  int Run() { return Exchanger::Run(link); }
  static std::array<std::string, kPortCount> Paths(const std::string& p) {
    std::array<std::string, kPortCount> a;
    a[0] = p;
    return a;
  }
  int Poll(int addr) {
    cmd::Measure(rq, addr);
    return Run();
  }
};

class Regsim : public ::testing::Test {};

const std::deque<std::string> kFiveTimeOuts = {"TimeOut0", "TimeOut1", "TimeOut2", "TimeOut3",
                                               "TimeOut4"};

TEST_F(Regsim, AnswerInChunksOfThreeThreeAndFour) {
  Line l({"--dev", "addr=5,setpoint=40,flow=40,chunks=3+3+4,chunk-delay-ms=20"});
  ASSERT_EQ(l.Poll(5), 1);
  EXPECT_TRUE(l.log.Lines().empty());
  EXPECT_EQ(l.ans.mprob, 10);
  EXPECT_EQ(l.ans.res[0], CMD_MEASURE);
  EXPECT_EQ(l.ans.res[7], 5);
  EXPECT_EQ((l.ans.res[4] << 8) | l.ans.res[5], 4000) << "setpoint in hundredths of a per cent";
}

TEST_F(Regsim, DeviceAnsweringFromTheThirdAttempt) {
  Line l({"--dev", "addr=9,answer-from=3"});
  ASSERT_EQ(l.Poll(9), 1);
  EXPECT_EQ(l.log.Lines(), (std::deque<std::string>{"TimeOut0", "TimeOut1"}));
  EXPECT_EQ(l.ans.res[7], 9);
}

TEST_F(Regsim, WrongCheckValuesGiveFiveTimeOutsInBothProtocols) {
  Line l({"--dev", "addr=4,badsum=1"});
  l.st.attemptMs = 100;
  EXPECT_EQ(l.Poll(4), 0);
  EXPECT_EQ(l.log.Lines(), kFiveTimeOuts);
  SelectModbus(l.rq);
  EXPECT_EQ(l.Poll(4), 0);
  EXPECT_EQ(l.log.Lines().size(), 10u);
  EXPECT_EQ(l.last.diagnostic.rfind("response", 0), 0u) << "the CRC mismatch is described";
}

TEST_F(Regsim, SilentDeviceAndWrongAddressTimeOut) {
  Line l({"--dev", "addr=2,silent=1", "--dev", "addr=3"});
  l.st.attemptMs = 60;
  EXPECT_EQ(l.Poll(2), 0);
  EXPECT_EQ(l.Poll(77), 0);
  EXPECT_EQ(l.log.Lines().size(), 10u);
  l.st.attemptMs = 1000;
  EXPECT_EQ(l.Poll(3), 1);
}

TEST_F(Regsim, GarbageBeforeEveryAnswerIsNeverTakenForAnAnswer) {
  // Junk before the answer makes more than the expected bytes pile up: the
  // gathering restarts and the attempt times out, however the bytes arrive.
  Line l({"--dev", "addr=6,garbage=3"});
  l.st.attemptMs = 100;
  EXPECT_EQ(l.Poll(6), 0);
  EXPECT_EQ(l.log.Lines(), kFiveTimeOuts);
  EXPECT_EQ(l.ans.mprob, 0);
  ASSERT_EQ(l.sim.Control("set 6 garbage=0"), "OK");
  l.st.attemptMs = 1000;
  EXPECT_EQ(l.Poll(6), 1);
}

TEST_F(Regsim, IdentifyAndPollReadTheSameDeviceInBothProtocols) {
  Line l({"--dev", "addr=12,serial=4321,format=7,setpoint=25.5,flow=25.5"});
  cmd::Ident(l.rq, 12);
  ASSERT_EQ(l.Run(), 1);
  const Answer kormastIdent = l.ans;
  ASSERT_EQ(l.Poll(12), 1);
  const Answer kormastPoll = l.ans;

  SelectModbus(l.rq);
  cmd::Ident(l.rq, 12);
  ASSERT_EQ(l.Run(), 1);
  EXPECT_EQ(l.ans.mprob, 11);
  EXPECT_EQ((l.ans.res[2] << 8) | l.ans.res[3], 4321);
  EXPECT_EQ((kormastIdent.res[2] << 8) | kormastIdent.res[3], 4321);
  EXPECT_EQ(l.ans.res[0], kormastIdent.res[0]);
  EXPECT_EQ(l.ans.res[7], kormastIdent.res[7]);
  EXPECT_EQ(l.ans.res[1], kormastIdent.res[1]) << "status byte 1";

  ASSERT_EQ(l.Poll(12), 1);
  EXPECT_EQ(l.ans.mprob, 9);
  EXPECT_EQ(l.ans.res[0], CMD_MEASURE);
  EXPECT_EQ((l.ans.res[4] << 8) | l.ans.res[5], 2550);
  EXPECT_EQ((kormastPoll.res[4] << 8) | kormastPoll.res[5], 2550);
  EXPECT_TRUE(l.log.Lines().empty());
}

TEST_F(Regsim, ModbusWritesReachTheDevice) {
  Line l({"--dev", "addr=8"});
  SelectModbus(l.rq);
  cmd::Setpoint(l.rq, 8, 6100);
  ASSERT_EQ(l.Run(), 1);
  EXPECT_EQ(l.sim.Get(8, "setpoint"), "61.00");
  cmd::Valve(l.rq, 8, 2);
  ASSERT_EQ(l.Run(), 1);
  EXPECT_EQ(l.sim.Get(8, "valve"), "closed");
  SelectKormast(l.rq);
  cmd::Valve(l.rq, 8, 1);
  ASSERT_EQ(l.Run(), 1);
  EXPECT_EQ(l.sim.Get(8, "valve"), "open");
}

TEST_F(Regsim, SingleRegulatorFraming) {
  Line l({"--dev", "addr=1,chunks=3+3+4,chunk-delay-ms=15"}, true);
  ASSERT_EQ(l.Poll(1), 1);
  EXPECT_EQ(l.ans.mprob, 10);
  // Two junk bytes after the answer: the first ten are tested and taken.
  ASSERT_EQ(l.sim.Control("set 1 chunks=10,extra=2"), "OK");
  ASSERT_EQ(l.Poll(1), 1);
  EXPECT_EQ(l.ans.res[0], CMD_MEASURE);
  EXPECT_TRUE(l.log.Lines().empty());
}

TEST_F(Regsim, ClosingWhileTheWatcherWaitsLeavesNoThread) {
  const int before = test::WatcherCount();
  {
    Line l({"--dev", "addr=3"});
    ASSERT_EQ(l.Poll(3), 1);
    EXPECT_EQ(test::WatcherCountReaching(before + 1), before + 1);
    for (int i = 0; i < 5; ++i) {
      l.link.Close(0);
      EXPECT_EQ(test::WatcherCountReaching(before), before);
      ASSERT_TRUE(l.link.Open(0, true));
      ASSERT_EQ(l.Poll(3), 1) << "the port works again after reopening";
    }
  }
  EXPECT_EQ(test::WatcherCountReaching(before), before);
}

}  // namespace
}  // namespace kvl
