// regsolo end to end below the window system: the program's logic on the POSIX
// serial link, talking to the regulator simulator on a pty with real bytes and
// real timing. The operator's clicks go through the fake view.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "support/regsim_process.h"
#include "serial/posix_link.h"
#include "solo/connection_dialog.h"
#include "solo/setpoint_window.h"
#include "solo/solo_program.h"
#include "solo/zero_offset_dialog.h"
#include "support/fake_view.h"
#include "support/temp_dir.h"

namespace kvl::test {
namespace {

using namespace kvl::solo;

const char* const kRegsim = KVL_REGSIM;

class Services : public FakeServices {
 public:
  Dialog* CreateModeless(int templateId, DialogLogic& logic) override {
    modelessLogic = &logic;
    return FakeServices::CreateModeless(templateId, logic);
  }
  DialogLogic* modelessLogic = nullptr;
};

// The simulator with its trace, the link to its pty as COM1, and the program.
struct Bench {
  Bench(const std::filesystem::path& dir, const std::vector<std::string>& devices)
      : trace((dir / "trace.txt").string()),
        sim(kRegsim, Args(devices, trace)),
        link(Paths(sim.path())),
        prog(link, ui) {
    cfg = (dir / "KVL.dfg").string();
  }
  static std::vector<std::string> Args(const std::vector<std::string>& devices,
                                       const std::string& trace) {
    std::vector<std::string> a = {"--quiet", "--trace", trace};
    for (const auto& d : devices) {
      a.push_back("--dev");
      a.push_back(d);
    }
    return a;
  }
  static std::array<std::string, kPortCount> Paths(const std::string& p) {
    std::array<std::string, kPortCount> a;
    a[0] = p;
    return a;
  }

  void Start(uint8_t address) {
    std::ofstream(cfg, std::ios::binary) << static_cast<char>(0) << static_cast<char>(address);
    prog.SetConfigPath(cfg);
    ASSERT_TRUE(prog.OnCreate());
    ASSERT_EQ(ui.quitPosts, 0);
  }
  // The connection dialog: open COM1, type the address, "Установить связь", OK.
  void Connect(const std::string& typed) {
    ui.onModal = [&](FakeDialog& d, DialogLogic& l) {
      d.SetCheck(IDX_PORT_OPEN, true);
      l.OnCommand(d, IDX_PORT_OPEN, 0);
      d.SetText(IDX_SETUP_NET, typed);
      l.OnCommand(d, IDX_SETUP_NET, kEnChange);
      l.OnCommand(d, IDX_SETUP_LINK, 0);
      l.OnCommand(d, kIdOk, 0);
    };
    prog.OnCommand(IDC_SETUP, 0);
    ui.onModal = nullptr;
  }
  FakeDialog& Last() { return *ui.dialogs.back(); }
  std::string TraceText() const {
    std::ifstream f(trace);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  // Waits (generously) until the trace holds the text.
  bool TraceHas(const std::string& text) const {
    for (int i = 0; i < 100; ++i) {
      if (TraceText().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  std::string trace, cfg;
  RegsimProcess sim;
  PosixLink link;
  Services ui;
  SoloProgram prog;
};

// A simulated device whose identify status says the valve is free to command: the
// valve-control bit set and the analog-signal bit clear, in either layout.
std::string Free(const std::string& device, int format = 7) {
  return device + ",format=" + std::to_string(format) + (format > 5 ? ",status6=66" : ",status6=6");
}

class SoloRegsim : public ::testing::Test {
 protected:
  TempDir tmp;
  const std::filesystem::path dir = tmp.path();
};

TEST_F(SoloRegsim, ConnectAtTheTypedAddressAndPoll) {
  Bench b(dir, {Free("addr=5,kind=flow,serial=12345,setpoint=40,flow=40")});
  b.Start(1);
  b.Connect("5");
  ASSERT_TRUE(b.prog.State().Connected()) << ::testing::PrintToString(b.ui.Texts());
  FakeDialog& d = b.Last();
  EXPECT_EQ(d.texts[IDX_SETUP_LINK_STATE], "Установлена");
  EXPECT_EQ(d.texts[IDX_SETUP_SERIAL], "12345");
  EXPECT_EQ(b.prog.State().version_KVL, 7u);
  EXPECT_TRUE(b.ui.messages.empty()) << ::testing::PrintToString(b.ui.Texts());

  b.prog.OnCommand(IDC_SOLO_POLL_START, 0);
  b.prog.OnTimer(kTimerPoll);
  const std::string line = b.prog.State().buf1;
  EXPECT_EQ(line.rfind(" Задание: 40.0%; Расход: ", 0), 0u) << line;
  EXPECT_EQ(b.prog.OnPaint(0, 300)[0].background, 0x0000FF00u);
  EXPECT_EQ(b.prog.State().log.Lines().back().substr(0, 3), "17;");
}

TEST_F(SoloRegsim, ConnectAtAddressZeroFindsTheRegulator) {
  Bench b(dir, {Free("addr=42,serial=777")});
  b.Start(1);
  b.Connect("0");
  ASSERT_TRUE(b.prog.State().Connected()) << ::testing::PrintToString(b.ui.Texts());
  EXPECT_EQ(b.prog.State().Address(), 42);
  EXPECT_EQ(b.Last().texts[IDX_SETUP_NET], "42");
  EXPECT_EQ(b.Last().texts[IDX_SETUP_SERIAL], "777");
  // The address stored by OK is the regulator's own.
  std::ifstream f(b.cfg, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, std::string("\0\x2a", 2));
}

TEST_F(SoloRegsim, RegulatorFallingSilentDuringPolling) {
  Bench b(dir, {Free("addr=5")});
  b.Start(5);
  b.Connect("5");
  ASSERT_TRUE(b.prog.State().Connected());
  b.prog.OnCommand(IDC_SOLO_POLL_START, 0);
  b.prog.OnTimer(kTimerPoll);
  const std::string line = b.prog.State().buf1;
  ASSERT_FALSE(line.empty());

  ASSERT_EQ(b.sim.Control("set 5 silent=1").rfind("OK", 0), 0u);
  b.prog.OnTimer(kTimerPoll);
  const auto& lines = b.prog.State().log.Lines();
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[lines.size() - 6], "TimeOut0");
  EXPECT_EQ(lines[lines.size() - 2], "TimeOut4");
  EXPECT_EQ(lines.back(), "Ошибка связи N:100");
  EXPECT_EQ(b.prog.State().buf1, line);
  EXPECT_TRUE(b.ui.TimerRunning(kTimerPoll));
  EXPECT_TRUE(b.ui.messages.empty());

  ASSERT_EQ(b.sim.Control("set 5 silent=0").rfind("OK", 0), 0u);
  b.prog.OnTimer(kTimerPoll);
  EXPECT_EQ(b.prog.State().log.Lines().back().substr(0, 3), "17;");
}

class SoloRegsimZero : public SoloRegsim, public ::testing::WithParamInterface<int> {};

TEST_P(SoloRegsimZero, OffsetIsReadAndWritten) {
  const int format = GetParam();
  Bench b(dir, {Free("addr=5,offset=1000", format)});
  b.Start(5);
  b.Connect("5");
  ASSERT_TRUE(b.prog.State().Connected());
  b.ui.answers = {kIdYes};
  b.ui.onModal = [&](FakeDialog& d, DialogLogic& l) {
    if (format > 5) {
      EXPECT_EQ(d.texts[IDX_SOLO_OFFSET], "1000");
      d.SetText(IDX_SOLO_OFFSET, "300");
    }
    l.OnCommand(d, IDX_SOLO_ZERO_BUTTON, 0);
    l.OnCommand(d, kIdOk, 0);
  };
  b.prog.OnCommand(IDC_ZERO, 0);
  EXPECT_EQ(b.Last().templateId, format > 5 ? 111 : 130);
  EXPECT_EQ(b.Last().texts[IDX_SOLO_OUTPUT].back(), '%');
  EXPECT_EQ(b.sim.Get(5, "offset"), format > 5 ? "300" : "0");
  // Only the confirmation was shown: every exchange was answered.
  EXPECT_EQ(b.ui.messages.size(), 1u) << ::testing::PrintToString(b.ui.Texts());
}

INSTANTIATE_TEST_SUITE_P(Formats, SoloRegsimZero, ::testing::Values(5, 6, 7));

TEST_F(SoloRegsim, SetpointValveAndKind) {
  Bench b(dir, {Free("addr=5,setpoint=10")});
  b.Start(5);
  b.Connect("5");
  ASSERT_TRUE(b.prog.State().Connected());

  b.prog.OnCommand(IDC_INPUT_DIGITAL, 0);
  FakeDialog& w = b.Last();
  w.ListSelect(IDX_SETPOINT_PRESETS, 5);
  b.ui.modelessLogic->OnCommand(w, IDX_SETPOINT_PRESETS, 1);
  EXPECT_EQ(w.texts[IDX_SETPOINT_EDIT], "50.0");
  EXPECT_EQ(b.sim.Get(5, "setpoint"), "50.00");
  w.SetText(IDX_SETPOINT_EDIT, "12.346");
  b.ui.modelessLogic->OnCommand(w, IDX_SETPOINT_SEND, 0);
  EXPECT_EQ(b.sim.Get(5, "setpoint"), "12.35");
  EXPECT_EQ(b.sim.Get(5, "digital"), "1");

  b.prog.OnCommand(IDC_VALVE_OPEN, 0);
  EXPECT_EQ(b.sim.Get(5, "valve"), "open");
  EXPECT_EQ(b.prog.State().fsatbor, kValveOpen);
  b.prog.OnCommand(IDC_KIND_PRESSURE, 0);
  EXPECT_EQ(b.sim.Get(5, "kind"), "pressure");
  b.prog.OnCommand(IDC_INPUT_ANALOG, 0);
  EXPECT_EQ(b.sim.Get(5, "digital"), "0");
  EXPECT_TRUE(b.ui.messages.empty()) << ::testing::PrintToString(b.ui.Texts());
}

TEST_F(SoloRegsim, SpeedAndAddressChange) {
  Bench b(dir, {Free("addr=5")});
  b.Start(5);
  b.Connect("5");
  ASSERT_TRUE(b.prog.State().Connected());
  b.ui.onModal = [&](FakeDialog& d, DialogLogic& l) {
    d.ListSelect(IDX_SETUP_SPEED_LIST, 2);
    l.OnCommand(d, IDX_SETUP_SPEED_LIST, kSelChange);
    d.SetText(IDX_SETUP_NEWNET, "17");
    l.OnCommand(d, IDX_SETUP_CHANGE, 0);
    l.OnCommand(d, kIdOk, 0);
  };
  b.prog.OnCommand(IDC_SETUP, 0);
  EXPECT_EQ(b.Last().texts[IDX_SETUP_CHANNEL], "2:38400");
  EXPECT_EQ(b.prog.State().Address(), 17);
  ASSERT_TRUE(b.TraceHas("now at address 17"));
  // Both sides at 38400 and the regulator at its new address: polling works.
  b.prog.OnCommand(IDC_SOLO_POLL_START, 0);
  b.prog.OnTimer(kTimerPoll);
  EXPECT_FALSE(b.prog.State().buf1.empty());
  EXPECT_TRUE(b.ui.messages.empty()) << ::testing::PrintToString(b.ui.Texts());
}

TEST_F(SoloRegsim, CloseSendsTheClosingFrame) {
  Bench b(dir, {Free("addr=5")});
  b.Start(5);
  b.Connect("5");
  ASSERT_TRUE(b.prog.State().Connected());
  b.prog.OnCommand(IDC_SOLO_POLL_START, 0);
  EXPECT_TRUE(b.prog.OnClose());
  EXPECT_FALSE(b.link.IsOpen(0));
  EXPECT_TRUE(b.TraceHas("closing frame for address 5"));
  // The frame itself: code 1, byte 1 = address + 1.
  EXPECT_NE(b.TraceText().find("RX K 01 06 00 00 00 00 00 05 00 0C"), std::string::npos)
      << b.TraceText();
  EXPECT_EQ(b.ui.messages.back().text, "OK to close window?");
}

}  // namespace
}  // namespace kvl::test
