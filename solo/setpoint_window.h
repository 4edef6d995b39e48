// The modeless window "Выбор расхода": sends a setpoint chosen from the presets
// or typed in per cent, which also puts the regulator on the digital input.
// One window per port at a time (flist).
#pragma once

#include "solo/solo_state.h"
#include "view/view.h"

namespace kvl::solo {

constexpr int kPresets[] = {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100};

class SetpointWindow : public DialogLogic {
 public:
  explicit SetpointWindow(SoloContext& c) : c_(c) {}

  // The port the window was opened for; its flist entry is cleared on closing.
  void SetPort(int port) { port_ = port; }

  void OnInit(Dialog& d) override;
  void OnCommand(Dialog& d, int id, int code) override;
  void OnClose(Dialog& d) override { Close(d); }
  void OnDestroy(Dialog& d) override;

 private:
  void Preset(Dialog& d);
  void Typed(Dialog& d);
  // Sends the setpoint in device units; true when the regulator answered.
  bool Send(Dialog& d, uint16_t units);
  void Close(Dialog& d);

  SoloContext& c_;
  int port_ = 0;
};

}  // namespace kvl::solo
