// The modal dialog "Установка нуля": shows the regulator's output and zero
// offset and writes a new offset. Devices with a format byte above 5 have the
// offset edit (template 111); older ones only the output (template 130), and
// "Кнопка '0'" writes offset 0 to them.
#pragma once

#include "solo/solo_state.h"
#include "view/view.h"

namespace kvl::solo {

// Template of the dialog for a device format byte.
inline int ZeroTemplate(unsigned versionKvl) {
  return versionKvl > 5 ? IDD_SOLO_ZERO : IDD_SOLO_ZERO_OUTPUT;
}

class ZeroOffsetDialog : public DialogLogic {
 public:
  explicit ZeroOffsetDialog(SoloContext& c) : c_(c) {}

  void OnInit(Dialog& d) override;
  void OnCommand(Dialog& d, int id, int code) override;
  void OnClose(Dialog& d) override { d.End(kIdCancel); }

 private:
  void Init(Dialog& d);
  bool HasOffsetEdit() const { return ZeroTemplate(c_.s.version_KVL) == IDD_SOLO_ZERO; }
  // CMD_MEASURE and the output value in 1044; false (after the message) on failure.
  bool ShowOutput(Dialog& d);
  void WriteOffset(Dialog& d);
  void Retry(Dialog& d);

  SoloContext& c_;
};

}  // namespace kvl::solo
