// Device descriptions (command line, network file) and the stdin control.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "sim/control.h"
#include "sim_bench.h"
#include "support/temp_dir.h"

namespace kvl::sim::test {
namespace {

TEST(SimText, ParsesEveryKind) {
  Device d;
  ASSERT_EQ(ParseDevice("addr=3, kind=pressure,format=5,date=1-2-19-4,setpoint=40.5,"
                        "offset=9,regulate=0,digital=0,rasre=0,chunks=2+8,garbage=1,"
                        "answer-from=2,badsum,speed=9600",
                        19200, d),
            "");
  EXPECT_EQ(d.addr, 3);
  EXPECT_TRUE(d.pressure);
  EXPECT_EQ(d.format, 5);
  EXPECT_EQ(d.serial, 1003);  // derived from the address when not given
  EXPECT_EQ(d.day, 1);
  EXPECT_EQ(d.year, 19);
  EXPECT_EQ(d.setpoint, 4050);
  EXPECT_EQ(d.offset, 9);
  EXPECT_FALSE(d.regulate);
  EXPECT_FALSE(d.rasre);
  EXPECT_EQ(d.faults.chunks, (std::vector<int>{2, 8}));
  EXPECT_EQ(d.faults.answerFrom, 2);
  EXPECT_TRUE(d.faults.badsum);
  EXPECT_EQ(d.speed, 9600u);
}

TEST(SimText, ClearReasonsForBadInput) {
  Device d;
  EXPECT_EQ(ParseDevice("kind=flow", 19200, d), "addr=N is required");
  EXPECT_NE(ParseDevice("addr=255", 19200, d).find("0..254"), std::string::npos);
  EXPECT_NE(ParseDevice("addr=1,kind=gas", 19200, d).find("flow or pressure"), std::string::npos);
  EXPECT_NE(ParseDevice("addr=1,setpoint=101", 19200, d).find("0..100"), std::string::npos);
  EXPECT_NE(ParseDevice("addr=1,speed=4800", 19200, d).find("9600"), std::string::npos);
  EXPECT_NE(ParseDevice("addr=1,colour=red", 19200, d).find("unknown key 'colour'"),
            std::string::npos);
  EXPECT_NE(ParseDevice("addr=1,date=1-2-3", 19200, d).find("D-M-Y-V"), std::string::npos);
  EXPECT_NE(ParseDevice("addr=1,chunks=3+x", 19200, d).find("3+3+4"), std::string::npos);
  // A failed change leaves the device as it was.
  Device e;
  ASSERT_EQ(ParseDevice("addr=1,setpoint=10", 19200, e), "");
  EXPECT_NE(ApplyDeviceText(e, "setpoint=20,format=x", 0), "");
  EXPECT_EQ(e.setpoint, 1000);
}

TEST(SimText, NetworkFileWithCommentsAndItsErrors) {
  kvl::test::TempDir tmp;
  const std::string path = tmp.File("regsim_net.txt");
  {
    std::ofstream f(path);
    f << "# demo line\n\naddr=1,kind=flow  # first\n  addr=2,kind=pressure\n";
  }
  std::vector<Device> ds;
  EXPECT_EQ(ReadNetworkFile(path, 19200, ds), "");
  ASSERT_EQ(ds.size(), 2u);
  EXPECT_TRUE(ds[1].pressure);
  {
    std::ofstream f(path);
    f << "addr=1\naddr=x\n";
  }
  ds.clear();
  EXPECT_EQ(ReadNetworkFile(path, 19200, ds).rfind(path + ":2: ", 0), 0u);
  std::remove(path.c_str());
  EXPECT_NE(ReadNetworkFile(path, 19200, ds).find("cannot be read"), std::string::npos);
}

TEST(SimControl, SetGetAddRemove) {
  Bench b;
  b.Add("addr=5");
  EXPECT_EQ(RunControl(b.line, "set 5 setpoint=50,kind=pressure", b.now).reply, "OK");
  const std::string got = RunControl(b.line, "get 5", b.now).reply;
  EXPECT_EQ(got.rfind("OK addr=5 kind=pressure", 0), 0u);
  for (const char* key : {" setpoint=50.00", " flow=", " valve=regulate", " regulate=1",
                          " digital=1", " speed=19200", " offset=0", " zero_count=0"})
    EXPECT_NE(got.find(key), std::string::npos) << key;
  EXPECT_EQ(RunControl(b.line, "add addr=6,kind=flow", b.now).reply, "OK");
  EXPECT_EQ(RunControl(b.line, "add addr=6", b.now).reply.rfind("ERR", 0), 0u);
  EXPECT_EQ(RunControl(b.line, "list", b.now).reply, "OK 5 6");
  EXPECT_EQ(RunControl(b.line, "set 6 addr=5", b.now).reply.rfind("ERR", 0), 0u);
  EXPECT_EQ(RunControl(b.line, "remove 6", b.now).reply, "OK");
  EXPECT_EQ(RunControl(b.line, "get 6", b.now).reply, "ERR no device at address 6");
  EXPECT_EQ(RunControl(b.line, "set 5 bogus=1", b.now).reply, "ERR unknown key 'bogus'");
  EXPECT_EQ(RunControl(b.line, "jump", b.now).reply.rfind("ERR unknown command", 0), 0u);
  EXPECT_TRUE(RunControl(b.line, "quit", b.now).quit);
}

TEST(SimControl, GetReportsTheFlowAsItMoves) {
  Bench b;
  b.Add("addr=5,setpoint=0");
  RunControl(b.line, "set 5 setpoint=60", b.now);
  b.now += 5'000'000;
  const std::string got = RunControl(b.line, "get 5", b.now).reply;
  const auto at = got.find(" flow=");
  ASSERT_NE(at, std::string::npos);
  EXPECT_NEAR(std::stod(got.substr(at + 6)), 60.0, 1.0);
}

}  // namespace
}  // namespace kvl::sim::test
