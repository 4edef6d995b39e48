// The device commands, the setpoint dialog and the regulator setup dialog of a
// network program, through the POSIX link on the simulator's pty. Each request
// is checked as the device saw it (the simulator's trace), together with what
// the device did and what the program's table and windows show, in both
// protocols.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>

#include "commands/setpoint_dialog.h"
#include "network/config_file.h"
#include "network/net_program.h"
#include "protocol/frame.h"
#include "serial/posix_link.h"
#include "setup/regulator_dialog.h"
#include "support/fake_view.h"
#include "support/regsim_process.h"
#include "support/temp_dir.h"

namespace kvl::test {
namespace {

using Bytes = std::vector<uint8_t>;

// Requests the simulator received, from its trace ("<ms> RX K|M <hex bytes>").
class Trace {
 public:
  explicit Trace(std::string path) : path_(std::move(path)) {}

  std::vector<Bytes> Requests() const {
    std::vector<Bytes> out;
    std::ifstream in(path_);
    std::string line;
    while (std::getline(in, line)) {
      std::istringstream s(line);
      std::string ms, dir, proto;
      if (!(s >> ms >> dir >> proto) || dir != "RX" || (proto != "K" && proto != "M")) continue;
      Bytes b;
      std::string hex;
      while (s >> hex) b.push_back(static_cast<uint8_t>(std::stoul(hex, nullptr, 16)));
      out.push_back(b);
    }
    return out;
  }
  // Requests received since the last call.
  std::vector<Bytes> New() {
    std::vector<Bytes> all = Requests();
    std::vector<Bytes> fresh(all.begin() + static_cast<long>(std::min(seen_, all.size())),
                             all.end());
    seen_ = all.size();
    return fresh;
  }

 private:
  std::string path_;
  size_t seen_ = 0;
};

Bytes ModbusFrame(Bytes b) {
  const uint16_t crc = Crc16(b.data(), b.size());
  b.push_back(static_cast<uint8_t>(crc & 0xFF));
  b.push_back(static_cast<uint8_t>(crc >> 8));
  return b;
}

// A maker's frame as the device must see it: ten bytes, the named bytes, the sum.
void ExpectKormast(const Bytes& f, std::initializer_list<std::pair<int, int>> named) {
  ASSERT_EQ(f.size(), 10u);
  for (auto [i, v] : named) EXPECT_EQ(f[i], v) << "byte " << i;
  EXPECT_EQ(Sum16(f.data(), 8), (f[8] << 8) | f[9]);
}

struct Bench {
  explicit Bench(bool modbus)
      : tracePath(dir.File("regsim.trace")),
        sim(KVL_REGSIM, {"--dev", "addr=5,kind=flow,format=7,serial=12345,setpoint=0",
                         "--strict-speed", "--trace", tracePath}),
        link(Ports(sim.path())),
        prog(kNet9, link, ui),
        trace(tracePath),
        modbus(modbus) {
    prog.State().configPath = dir.File("KVL.icx");
    ChannelTable t(kNet9);
    t.Data[0].net = 5;
    EXPECT_TRUE(SaveConfiguration(t, 0, prog.State().configPath).empty());
    EXPECT_TRUE(prog.OnCreate());
    if (modbus) prog.OnCommand(40084, 0);
  }
  ~Bench() {
    ui.answers = {kIdOk};
    prog.OnClose();
  }
  static std::array<std::string, kPortCount> Ports(const std::string& p) {
    std::array<std::string, kPortCount> a;
    a[0] = p;
    return a;
  }

  // Runs the regulator setup dialog from the menu; step operates it.
  void Setup(const std::function<void(FakeDialog&, DialogLogic&)>& step) {
    ui.onModal = [&](FakeDialog& d, DialogLogic& l) {
      step(d, l);
      l.OnCommand(d, kIdOk, 0);
    };
    prog.OnCommand(40048, 0);
    ui.onModal = nullptr;
  }
  // Opens the port and links channel 0 at addr.
  void LinkAt(int addr) {
    Setup([&](FakeDialog& d, DialogLogic& l) {
      if (!d.GetCheck(IDX_PORT_OPEN)) {
        d.SetCheck(IDX_PORT_OPEN, true);
        l.OnCommand(d, IDX_PORT_OPEN, 0);
      }
      d.SetText(IDX_SETUP_NET, std::to_string(addr));
      l.OnCommand(d, IDX_SETUP_NET, kEnChange);
      l.OnCommand(d, IDX_SETUP_LINK, 0);
    });
  }
  std::string Get(const std::string& key, int addr = 5) { return sim.Get(addr, key); }
  tagData& Ch0() { return prog.State().table.Data[0]; }
  FakeDialog& Last() { return *ui.dialogs.back(); }

  TempDir dir;
  std::string tracePath;
  RegsimProcess sim;
  PosixLink link;
  FakeServices ui;
  NetProgram prog;
  Trace trace;
  bool modbus;
};

class Net2OnRegsim : public testing::TestWithParam<bool> {
 protected:
  Bench b{GetParam()};
  bool Modbus() const { return GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(Protocols, Net2OnRegsim, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& i) {
                           return i.param ? "Modbus" : "Kormast";
                         });

TEST_P(Net2OnRegsim, LinkThroughTheSetupDialog) {
  b.LinkAt(5);
  EXPECT_EQ(b.Ch0().svjac, 1);
  EXPECT_EQ(b.Ch0().n_ofqx, 12345u);
  FakeDialog& d = b.Last();
  EXPECT_EQ(d.texts[IDX_SETUP_LINK_STATE], "Установлена");
  EXPECT_EQ(d.texts[IDX_SETUP_SERIAL], "12345");
  const std::vector<Bytes> rx = b.trace.New();
  if (Modbus()) {
    ASSERT_EQ(rx.size(), 1u);
    EXPECT_EQ(rx[0], ModbusFrame({5, 3, 0, 1, 0, 3}));
    EXPECT_EQ(d.texts.count(IDX_SETUP_FIRMWARE), 0u);
  } else {
    ASSERT_EQ(rx.size(), 2u);
    ExpectKormast(rx[0], {{0, 1}, {7, 5}});
    ExpectKormast(rx[1], {{0, 34}, {1, 0x24}, {7, 5}});
    EXPECT_EQ(d.texts[IDX_SETUP_FIRMWARE], "Дата прошивки: 12-5-15-3");
    EXPECT_EQ(b.Ch0().day, 12u);
    EXPECT_EQ(b.Ch0().your, 15u);
  }
  // OK put the monitor item in the menu bar and stored the file.
  EXPECT_EQ(b.ui.menuInserted.size(), 1u);
  EXPECT_TRUE(b.ui.Enabled(40017));
  EXPECT_TRUE(b.ui.messages.empty()) << b.ui.messages[0].text;
}

TEST_P(Net2OnRegsim, ValveCommands) {
  b.LinkAt(5);
  b.prog.OnCommand(836, 0);  // the monitor window
  FakeDialog& mon = b.Last();
  b.trace.New();

  b.prog.OnCommand(40017, 0);
  EXPECT_EQ(b.Get("valve"), "open");
  b.prog.OnCommand(40018, 0);
  EXPECT_EQ(b.Get("valve"), "closed");
  const Satvor& v = b.prog.State().table.Satv[0];
  if (!Modbus()) {
    EXPECT_EQ(v.fsatoff, 1);
    EXPECT_EQ(v.fsaton, 0);
    EXPECT_EQ(mon.texts[1266], "Затвор: закрыт. Прог.");
  }
  b.prog.OnCommand(40076, 0);
  EXPECT_EQ(b.Get("valve"), "regulate");

  const std::vector<Bytes> rx = b.trace.New();
  ASSERT_EQ(rx.size(), 3u);
  const uint8_t actions[] = {1, 2, 0};
  for (int i = 0; i < 3; ++i) {
    if (Modbus())
      EXPECT_EQ(rx[i], ModbusFrame({5, 0x0F, 0, 2, 0, 2, 1, actions[i]}));
    else
      ExpectKormast(rx[i], {{0, 32}, {2, actions[i]}, {7, 5}});
  }
  if (!Modbus()) {
    EXPECT_EQ(mon.texts[1266], "Затвор: регулир.");
  }
  EXPECT_TRUE(b.ui.messages.empty());

  // A valve held by the external signal is reported to the operator.
  ASSERT_EQ(b.sim.Control("set 5 ext=open").rfind("OK", 0), 0u);
  b.prog.OnCommand(40018, 0);
  if (Modbus()) {
    // The device refuses the coil write with an exception answer.
    EXPECT_EQ(b.ui.Texts(), std::vector<std::string>{"Нет связи"});
  } else {
    EXPECT_EQ(v.fp15, 1);
    EXPECT_EQ(mon.texts[1266], "Затвор: открыт. Внешн.");
    EXPECT_EQ(b.ui.Texts(), std::vector<std::string>{"Выключите внешнее управление затвором"});
  }
}

TEST_P(Net2OnRegsim, ZeroSetting) {
  b.LinkAt(5);
  b.trace.New();
  b.ui.answers = {kIdYes};
  b.prog.OnCommand(40035, 0);
  EXPECT_EQ(b.Get("zero_count"), "1");
  const std::vector<Bytes> rx = b.trace.New();
  ASSERT_EQ(rx.size(), 1u);
  if (Modbus())
    EXPECT_EQ(rx[0], ModbusFrame({5, 0x0F, 0, 6, 0, 1, 1, 1}));
  else
    ExpectKormast(rx[0], {{0, 35}, {1, 0x1C}, {3, 0x1C}, {7, 5}});
  ASSERT_EQ(b.ui.messages.size(), 2u);
  EXPECT_EQ(b.ui.messages[1].text, "Установка нуля в кан.№ 0 завершена");
  // "No" sends nothing.
  b.ui.answers = {kIdNo};
  b.prog.OnCommand(40035, 0);
  EXPECT_TRUE(b.trace.New().empty());
  EXPECT_EQ(b.Get("zero_count"), "1");
}

TEST_P(Net2OnRegsim, SetpointByPresetAndFreeEntry) {
  b.LinkAt(5);
  b.prog.OnCommand(836, 0);
  FakeDialog& mon = b.Last();
  ASSERT_EQ(b.sim.Control("set 5 digital=0").rfind("OK", 0), 0u);
  b.prog.OnCommand(40037, 0);  // analogue input first
  EXPECT_EQ(b.Get("digital"), "0");
  EXPECT_EQ(mon.texts[1267], "Вход:анал.");
  b.trace.New();

  b.prog.OnCommand(40062, 0);
  FakeDialog& d = b.Last();
  ASSERT_EQ(d.templateId, 108);
  SetpointDialog logic(b.prog.Context());
  logic.OnInit(d);
  d.ListSelect(IDX_SETPOINT_PRESETS, 5);
  logic.OnCommand(d, IDX_SETPOINT_PRESETS, 1);
  EXPECT_EQ(b.Get("setpoint"), "50.00");
  EXPECT_EQ(b.Get("digital"), "1");
  EXPECT_EQ(d.texts[IDX_SETPOINT_EDIT], "50.0");
  EXPECT_EQ(mon.texts[1267], "Вход:цифр.");
  EXPECT_EQ(b.Ch0().zifra, 1);
  std::vector<Bytes> rx = b.trace.New();
  if (Modbus()) {
    ASSERT_EQ(rx.size(), 2u);
    EXPECT_EQ(rx[0], ModbusFrame({5, 0x0F, 0, 1, 0, 1, 1, 1}));
    EXPECT_EQ(rx[1], ModbusFrame({5, 0x06, 0, 4, 0x13, 0x88}));
  } else {
    ASSERT_EQ(rx.size(), 1u);
    ExpectKormast(rx[0], {{0, 37}, {1, 0}, {2, 0x13}, {3, 0x88}, {7, 5}});
  }

  d.SetText(IDX_SETPOINT_EDIT, "12.125");
  logic.OnCommand(d, IDX_SETPOINT_SEND, 0);
  EXPECT_EQ(b.Get("setpoint"), "12.12");
  rx = b.trace.New();
  ASSERT_EQ(rx.size(), Modbus() ? 2u : 1u);
  if (Modbus())
    EXPECT_EQ(rx[1], ModbusFrame({5, 0x06, 0, 4, 0x04, 0xBC}));
  else
    ExpectKormast(rx[0], {{0, 37}, {1, 0}, {2, 0x04}, {3, 0xBC}, {7, 5}});

  // A value out of range reaches nobody.
  d.SetText(IDX_SETPOINT_EDIT, "655.36");
  logic.OnCommand(d, IDX_SETPOINT_SEND, 0);
  EXPECT_TRUE(b.trace.New().empty());
  EXPECT_EQ(b.Get("setpoint"), "12.12");
  EXPECT_EQ(b.ui.Texts(), std::vector<std::string>{"Задание вне допустимого диапазона(0-655.35%)"});
}

TEST_P(Net2OnRegsim, SpeedTo38400AndBack) {
  b.LinkAt(5);
  b.trace.New();
  b.Setup([&](FakeDialog& d, DialogLogic& l) {
    d.ListSelect(IDX_SETUP_SPEED_LIST, 2);
    l.OnCommand(d, IDX_SETUP_SPEED_LIST, 1);
    EXPECT_EQ(d.texts[IDX_SETUP_CHANNEL], "2:38400");
    // Both sides now talk at 38400.
    l.OnCommand(d, IDX_SETUP_LINK, 0);
    EXPECT_EQ(d.texts[IDX_SETUP_LINK_STATE], "Установлена");
  });
  EXPECT_EQ(b.Get("speed"), "38400");
  EXPECT_EQ(b.prog.State().nUartIndex, 2);
  // Identify on opening, the speed change, identify at the new speed.
  std::vector<Bytes> rx = b.trace.New();
  ASSERT_GE(rx.size(), 3u);
  if (Modbus()) {
    EXPECT_EQ(rx[1], ModbusFrame({5, 0x06, 0, 6, 0, 1}));
    EXPECT_EQ(rx[2], ModbusFrame({5, 3, 0, 1, 0, 3}));
  } else {
    ExpectKormast(rx[1], {{0, 22}, {2, 1}, {7, 5}});
    ExpectKormast(rx[2], {{0, 1}, {7, 5}});
  }

  b.Setup([&](FakeDialog& d, DialogLogic& l) {
    d.ListSelect(IDX_SETUP_SPEED_LIST, 1);
    l.OnCommand(d, IDX_SETUP_SPEED_LIST, 1);
    EXPECT_EQ(d.texts[IDX_SETUP_CHANNEL], "1:19200");
  });
  EXPECT_EQ(b.Get("speed"), "19200");
  rx = b.trace.New();
  ASSERT_FALSE(rx.empty());
  if (Modbus())
    EXPECT_EQ(rx.back(), ModbusFrame({5, 0x06, 0, 6, 0, 0x0F}));
  else
    ExpectKormast(rx.back(), {{0, 22}, {2, 15}, {7, 5}});
  EXPECT_EQ(b.Ch0().svjac, 1);
  EXPECT_TRUE(b.ui.messages.empty()) << b.ui.messages[0].text;
}

TEST_P(Net2OnRegsim, UnconfirmedSpeedChangeLeavesTheSidesApart) {
  b.LinkAt(5);
  b.Setup([&](FakeDialog& d, DialogLogic& l) {
    ASSERT_EQ(b.sim.Control("set 5 silent=1").rfind("OK", 0), 0u);
    d.ListSelect(IDX_SETUP_SPEED_LIST, 2);
    l.OnCommand(d, IDX_SETUP_SPEED_LIST, 1);
  });
  EXPECT_EQ(b.ui.Texts().back(), "No \xD1\x81hange speed in KVL");
  EXPECT_EQ(b.prog.State().nUartIndex, 2);
  ASSERT_EQ(b.sim.Control("set 5 silent=0").rfind("OK", 0), 0u);
  EXPECT_EQ(b.Get("speed"), "19200");
  // The computer went to 38400 anyway: the device is out of reach until the
  // operator brings the computer back to the device's speed.
  b.ui.messages.clear();
  b.Setup([&](FakeDialog& d, DialogLogic& l) {
    EXPECT_EQ(b.ui.Texts(), std::vector<std::string>{"Уточните номер канала"});
    l.OnCommand(d, IDX_SETUP_LINK, 0);
    EXPECT_EQ(d.texts[IDX_SETUP_LINK_STATE], "Не установлена");
    ASSERT_TRUE(b.link.SetSpeed(0, 1));
    l.OnCommand(d, IDX_SETUP_LINK, 0);
    EXPECT_EQ(d.texts[IDX_SETUP_LINK_STATE], "Установлена");
  });
}

TEST_P(Net2OnRegsim, AddressChangeAndBack) {
  b.LinkAt(5);
  b.trace.New();
  b.Setup([&](FakeDialog& d, DialogLogic& l) {
    d.SetText(IDX_SETUP_NEWNET, "17");
    l.OnCommand(d, IDX_SETUP_CHANGE, 0);
    EXPECT_EQ(d.texts[IDX_SETUP_NET], "17");
    l.OnCommand(d, IDX_SETUP_LINK, 0);
    EXPECT_EQ(d.texts[IDX_SETUP_LINK_STATE], "Установлена");
  });
  EXPECT_EQ(b.Ch0().net, 17);
  EXPECT_EQ(b.Get("addr", 17), "17");
  std::vector<Bytes> rx = b.trace.New();
  ASSERT_GE(rx.size(), 2u);
  if (Modbus())
    EXPECT_EQ(rx[1], ModbusFrame({5, 0x06, 0, 0, 0, 17}));
  else
    ExpectKormast(rx[1], {{0, 27}, {2, 17}, {7, 5}});

  b.Setup([&](FakeDialog& d, DialogLogic& l) {
    d.SetText(IDX_SETUP_NEWNET, "5");
    l.OnCommand(d, IDX_SETUP_CHANGE, 0);
  });
  EXPECT_EQ(b.Ch0().net, 5);
  EXPECT_EQ(b.Get("addr"), "5");
  rx = b.trace.New();
  ASSERT_FALSE(rx.empty());
  if (Modbus())
    EXPECT_EQ(rx.back(), ModbusFrame({17, 0x06, 0, 0, 0, 5}));
  else
    ExpectKormast(rx.back(), {{0, 27}, {2, 5}, {7, 17}});

  // The stored configuration knows the address.
  ChannelTable t(kNet9);
  LoadConfiguration(t, b.prog.State().configPath);
  EXPECT_EQ(t.Data[0].net, 5);
}

TEST_P(Net2OnRegsim, QueryFindsTheAddress) {
  b.Setup([&](FakeDialog& d, DialogLogic& l) {
    d.SetCheck(IDX_PORT_OPEN, true);
    l.OnCommand(d, IDX_PORT_OPEN, 0);
    l.OnCommand(d, IDX_SETUP_QUERY, 0);
    EXPECT_EQ(d.texts[IDX_SETUP_NET], "5");
    EXPECT_EQ(d.texts[IDX_SETUP_SERIAL], "12345");
  });
  EXPECT_EQ(b.Ch0().net, 5);
  const std::vector<Bytes> rx = b.trace.New();
  ASSERT_EQ(rx.size(), 1u);
  if (Modbus())
    EXPECT_EQ(rx[0], ModbusFrame({0, 3, 0, 0, 0, 2}));
  else
    ExpectKormast(rx[0], {{0, 2}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}});
}

}  // namespace
}  // namespace kvl::test
