#include "network/about_box.h"

namespace kvl {

std::string AboutVersionText(const Variant& v) {
  return v.full ? "Версия09.09.2016" : "Версия 10.11.2009";
}

void AboutBox::OnCommand(Dialog& d, int id, int /*code*/) {
  if (id == kIdOk) d.End(kIdOk);
}

}  // namespace kvl
