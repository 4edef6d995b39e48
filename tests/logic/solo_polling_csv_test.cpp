// --csv in regsolo: each poll of the regulator becomes a row with its serial
// number, a silent regulator a row saying so.
#include <gtest/gtest.h>

#include <fstream>

#include "logic/solo_fixture.h"

namespace kvl::test {
namespace {

using namespace kvl::solo;

TEST_F(SoloTest, PollsAreRecordedToCsv) {
  Start();
  Connect();
  const std::string path = (dir / "values.csv").string();
  prog.RecordTo(path);
  const size_t shown = ui.messages.size();
  reg.setpoint = 5000;
  reg.flow = -0.50;  // flow word 0x8032
  prog.OnCommand(IDC_SOLO_POLL_START, 0);
  prog.OnTimer(kTimerPoll);
  reg.silent = true;
  prog.OnTimer(kTimerPoll);

  std::ifstream f(path);
  std::vector<std::string> rows;
  for (std::string l; std::getline(f, l);) rows.push_back(l.substr(l.find(',') + 1));
  EXPECT_EQ(rows, (std::vector<std::string>{"address,serial,setpoint,flow,status",
                                            "5,12345,50.00,-0.50,answered", "5,12345,,,silent"}));
  EXPECT_EQ(ui.messages.size(), shown);
  prog.RecordTo("");  // closed: Windows removes no open file with the test's folder
}

}  // namespace
}  // namespace kvl::test
