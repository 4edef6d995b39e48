// The regulator connection and setup dialog (template 114, "Установление связи
// и настройка регулятора по каналу 0"): serves one regulator on the bench or
// alone on the line. Opens and closes the current port, asks the single device
// for its address, links the active channel to a typed address, reads the
// firmware date (maker's protocol, regnet9), changes the device's address and
// exchange speed (device first, then the computer's port), switches the
// device's mode memorising, and saves the configuration on OK.
//
// Every command acts on the active channel (cnl2) as it stands when it runs.
#pragma once

#include <string>

#include "network/net_address.h"
#include "network/net_program.h"

namespace kvl {

class RegulatorDialog : public DialogLogic {
 public:
  explicit RegulatorDialog(NetContext& c) : c_(c) {}
  void OnInit(Dialog& d) override;
  void OnCommand(Dialog& d, int id, int code) override;
  void OnClose(Dialog& d) override;

 private:
  void Init(Dialog& d);
  void Command(Dialog& d, int id, int code);
  void NetEdited(Dialog& d);
  void ChoosePort(Dialog& d);
  void OpenPort(Dialog& d);
  void ClosePort(Dialog& d);
  void Query(Dialog& d);
  void Link(Dialog& d);
  void ReadFirmwareDate(Dialog& d);
  void ChangeSpeed(Dialog& d);
  void ChangeAddress(Dialog& d);
  void Memorising(Dialog& d, int id);
  void Ok(Dialog& d);

  // Shows the memorising state: -1 unknown (neither marked), 0 "Нет", 1 "Запомнить ".
  void ShowMemorising(Dialog& d, int state);
  // "Порт закрыт" when the current port is closed.
  bool PortOpenOrTold(Dialog& d);
  bool LinkedOrTold(Dialog& d);
  // Runs the request on the current port; true when the device answered.
  bool Exchange();
  // After a failed exchange: true when the port has gone away, which the
  // program tells once (the dialog's own failure message is left out).
  bool FailureShown() const;
  // The port is closed (it has gone away): radios and state line say so.
  void MarkClosed(Dialog& d);
  void WriteNet(Dialog& d, const std::string& text);

  NetContext& c_;
  int memorising_ = -1;  // what the memorising buttons last showed for sure
};

}  // namespace kvl
