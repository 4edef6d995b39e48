// A network program driven as an operator would, through the fake view, with
// the POSIX link on the simulator's pty: forming the network, polling, a device
// that falls silent and comes back, late answers, both protocols.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "logic/net_fixture.h"
#include "network/monitor_window.h"
#include "support/regsim_process.h"
#include "serial/posix_link.h"
#include "setup/network_dialog.h"

namespace kvl::test {
namespace {

std::array<std::string, kPortCount> FirstPort(const std::string& path) {
  std::array<std::string, kPortCount> a;
  a[0] = path;
  return a;
}

const std::vector<std::string> kThree = {
    "--dev", "addr=5,kind=flow,format=7,serial=12345,setpoint=50,flow=50,regulate",
    "--dev", "addr=17,kind=pressure,format=7,serial=222,setpoint=20,flow=20,regulate",
    "--dev", "addr=30,kind=flow,format=7,serial=3333,setpoint=0,flow=0"};

// The simulator (three regulators unless told otherwise), and a program whose
// file knows them.
struct SimNet {
  SimNet(const Variant& v, const std::vector<int>& addrs,
         const std::vector<std::string>& simArgs = kThree)
      : sim(KVL_REGSIM, simArgs), link(FirstPort(sim.path())), prog(v, link, ui), variant(v) {
    prog.State().configPath = dir.File("KVL.icx");
    ChannelTable t(v);
    for (size_t k = 0; k < addrs.size(); ++k) t.Data[k].net = addrs[k];
    EXPECT_TRUE(SaveConfiguration(t, 0, prog.State().configPath).empty());
    EXPECT_TRUE(prog.OnCreate());
  }
  ~SimNet() {
    ui.answers = {kIdOk};
    prog.OnClose();  // closes the port before the simulator goes
  }

  // Runs the network formation dialog: open the port, check every channel, OK.
  void FormNetwork() {
    ui.onModal = [](FakeDialog& d, DialogLogic& l) {
      d.SetCheck(IDX_PORT_OPEN, true);
      l.OnCommand(d, IDX_PORT_OPEN, 0);
      l.OnCommand(d, IDX_NET_CHECK, 0);
      l.OnCommand(d, kIdOk, 0);
    };
    prog.OnCommand(40082, 0);
    ui.onModal = nullptr;
  }

  FakeDialog& Network() { return *ui.dialogs.at(0); }
  FakeDialog& Monitor() { return *ui.dialogs.back(); }

  // Polls every 100 ms until done() holds; false after about 15 s.
  bool PollUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 150; ++i) {
      prog.OnTimer(kTimerPoll);
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }
  std::string Cell(int ch, int MonitorRow::*which) {
    const auto& texts = Monitor().texts;
    auto it = texts.find(MonitorRowOf(variant, ch).*which);
    return it == texts.end() ? "" : it->second;
  }
  double OutputPercent(int ch) { return std::atof(Cell(ch, &MonitorRow::output).c_str()); }

  TempDir dir;
  RegsimProcess sim;
  PosixLink link;
  FakeServices ui;
  NetProgram prog;
  const Variant& variant;
};

class NetOnRegsim : public testing::TestWithParam<const Variant*> {};

TEST_P(NetOnRegsim, FormTheNetworkThenWatchItFollowTheDevices) {
  SimNet n(*GetParam(), {5, 17, 30});
  n.FormNetwork();
  const ChannelTable& t = n.prog.State().table;
  EXPECT_EQ(t.Data[0].svjac, 1);
  EXPECT_EQ(t.Data[1].svjac, 1);
  EXPECT_EQ(t.Data[2].svjac, 1);
  for (int k = 3; k < t.Channels(); ++k) EXPECT_EQ(t.Data[k].svjac, 0) << k;  // address 0
  EXPECT_EQ(t.Data[0].n_ofqx, 12345u);
  EXPECT_EQ(t.Data[1].pres, 1);
  FakeDialog& net = n.Network();
  EXPECT_EQ(net.texts.at(ChannelLineId(*GetParam(), 1)).rfind("Кан.1.ВПЗ №222 Сет.№17 ", 0), 0u);
  EXPECT_EQ(net.texts.at(ChannelLineId(*GetParam(), 3)), "Кан.3. Связь не установлена Сет.№0");
  ASSERT_EQ(n.ui.menuInserted.size(), 1u);
  EXPECT_EQ(t.cnl2, 0);
  EXPECT_TRUE(n.ui.Enabled(40017));

  n.prog.OnCommand(IDC_SHOW_MONITOR, 0);
  ASSERT_TRUE(n.ui.TimerRunning(kTimerPoll));
  EXPECT_EQ(n.Monitor().texts.at(IDX_MON_SERIAL), "№12345,");
  ASSERT_TRUE(n.PollUntil([&] { return n.Cell(0, &MonitorRow::setpoint) == "50.0"; }));
  EXPECT_EQ(n.Cell(1, &MonitorRow::setpoint), "20.0");
  EXPECT_NEAR(n.OutputPercent(1), 20.0, 2.0);

  // The operator changes a setpoint on the device: the window follows, and the
  // regulated flow comes after it.
  EXPECT_EQ(n.sim.Control("set 5 setpoint=25").rfind("OK", 0), 0u);
  ASSERT_TRUE(n.PollUntil([&] {
    return n.Cell(0, &MonitorRow::setpoint) == "25.0" && std::abs(n.OutputPercent(0) - 25.0) < 2.0;
  })) << n.Cell(0, &MonitorRow::output);
  EXPECT_EQ(n.prog.State().table.Mem[0].despns2, 2500u);
  EXPECT_TRUE(n.ui.messages.empty());
}

TEST_P(NetOnRegsim, DeviceThatFallsSilentStaysLinkedAndIsShownSo) {
  SimNet n(*GetParam(), {5, 17});
  n.FormNetwork();
  n.prog.OnCommand(IDC_SHOW_MONITOR, 0);
  ASSERT_TRUE(n.PollUntil([&] { return n.Cell(1, &MonitorRow::setpoint) == "20.0"; }));

  ASSERT_EQ(n.sim.Control("set 17 silent=1").rfind("OK", 0), 0u);
  n.prog.OnTimer(kTimerPoll);
  const bool net9 = GetParam() == &kNet9;
  EXPECT_EQ(n.Cell(1, net9 ? &MonitorRow::output : &MonitorRow::deviation),
            net9 ? "нет связи" : "Нет связи");
  EXPECT_EQ(n.Cell(1, &MonitorRow::setpoint), "20.0");
  EXPECT_EQ(n.prog.State().table.Data[1].svjac, 1);
  const auto& log = n.prog.State().log.Lines();
  EXPECT_NE(std::find(log.begin(), log.end(), "TimeOut4"), log.end());
  // The other channel is still polled in the same cycle.
  EXPECT_EQ(n.Cell(0, &MonitorRow::setpoint), "50.0");

  ASSERT_EQ(n.sim.Control("set 17 silent=0,setpoint=30").rfind("OK", 0), 0u);
  ASSERT_TRUE(n.PollUntil([&] { return n.Cell(1, &MonitorRow::setpoint) == "30.0"; }));
  EXPECT_NE(n.Cell(1, &MonitorRow::output), "нет связи");
  EXPECT_TRUE(n.ui.messages.empty());
}

TEST_P(NetOnRegsim, ModbusPollingAndRegistration) {
  SimNet n(*GetParam(), {});
  SelectModbus(n.prog.State().rq);
  n.ui.onModal = [](FakeDialog& d, DialogLogic& l) {
    d.SetCheck(IDX_PORT_OPEN, true);
    l.OnCommand(d, IDX_PORT_OPEN, 0);
    d.SetText(IDX_NET_ADDRESS, "30");
    l.OnCommand(d, IDX_NET_REGISTER, 0);
    d.ListSelect(IDX_NET_CHANNEL_LIST, 1);
    l.OnCommand(d, IDX_NET_CHANNEL_LIST, 1);
    d.SetText(IDX_NET_ADDRESS, "99");  // nobody there
    l.OnCommand(d, IDX_NET_REGISTER, 0);
    l.OnCommand(d, kIdOk, 0);
  };
  n.prog.OnCommand(40082, 0);
  const ChannelTable& t = n.prog.State().table;
  EXPECT_EQ(t.Data[0].svjac, 1);
  EXPECT_EQ(t.Data[0].n_ofqx, 3333u);
  EXPECT_EQ(t.Data[1].svjac, 0);
  EXPECT_EQ(t.Data[1].net, 99);
  EXPECT_EQ(n.Network().texts.at(IDX_NET_RESULT), "Не установлена");

  ASSERT_EQ(n.sim.Control("set 30 setpoint=75.5,regulate=1").rfind("OK", 0), 0u);
  n.prog.OnCommand(IDC_SHOW_MONITOR, 0);
  ASSERT_TRUE(n.PollUntil([&] { return n.Cell(0, &MonitorRow::setpoint) == "75.5"; }));
  EXPECT_EQ(n.prog.State().log.Lines().back().rfind("L=:9Modbus", 0), 0u);
}

// Every device answers 250 ms after a request, later than one 200 ms attempt;
// device 17 then falls silent. Device 5's answers to the repeated requests
// arrive while 17 is asked: they must never show under 17's channel.
TEST_P(NetOnRegsim, LateAnswersNeverShowUnderTheWrongChannel) {
  SimNet n(*GetParam(), {},
           {"--turnaround-ms", "250", "--dev", "addr=5,setpoint=50,flow=50", "--dev",
            "addr=17,setpoint=20,flow=20"});
  for (bool modbus : {false, true}) {
    SCOPED_TRACE(modbus ? "Modbus" : "Кормаст-10м");
    if (modbus) SelectModbus(n.prog.State().rq);
    ASSERT_EQ(n.sim.Control("set 17 silent=0").rfind("OK", 0), 0u);
    n.ui.onModal = [](FakeDialog& d, DialogLogic& l) {
      d.SetCheck(IDX_PORT_OPEN, true);
      l.OnCommand(d, IDX_PORT_OPEN, 0);
      for (int ch : {0, 1}) {
        d.ListSelect(IDX_NET_CHANNEL_LIST, ch);
        l.OnCommand(d, IDX_NET_CHANNEL_LIST, 1);
        d.SetText(IDX_NET_ADDRESS, ch == 0 ? "5" : "17");
        l.OnCommand(d, IDX_NET_REGISTER, 0);
      }
      l.OnCommand(d, kIdOk, 0);
    };
    n.prog.OnCommand(40082, 0);
    n.ui.onModal = nullptr;
    ChannelTable& t = n.prog.State().table;
    ASSERT_EQ(t.Data[0].svjac, 1) << "a late answer to an earlier attempt counts";
    ASSERT_EQ(t.Data[1].svjac, 1);
    EXPECT_EQ(t.Data[1].n_ofqx, 1017u) << "17's own serial number, not 5's";

    ASSERT_EQ(n.sim.Control("set 17 silent=1").rfind("OK", 0), 0u);
    n.prog.OnCommand(IDC_SHOW_MONITOR, 0);
    for (int tick = 0; tick < 2; ++tick) n.prog.OnTimer(kTimerPoll);
    EXPECT_EQ(n.Cell(0, &MonitorRow::setpoint), "50.0");
    EXPECT_EQ(t.Mem[1].despns2, 0u) << "no value of device 5 under channel 1";
    EXPECT_EQ(n.Cell(1, &MonitorRow::setpoint), "");
    const bool net9 = GetParam() == &kNet9;
    EXPECT_EQ(n.Cell(1, net9 ? &MonitorRow::output : &MonitorRow::deviation),
              net9 ? "нет связи" : "Нет связи");
    n.Monitor().logic->OnCommand(n.Monitor(), kIdOk, 0);  // closed for the next round
  }
  EXPECT_TRUE(n.ui.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Variants, NetOnRegsim, testing::Values(&kNet9, &kNet5), VariantName);

}  // namespace
}  // namespace kvl::test
