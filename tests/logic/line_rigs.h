// The three programs side by side on the fake view and the fake line, set up
// as an operator leaves them before a command: port open, regulators linked,
// polling running, the monitor (network programs) or the setpoint window
// (regsolo) open. A rig can spoil the line (every write fails, or every read)
// and does, from inside a message box, what the box's modal loop lets through:
// a poll tick, a menu command, a click in another window, the close box.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "commands/setpoint_dialog.h"
#include "logic/net_fixture.h"
#include "logic/solo_fixture.h"
#include "network/monitor_window.h"
#include "solo/connection_dialog.h"
#include "solo/setpoint_window.h"
#include "solo/solo_program.h"

namespace kvl::test {

enum class Fault { kWrite, kRead };

class ProgramRig {
 public:
  virtual ~ProgramRig() = default;
  virtual RigServices& Ui() = 0;
  virtual FakeLink& Link() = 0;
  virtual ProgramLine& Line() = 0;
  virtual MainLogic& Main() = 0;
  // A click in a window other than the main one: a channel change in the
  // monitor, a preset in regsolo's setpoint window.
  virtual void ClickElsewhere() = 0;
  // A menu command that talks to the regulator.
  virtual int DeviceMenuCommand() const = 0;

  // From now on nothing answers, and every write fails (completes with line
  // errors) or every read fails.
  void Spoil(Fault f) {
    Link().SetResponder(nullptr);
    if (f == Fault::kWrite)
      Link().writeScript.assign(1000, {WriteStatus::kCompletionError, 4});
    else
      Link().readErrors = 1000;
  }
  // What a message box's modal loop lets through while it is up.
  void WhileBoxUp() {
    Main().OnTimer(1);
    Main().OnCommand(DeviceMenuCommand(), 0);
    ClickElsewhere();
    if (Main().OnClose()) {  // the program would end under the box
      closedUnderBox = true;
      Ui().DestroyAll();
    }
  }
  // The adapter is pulled.
  void Lose() {
    sentAtLoss = Link().written.size();
    Link().LosePort(0);
  }
  bool closedUnderBox = false;
  size_t sentAtLoss = 0;
};

// regnet9 or regnet5: devices 5 and 6 on channels 0 and 1, the monitor open.
class NetProgramRig : public ProgramRig {
 public:
  NetProgramRig(const Variant& v, bool modbus) : rig(v) {
    rig.Start({5, 6});
    rig.OpenPort();
    rig.Link(0, 5);
    rig.Link(1, 6);
    rig.prog->Line().settings.attemptMs = 1;
    rig.prog->Line().settings.refusedPauseMs = 0;
    if (modbus) rig.prog->OnCommand(40084, 0);
    rig.prog->OnCommand(IDC_SHOW_MONITOR, 0);
    monitor = rig.ui.dialogs.back().get();
  }
  RigServices& Ui() override { return rig.ui; }
  FakeLink& Link() override { return rig.link; }
  ProgramLine& Line() override { return rig.prog->Line(); }
  MainLogic& Main() override { return *rig.prog; }
  int DeviceMenuCommand() const override { return 40017; }  // valve open
  void ClickElsewhere() override {
    if (monitor->destroyed) return;
    const int radio = MonitorRowOf(rig.variant, 1).radio;
    monitor->SetCheck(radio, true);
    monitor->logic->OnCommand(*monitor, radio, 0);
  }
  // Opens the setpoint dialog of channel 0.
  FakeDialog& Setpoint() {
    rig.prog->OnCommand(40062, 0);
    return *rig.ui.dialogs.back();
  }

  NetRig rig;
  FakeDialog* monitor = nullptr;
};

// regsolo: regulator 5 connected on COM1, polling, the setpoint window open.
class SoloProgramRig : public ProgramRig {
 public:
  SoloProgramRig() {
    prog.SetConfigPath((dir / "KVL.dfg").string());
    {
      const char cfg[2] = {0, 5};
      std::FILE* f = std::fopen((dir / "KVL.dfg").string().c_str(), "wb");
      if (f) {
        std::fwrite(cfg, 1, 2, f);
        std::fclose(f);
      }
    }
    link.SetResponder(reg.Responder());
    prog.Line().settings.attemptMs = 1;
    prog.Line().settings.refusedPauseMs = 0;
    prog.OnCreate();
    ui.onModal = [](FakeDialog& d, DialogLogic& l) {
      d.SetCheck(IDX_PORT_OPEN, true);
      l.OnCommand(d, IDX_PORT_OPEN, 0);
      d.SetText(IDX_SETUP_NET, "5");
      l.OnCommand(d, IDX_SETUP_LINK, 0);
    };
    prog.OnCommand(IDC_SETUP, 0);
    ui.onModal = nullptr;
    prog.OnCommand(IDC_SOLO_POLL_START, 0);
    prog.OnCommand(IDC_INPUT_DIGITAL, 0);
    setpoint = ui.dialogs.back().get();
  }
  RigServices& Ui() override { return ui; }
  FakeLink& Link() override { return link; }
  ProgramLine& Line() override { return prog.Line(); }
  MainLogic& Main() override { return prog; }
  int DeviceMenuCommand() const override { return IDC_KIND_FLOW; }
  void ClickElsewhere() override {
    if (setpoint->destroyed) return;
    setpoint->ListSelect(IDX_SETPOINT_PRESETS, 3);
    setpoint->logic->OnCommand(*setpoint, IDX_SETPOINT_PRESETS, 1);
  }

  TempDir tmp;
  const std::filesystem::path dir = tmp.path();
  RigServices ui;
  FakeLink link;
  FakeRegulator reg = SoloRegulator();
  solo::SoloProgram prog{link, ui};
  FakeDialog* setpoint = nullptr;
};

}  // namespace kvl::test
