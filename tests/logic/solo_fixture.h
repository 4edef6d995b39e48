// Fixture of regsolo's logic tests: the program on a fake link and fake view,
// a scripted regulator, and "KVL.dfg" in a directory of its own.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "serial/fake_link.h"
#include "solo/connection_dialog.h"
#include "solo/solo_program.h"
#include "support/fake_regulator.h"
#include "support/fake_view.h"
#include "support/temp_dir.h"

namespace kvl::test {

// The regulator regsolo's tests talk to: at address 5, regulating with its
// external signal and regulation permitted, a number of 4321 in the address
// report and 12345 in identify, a quarter of full scale set, half a per cent
// flowing, a zero offset of 700.
inline FakeRegulator SoloRegulator() {
  FakeRegulator r;
  r.status1 = 0x01;
  r.status6 = 0x42;
  r.getnetSerial = 4321;
  r.setpoint = 2500;
  r.flow = 0.50;
  r.offset = 700;
  return r;
}

// Fake services that also remember the logic of the last modeless window, so a
// test can operate the program's own window.
class SoloServices : public FakeServices {
 public:
  Dialog* CreateModeless(int templateId, DialogLogic& logic) override {
    modelessLogic = &logic;
    return FakeServices::CreateModeless(templateId, logic);
  }
  DialogLogic* modelessLogic = nullptr;
};

class SoloTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cfg = (dir / "KVL.dfg").string();
    prog.SetConfigPath(cfg);
    prog.Line().settings.attemptMs = 5;  // a silent regulator fails fast
    prog.Line().settings.refusedPauseMs = 0;
    link.SetResponder(reg.Responder());
  }
  void WriteConfig(const std::vector<uint8_t>& bytes) {
    std::ofstream f(cfg, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  }
  std::vector<uint8_t> ReadConfig() const {
    std::ifstream f(cfg, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
  }

  // Starts the program with "KVL.dfg" = (port, address).
  void Start(uint8_t port = 0, uint8_t address = 5) {
    WriteConfig({port, address});
    ASSERT_TRUE(prog.OnCreate());
    ASSERT_EQ(ui.quitPosts, 0);
  }

  // Operates the connection dialog: open the port, type the address, "Установить
  // связь", then OK (or Esc when save is false).
  void Connect(const std::string& typed = "5", bool save = true) {
    ui.onModal = [&](FakeDialog& d, DialogLogic& l) {
      d.SetCheck(IDX_PORT_OPEN, true);
      l.OnCommand(d, IDX_PORT_OPEN, 0);
      d.SetText(IDX_SETUP_NET, typed);
      l.OnCommand(d, IDX_SETUP_NET, kEnChange);
      l.OnCommand(d, IDX_SETUP_LINK, 0);
      l.OnCommand(d, save ? kIdOk : kIdCancel, 0);
    };
    prog.OnCommand(IDC_SETUP, 0);
    ui.onModal = nullptr;
  }

  // The modal dialog run last.
  FakeDialog& LastDialog() { return *ui.dialogs.back(); }

  bool Shown(const std::string& text) const {
    const auto t = ui.Texts();
    return std::find(t.begin(), t.end(), text) != t.end();
  }
  // Frames the link wrote since the mark.
  size_t Mark() const { return link.written.size(); }
  std::vector<FakeLink::Bytes> WrittenSince(size_t mark) const {
    std::vector<FakeLink::Bytes> out;
    for (size_t i = mark; i < link.written.size(); ++i) out.push_back(link.written[i].frame);
    return out;
  }

  TempDir tmp;
  const std::filesystem::path dir = tmp.path();
  std::string cfg;
  FakeLink link;
  SoloServices ui;
  FakeRegulator reg = SoloRegulator();
  solo::SoloProgram prog{link, ui};
};

}  // namespace kvl::test
