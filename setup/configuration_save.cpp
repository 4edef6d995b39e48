#include "setup/configuration_save.h"

namespace kvl {

bool SaveConfigurationShown(NetContext& c, Dialog* owner) {
  const std::vector<Message> msgs = SaveConfiguration(c.s.table, c.s.port0, c.s.configPath);
  for (const Message& m : msgs)
    c.ui.MessageBox(m.text, m.caption, MsgButtons::kOk, MsgIcon::kNone, Owner::kDialog, owner);
  return msgs.empty();
}

}  // namespace kvl
