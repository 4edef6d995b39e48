#include "solo/zero_offset_dialog.h"

#include "protocol/commands.h"
#include "solo/solo_messages.h"
#include "solo/solo_numbers.h"
#include "solo/solo_status.h"

namespace kvl::solo {

namespace {
constexpr size_t kOffsetChars = 80;
constexpr long kMaxOffset = 65535;
}  // namespace

void ZeroOffsetDialog::Retry(Dialog& d) {
  // After a port has gone away the program's one message says it all.
  if (c_.line.PortLost()) return;
  c_.ui.MessageBox(msg::kRetry, msg::kError, MsgButtons::kOk, MsgIcon::kNone, Owner::kDialog, &d);
}

bool ZeroOffsetDialog::ShowOutput(Dialog& d) {
  SoloState& s = c_.s;
  cmd::Measure(s.rq, s.Address());
  if (!c_.line.ComWrite(s.port0)) {
    Retry(d);
    return false;
  }
  d.SetText(IDX_SOLO_OUTPUT, OutputText(FlowValue(s.ans.res[2], s.ans.res[3])));
  c_.line.MesOut(s.port0);
  return true;
}

void ZeroOffsetDialog::OnInit(Dialog& d) {
  // Without its port the dialog has nothing left to do.
  c_.line.Run(
      &d, [&] { Init(d); }, [&] { d.End(kIdCancel); });
}

void ZeroOffsetDialog::Init(Dialog& d) {
  SoloState& s = c_.s;
  if (!ShowOutput(d)) return;
  cmd::ZeroOffsetRead(s.rq, s.Address(), static_cast<int>(s.version_KVL), s.flags.flagPres != 0);
  if (!c_.line.ComWrite(s.port0)) {
    Retry(d);
    return;
  }
  if (HasOffsetEdit()) d.SetText(IDX_SOLO_OFFSET, std::to_string(Word(s.ans.res[4], s.ans.res[5])));
  c_.line.MesOut(s.port0);
}

void ZeroOffsetDialog::OnCommand(Dialog& d, int id, int /*code*/) {
  if (id == kIdOk || id == kIdCancel)
    d.End(id);
  else if (id == IDX_SOLO_ZERO_BUTTON)
    c_.line.Run(
        &d, [&] { WriteOffset(d); }, [&] { d.End(kIdCancel); });
}

void ZeroOffsetDialog::WriteOffset(Dialog& d) {
  SoloState& s = c_.s;
  long offset = 0;
  if (HasOffsetEdit()) {
    // The frame carries the offset as two unsigned bytes: anything else would
    // reach the regulator as a different offset than the one typed.
    const auto typed = WholeNumber(d.GetText(IDX_SOLO_OFFSET, kOffsetChars));
    if (!typed || *typed < 0 || *typed > kMaxOffset) {
      c_.ui.MessageBox(msg::kOffset, msg::kRefused120, MsgButtons::kOk, MsgIcon::kNone,
                       Owner::kDialog, &d);
      return;
    }
    offset = *typed;
  }
  cmd::ZeroOffsetWrite(s.rq, s.Address(), static_cast<int>(s.version_KVL), s.flags.flagPres != 0,
                       static_cast<uint16_t>(offset));
  if (!c_.line.ComWrite(s.port0)) {
    Retry(d);
    return;
  }
  c_.line.MesOut(s.port0);
  ShowOutput(d);
}

}  // namespace kvl::solo
