// The program's information box (dialog 107, caption "Abaut"): fixed texts and
// the picture are in the resource; it closes only through "OK" (or Enter).
#pragma once

#include "shell/view.h"

namespace kvl {

enum : int { kAboutTemplate = 107 };

class AboutBox : public DialogLogic {
 public:
  void OnInit(Dialog&) override {}
  // "OK" ends the box with 1; Esc (Cancel) is not acted on.
  void OnCommand(Dialog& d, int id, int code) override;
  // The close box is not acted on either.
  void OnClose(Dialog&) override {}
};

}  // namespace kvl
