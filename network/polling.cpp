#include "network/polling.h"

#include "network/monitor_window.h"
#include "network/polling_csv.h"
#include "protocol/commands.h"

namespace kvl {

void TimerProc1(NetContext& c, int idEvent) {
  NetState& s = c.s;
  BlinkIndicator(c);
  if (!c.link.IsOpen(s.port0)) {
    // Nothing can be asked on a closed port: writing would only raise a write
    // error box per attempt. The timer is started again by "Вывести на экран".
    c.ui.StopTimer(kTimerPoll);
    return;
  }
  if (idEvent != kTimerPoll || s.fproc1end == 0) return;
  s.fproc1end = 0;
  s.f_mig = s.f_mig ? 0 : 1;
  for (int ch = 0; ch < s.table.Channels(); ++ch) {
    if (s.table.Data[ch].svjac != 1) continue;
    // Modbus: address, 0x03, 0x0004, 0x0002; 8 bytes out, 9 expected.
    cmd::Measure(s.rq, s.table.Data[ch].net);
    if (c.line.ComWrite(s.port0)) {
      c.line.MesOut(ch);
      WriteData(c, s.ans.res[0], ch);
      RecordPoll(c, ch, c.line.outcome);
    } else if (c.line.PortLost()) {
      RecordPoll(c, ch, c.line.outcome);
      break;  // the program closes the port once this tick is over
    } else {
      ShowSilent(c, ch);
      RecordPoll(c, ch, c.line.outcome);
    }
  }
  s.fproc1end = 1;
}

}  // namespace kvl
