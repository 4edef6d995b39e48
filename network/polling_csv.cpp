#include "network/polling_csv.h"

#include <chrono>

namespace kvl {

void RecordPoll(NetContext& c, int ch, ops::Outcome outcome) {
  if (!c.s.csv || !c.s.table.Valid(ch)) return;
  const ChannelTable& t = c.s.table;
  ops::Reading r;
  r.time = std::chrono::system_clock::now();
  r.address = t.Data[ch].net;
  r.serial = t.Data[ch].n_ofqx;
  r.outcome = outcome;
  if (outcome == ops::Outcome::kAnswered) {  // the values the monitor took
    r.setpoint = static_cast<int>(t.Mem[ch].despns2);
    r.flow = t.Mem[ch].adcA3;
  }
  if (c.s.csv->Append(r) == ops::CsvFile::Result::kFailed)
    c.ui.MessageBox(ops::CsvFailureText(c.s.csv->Path()), "Error");
}

}  // namespace kvl
