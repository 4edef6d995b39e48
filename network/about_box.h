// The programs' information box (dialog 107, caption "Abaut"), one for all
// three programs: fixed texts and the picture are in each program's resource;
// it closes only through "OK" (or Enter, which presses it). Esc and the close
// box are not acted on.
#pragma once

#include "view/view.h"

namespace kvl {

class AboutBox : public DialogLogic {
 public:
  void OnInit(Dialog&) override {}
  void OnCommand(Dialog& d, int id, int /*code*/) override {
    if (id == kIdOk) d.End(kIdOk);
  }
  void OnClose(Dialog&) override {}
};

}  // namespace kvl
