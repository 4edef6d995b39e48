// The network formation dialog (dialog 122, "Формирование сети"): choose and
// open the COM port, register a regulator on a channel at its network address,
// check every channel in one pass, store the configuration file.
//
// On opening the dialog shows channel 0 in its channel list and channel 0's
// address in the address field; the channel that "Установить связь" acts on
// (NetState::canal) is set to 0 as well, so that what the operator sees is what
// gets registered.
#pragma once

#include <string>

#include "network/net_program.h"

namespace kvl {

// Control id of the line of channel ch in the dialog (the variant's ident).
int ChannelLineId(const Variant& v, int ch);

// Line of a channel without a link: "Кан.<ch>. Связь не установлена Сет.№".
std::string Soob(int ch);

// Line of a linked channel, e.g. "Кан.3.КВЛ №12345 Сет.№17 Вход:цифровойРежим:регул.".
std::string Sapis(const ChannelTable& t, int ch);

class NetworkDialog : public DialogLogic {
 public:
  explicit NetworkDialog(NetContext& c) : c_(c) {}
  void OnInit(Dialog& d) override;
  void OnCommand(Dialog& d, int id, int code) override;
  void OnClose(Dialog& d) override;

 private:
  void Init(Dialog& d);
  void Command(Dialog& d, int id, int code);
  void ChoosePort(Dialog& d);
  void OpenPort(Dialog& d);
  void ClosePort(Dialog& d);
  void ChooseChannel(Dialog& d);
  void Register(Dialog& d);
  void CheckAll(Dialog& d);
  void Save(Dialog& d);
  // The port is closed (or has just gone away): say so, reset every line.
  void MarkClosed(Dialog& d);
  // The same, and tell the operator.
  void RefuseClosedPort(Dialog& d);
  void ResetLines(Dialog& d);

  NetContext& c_;
};

}  // namespace kvl
