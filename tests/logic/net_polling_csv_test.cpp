// --csv in the network programs: every poll of a channel becomes a row, a
// silent regulator a row saying so, and a file that cannot be written is told
// once while polling goes on.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "logic/net_fixture.h"
#include "network/polling.h"

namespace kvl::test {
namespace {

std::vector<std::string> Rows(const std::string& path) {
  std::ifstream f(path);
  std::vector<std::string> out;
  for (std::string l; std::getline(f, l);) out.push_back(l.substr(l.find(',') + 1));  // no time
  return out;
}

TEST(NetPollingCsv, RowsPerPollAndOneMessageForAFileThatCannotBeWritten) {
  NetRig rig(kNet9);
  rig.Start();
  rig.OpenPort();
  rig.Link(0, 3, 3103);
  rig.Link(1, 4, 3104);
  rig.line.devices[3].setpoint = 4000;
  rig.line.devices[3].flow = -0.50;  // -0.50 %
  rig.line.devices[4].silent = true;
  const std::string path = rig.dir.File("later/values.csv");
  rig.prog->RecordTo(path);

  for (int tick = 0; tick < 3; ++tick) TimerProc1(rig.C(), kTimerPoll);
  EXPECT_EQ(rig.ui.Texts(), (std::vector<std::string>{"Не могу записать файл " + path}));
  EXPECT_EQ(rig.line.asked.size(), 3u * 6u);  // polling went on

  std::filesystem::create_directories(rig.dir.File("later"));
  TimerProc1(rig.C(), kTimerPoll);
  EXPECT_EQ(Rows(path),
            (std::vector<std::string>{"address,serial,setpoint,flow,status",
                                      "3,3103,40.00,-0.50,answered", "4,3104,,,silent"}));
  EXPECT_EQ(rig.ui.messages.size(), 1u);
}

}  // namespace
}  // namespace kvl::test
