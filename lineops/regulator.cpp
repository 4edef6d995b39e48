#include "lineops/regulator.h"

#include "protocol/commands.h"
#include "setup/status_texts.h"

namespace kvl::ops {

std::optional<bool> Identity::Memorising() const {
  if (format <= 5) return std::nullopt;
  return data.rasre == 1;
}

StatusTexts TextsOf(const Identity& id) {
  StatusTexts t;
  t.kind = KindText(id.Pressure());
  t.mode = ModeText(id.Regulating());
  t.input = InputText(id.data.zifra == 1);
  t.state = StateText(id.data.avar == 1, id.Regulating());
  t.valve = ValveHoldText(id.hold, id.valve);
  t.caption = SerialCaption(id.Pressure());
  return t;
}

std::string Firmware::Text() const {
  return FirmwareDateText(day, month, year, version);
}

void TakeIdentity(const Answer& ans, Identity& id) {
  const auto& r = ans.res;
  id.serial = static_cast<uint32_t>(r[2]) * 256u + r[3];
  id.format = r[5];
  id.status1 = r[1];
  id.status6 = r[6];
  // regnet9's record: its decoding reads the firmware year for the 10 V flag,
  // which a fresh record leaves alone.
  ChannelTable table(kNet9);
  SetFlags(table, 0, r.data(), id.format, id.hold);
  id.data = table.Data[0];
  id.valve = table.Satv[0];
}

Outcome Identify(Line& line, int address, Identity& id, const Timing* timing) {
  Request rq = NewRequest(line);
  cmd::Ident(rq, address);
  const ExchangeResult r = Exchange(line, rq, timing ? *timing : line.timing);
  if (r.outcome != Outcome::kAnswered) return r.outcome;
  id = Identity{};
  id.address = address;
  id.protocol = line.Protocol();
  id.speedIndex = line.SpeedIndex();
  TakeIdentity(r.ans, id);
  return r.outcome;
}

Outcome ReadFirmware(Line& line, int address, Firmware& fw) {
  if (line.Protocol()) return Outcome::kRefused;
  Request rq = NewRequest(line);
  cmd::Date(rq, address);
  const ExchangeResult r = Exchange(line, rq);
  if (r.outcome != Outcome::kAnswered) return r.outcome;
  fw.day = r.ans.res[2];
  fw.month = r.ans.res[3];
  fw.year = r.ans.res[4];
  fw.version = r.ans.res[5];
  return r.outcome;
}

Outcome Measure(Line& line, int address, Measurement& m) {
  Request rq = NewRequest(line);
  cmd::Measure(rq, address);
  const ExchangeResult r = Exchange(line, rq);
  if (r.outcome != Outcome::kAnswered) return r.outcome;
  const auto& a = r.ans.res;
  m.flow = cmd::FlowOfAnswer(a[2], a[3]);
  m.setpoint = cmd::SetpointOfAnswer(a[4], a[5]);
  return r.outcome;
}

}  // namespace kvl::ops
