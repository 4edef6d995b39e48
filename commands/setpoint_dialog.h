// The setpoint dialog (template 108, "Задание расхода"): gives the regulator of
// the channel it was opened for a digital setpoint in per cent of full scale,
// from a list of presets (sent on selection) or from a free entry field (sent
// with "Ввести"). Every value sent also switches the device to digital input.
#pragma once

#include <string>

#include "commands/setpoint_value.h"
#include "network/net_program.h"

namespace kvl {

class SetpointDialog : public DialogLogic {
 public:
  explicit SetpointDialog(NetContext& c) : c_(c) {}
  void OnInit(Dialog& d) override;
  void OnCommand(Dialog& d, int id, int code) override;
  void OnClose(Dialog& d) override;
  void OnDestroy(Dialog& d) override;

  int Channel() const { return channel_; }

 private:
  void Command(Dialog& d, int id, int code);
  void Send(Dialog& d, long long raw, bool preset);
  void Close(Dialog& d);

  NetContext c_;
  int channel_ = 0;  // the channel shown in 1211; every value goes to it
  int nScaleIndex = -1;
  bool closed_ = false;
};

// Creates the modeless dialog for the active channel; nullptr when it cannot be
// created. The logic stays alive as long as the dialog may call it.
Dialog* OpenSetpointDialog(NetContext& c);

}  // namespace kvl
