#include "network/about_box.h"

namespace kvl {

void AboutBox::OnCommand(Dialog& d, int id, int /*code*/) {
  if (id == kIdOk) d.End(kIdOk);
}

}  // namespace kvl
