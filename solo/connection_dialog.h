// The modal dialog "Установление связи с регулятором": opens and closes the
// port, finds and identifies the regulator, shows its state, changes its
// network address and exchange speed, switches mode memorising and saves the
// port and address to "KVL.dfg".
#pragma once

#include <string>

#include "solo/solo_config.h"
#include "solo/solo_state.h"
#include "view/view.h"

namespace kvl::solo {

class ConnectionDialog : public DialogLogic {
 public:
  explicit ConnectionDialog(SoloContext& c, std::string configPath = kSoloConfigFile)
      : c_(c), configPath_(std::move(configPath)) {}

  void OnInit(Dialog& d) override;
  void OnCommand(Dialog& d, int id, int code) override;
  void OnClose(Dialog& d) override { d.End(kIdCancel); }

 private:
  void Init(Dialog& d);
  void Command(Dialog& d, int id, int code);
  void ChoosePort(Dialog& d);
  void OpenPort(Dialog& d);
  void ClosePort(Dialog& d);
  // The port is closed (or has just gone away): radios and state line say so.
  void MarkClosed(Dialog& d);
  void Connect(Dialog& d);
  void ChangeAddress(Dialog& d);
  void ChangeSpeed(Dialog& d);
  void Memorising(Dialog& d, int id);
  void Save(Dialog& d);
  // After a successful identify: texts, flags and radios.
  void ShowState(Dialog& d);
  // Failed identify: the connection texts say "not established".
  void ShowNotConnected(Dialog& d);
  // Port open and regulator connected, else the matching message; true to go on.
  bool PortOpen();
  bool ConnectedOrTell(Dialog& d);
  // "Порт закрыт" when a command needs the closed port.
  void PortClosedBox(Dialog& d);
  // A message owned by the dialog; left out once the command has met a lost
  // port, which the program tells once.
  void Tell(Dialog& d, const std::string& text, const std::string& caption,
            MsgIcon icon = MsgIcon::kNone);

  SoloContext& c_;
  std::string configPath_;
};

}  // namespace kvl::solo
