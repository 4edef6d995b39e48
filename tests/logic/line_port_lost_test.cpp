// A port that goes away (adapter pulled) while a program uses it: handled
// once, as "Закрыть порт " would, with one message naming the port; after the
// adapter is back, opening the port and linking work at the first try. Also
// the windows a program forgets when they are destroyed.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "logic/line_rigs.h"
#include "setup/network_dialog.h"
#include "setup/regulator_dialog.h"
#include "solo/connection_dialog.h"
#include "solo/solo_messages.h"

namespace kvl::test {
namespace {

struct Lost {
  const char* where;
  bool solo;
  const Variant* variant;
  // Meets the lost port; the message must be owned by the window asked.
  std::function<void(ProgramRig&)> meet;
  bool ownedByDialog;
};

// Operates a modal dialog opened from the menu.
void InDialog(ProgramRig& r, int menu, std::function<void(FakeDialog&, DialogLogic&)> op) {
  r.Ui().onModal = op;
  r.Main().OnCommand(menu, 0);
  r.Ui().onModal = nullptr;
}

const Lost kLost[] = {
    {"regnet9 poll tick", false, &kNet9,
     [](ProgramRig& r) {
       r.Lose();
       r.Main().OnTimer(1);
     },
     false},
    {"regnet5 poll tick", false, &kNet5,
     [](ProgramRig& r) {
       r.Lose();
       r.Main().OnTimer(1);
     },
     false},
    {"regnet9 valve command", false, &kNet9,
     [](ProgramRig& r) {
       r.Lose();
       r.Main().OnCommand(40017, 0);
     },
     false},
    {"regnet9 setup dialog link", false, &kNet9,
     [](ProgramRig& r) {
       InDialog(r, 40048, [&r](FakeDialog& d, DialogLogic& l) {
         r.Lose();
         l.OnCommand(d, IDX_SETUP_LINK, 0);
         EXPECT_EQ(d.texts[IDX_PORT_STATE], "Порт COM1 закрыт");
         EXPECT_TRUE(d.GetCheck(IDX_PORT_CLOSE));
       });
     },
     true},
    {"regsolo poll tick", true, nullptr,
     [](ProgramRig& r) {
       r.Lose();
       r.Main().OnTimer(1);
     },
     false},
    {"regsolo connection dialog", true, nullptr,
     [](ProgramRig& r) {
       InDialog(r, IDC_SETUP, [&r](FakeDialog& d, DialogLogic& l) {
         r.Lose();
         l.OnCommand(d, IDX_SETUP_LINK, 0);
         EXPECT_EQ(d.texts[IDX_PORT_STATE], "Порт COM1 закрыт");
         EXPECT_TRUE(d.GetCheck(IDX_PORT_CLOSE));
       });
     },
     true},
};

void PrintTo(const Lost& l, std::ostream* os) {
  *os << l.where;
}

class PortLost : public testing::TestWithParam<Lost> {
 protected:
  void SetUp() override {
    if (GetParam().solo)
      rig = std::make_unique<SoloProgramRig>();
    else
      rig = std::make_unique<NetProgramRig>(*GetParam().variant, false);
  }
  std::unique_ptr<ProgramRig> rig;
};

TEST_P(PortLost, IsClosedAndToldOnceThenTheLineWorksAgain) {
  ProgramRig& r = *rig;
  const bool solo = GetParam().solo;
  r.Ui().messages.clear();
  GetParam().meet(r);

  ASSERT_EQ(r.Ui().messages.size(), 1u) << testing::PrintToString(r.Ui().Texts());
  const ShownMessage& m = r.Ui().messages[0];
  EXPECT_TRUE(IsBox(m, solo ? "Порт COM1 отключен.Ошибка118" : "Порт COM1 отключен",
                    solo ? "Error" : "ErrorSvjac",
                    GetParam().ownedByDialog ? Owner::kDialog : Owner::kMain));
  EXPECT_EQ(r.Link().written.size(), r.sentAtLoss) << "nothing goes to a port that is gone";
  EXPECT_FALSE(r.Link().IsOpen(0)) << "closed as \"Закрыть порт \" does";
  EXPECT_FALSE(r.Ui().TimerRunning(1)) << "polling stopped";
  EXPECT_EQ(r.Ui().UsesAfterDestroy(), 0);

  r.Ui().messages.clear();
  r.Main().OnTimer(1);  // a tick still queued finds the port closed
  if (solo) {
    auto& s = static_cast<SoloProgramRig&>(r);
    EXPECT_EQ(s.prog.State().fsvjac[0], 0);
    EXPECT_EQ(s.prog.State().m_tim1, 0);
    for (int id : {IDC_VALVE_OPEN, IDC_VALVE_CLOSE, IDC_VALVE_REGULATE, IDC_INPUT_ANALOG})
      EXPECT_FALSE(s.ui.Enabled(id)) << id;
    // The adapter is back: open the port, link, poll.
    s.link.SetResponder(s.reg.Responder());
    s.ui.messages.clear();
    s.ui.onModal = [](FakeDialog& d, DialogLogic& l) {
      d.SetCheck(IDX_PORT_OPEN, true);
      l.OnCommand(d, IDX_PORT_OPEN, 0);
      l.OnCommand(d, IDX_SETUP_LINK, 0);
      EXPECT_EQ(d.texts[IDX_SETUP_LINK_STATE], "Установлена");
    };
    s.prog.OnCommand(IDC_SETUP, 0);
    s.prog.OnCommand(IDC_SOLO_POLL_START, 0);
    const size_t before = s.link.written.size();
    s.prog.OnTimer(solo::kTimerPoll);
    EXPECT_EQ(s.link.written.size(), before + 1);
    EXPECT_NE(s.prog.State().buf1.find("Задание: 25.0%"), std::string::npos);
  } else {
    auto& n = static_cast<NetProgramRig&>(r);
    EXPECT_EQ(n.rig.T().FirstLinked(), -1) << "links cleared";
    EXPECT_TRUE(n.monitor->destroyed) << "polling stopped with its window";
    EXPECT_EQ(n.rig.S().hCnlWnd, nullptr);
    for (int id : {40017, 40018, 40076, 40080, 40081, 40037, 40062, 40035})
      EXPECT_FALSE(n.rig.ui.Enabled(id)) << id;
    // The adapter is back: open the port, register channel 0, show, poll.
    n.rig.ui.messages.clear();
    InDialog(r, 40082, [](FakeDialog& d, DialogLogic& l) {
      d.SetCheck(IDX_PORT_OPEN, true);
      l.OnCommand(d, IDX_PORT_OPEN, 0);
      d.SetText(IDX_NET_ADDRESS, "5");
      l.OnCommand(d, IDX_NET_REGISTER, 0);
      EXPECT_EQ(d.texts[IDX_NET_RESULT], "Установлена");
      l.OnCommand(d, kIdOk, 0);
    });
    n.rig.prog->OnCommand(IDC_SHOW_MONITOR, 0);
    const size_t before = n.rig.link.written.size();
    n.rig.prog->OnTimer(kTimerPoll);
    EXPECT_EQ(n.rig.link.written.size(), before + 1);
    EXPECT_EQ(n.rig.ui.dialogs.back()->texts[MonitorRowOf(n.rig.variant, 0).setpoint], "50.0");
  }
  for (const auto& shown : r.Ui().messages) ADD_FAILURE() << "stray message: " << shown.text;
}

INSTANTIATE_TEST_SUITE_P(Where, PortLost, testing::ValuesIn(kLost),
                         [](const testing::TestParamInfo<Lost>& i) {
                           std::string n;
                           for (const char* p = i.param.where; *p; ++p)
                             if (std::isalnum(static_cast<unsigned char>(*p))) n += *p;
                           return n;
                         });

// Windows that go away are forgotten: the poll goes on without the monitor
// closed under its box, and a program that ends forgets its modeless windows.
TEST(Windows, MonitorClosedUnderAPollsBoxIsNotUsedAgain) {
  NetProgramRig r(kNet9, false);
  r.Spoil(Fault::kWrite);
  bool closed = false;
  r.rig.ui.whileBoxUp = [&](const ShownMessage&) {
    if (closed) return;
    closed = true;
    r.monitor->logic->OnCommand(*r.monitor, kIdOk, 0);
  };
  r.rig.prog->OnTimer(kTimerPoll);
  EXPECT_TRUE(closed);
  EXPECT_TRUE(r.monitor->destroyed);
  EXPECT_EQ(r.rig.S().hCnlWnd, nullptr);
  EXPECT_EQ(r.rig.ui.UsesAfterDestroy(), 0);
  EXPECT_FALSE(r.rig.ui.TimerRunning(kTimerPoll));
}

TEST(Windows, EndingTheProgramForgetsItsModelessWindows) {
  NetProgramRig n(kNet5, false);
  FakeDialog& sp = n.Setpoint();
  ASSERT_EQ(n.rig.S().hLspis, &sp);
  ASSERT_TRUE(n.rig.prog->OnClose());
  n.rig.ui.DestroyAll();
  EXPECT_EQ(n.rig.S().hCnlWnd, nullptr);
  EXPECT_EQ(n.rig.S().hLspis, nullptr);
  EXPECT_FALSE(n.rig.S().flist(0));

  SoloProgramRig s;
  ASSERT_EQ(s.prog.State().flist[0], 1);
  ASSERT_TRUE(s.prog.OnClose());
  s.ui.DestroyAll();
  EXPECT_EQ(s.prog.State().flist[0], 0);
}

}  // namespace
}  // namespace kvl::test
