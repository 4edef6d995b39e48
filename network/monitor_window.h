// The channel monitor window (dialog 130): one row per channel with its device
// number, setpoint and output, the activity indicator, the choice of the active
// channel and the status line of the active channel. It is modeless; while it
// exists NetState::hCnlWnd points at it and timer 1 polls the channels.
//
// A channel that stops answering during polling stays active. regnet5 shows
// "Нет связи" in its deviation cell; regnet9 has no such column, so its output
// cell shows "нет связи" until the channel answers again (the setpoint cell
// keeps the last value received).
#pragma once

#include <cstdint>
#include <string>

#include "network/net_program.h"

namespace kvl {

// Row of channel ch in the variant's window (ch must be a valid channel).
MonitorRow MonitorRowOf(const Variant& v, int ch);

// Text shown for a channel that did not answer a poll.
std::string SilentText(const Variant& v);

class MonitorWindow : public DialogLogic {
 public:
  explicit MonitorWindow(NetContext& c) : c_(c) {}
  void OnInit(Dialog& d) override;
  // A radio button chooses the active channel (not while a command holds the
  // line: the command's channel stays the active one); OK (1) closes the window.
  void OnCommand(Dialog& d, int id, int code) override;
  void OnClose(Dialog& d) override;
  void OnDestroy(Dialog& d) override;
  // Closes the window when it is open.
  void CloseWindow();

 private:
  void Close(Dialog& d);
  // The window is gone: no pointer to it, no polling.
  void Forget();
  NetContext& c_;
};

// Status line of the active channel into the window d. openingWording selects
// the valve texts of the window's opening (see ValveStatusText).
void WriteStatusLine(NetContext& c, Dialog& d, bool openingWording);

// Decodes a measure answer (in c.s.ans, maker's layout) of channel srt into
// Mem and Satv and, while the window exists, into its cells. Acts only when
// data0, the answer's code byte, is 17.
void WriteData(NetContext& c, uint8_t data0, int srt);

// Indicator step of a poll tick: f_mig 1 shows the second picture, 0 the first.
void BlinkIndicator(NetContext& c);

// Marks channel ch as not answering the last poll (see the file comment).
void ShowSilent(NetContext& c, int ch);

// Closes the setpoint dialog of the current port when it is open.
void CloseSetpointDialog(NetState& s);

}  // namespace kvl
