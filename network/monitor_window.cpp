#include "network/monitor_window.h"

#include <cstdio>
#include <cstdlib>

#include "network/valve_text.h"

namespace kvl {

namespace {

std::string Fmt(const char* f, double x, const char* tail) {
  char b[64];
  std::snprintf(b, sizeof b, f, x, tail);
  return b;
}

std::string SetpointText(uint32_t despns2) {
  char b[32];
  std::snprintf(b, sizeof b, "%.1f", despns2 / 100.0);
  return b;
}

}  // namespace

MonitorRow MonitorRowOf(const Variant& v, int ch) {
  return v.monitorRows[static_cast<size_t>(ch)];
}

std::string SilentText(const Variant& v) {
  return v.deviationColumn ? "Нет связи" : "нет связи";
}

void WriteStatusLine(NetContext& c, Dialog& d, bool openingWording) {
  const ChannelTable& t = c.s.table;
  const int ch = t.cnl2;
  const bool valid = t.Valid(ch);
  const tagData empty{};
  const tagData& data = valid ? t.Data[ch] : empty;
  char b[64];
  std::snprintf(b, sizeof b, "%s%d,", "Ак.кан.№", ch);
  d.SetText(IDX_MON_CHANNEL, b);
  std::snprintf(b, sizeof b, "%s%u,", "№", data.n_ofqx);
  d.SetText(IDX_MON_SERIAL, b);
  d.SetText(IDX_MON_FAMILY, data.pres == 1 ? "ВПЗ" : "КВЛ");
  d.SetText(IDX_MON_MODE, data.regu == 1 ? "Режим: регулир." : "Режим: измерение");
  d.SetText(IDX_MON_VALVE,
            valid && data.svjac == 1 ? ValveStatusText(t.Satv[ch], openingWording) : "?");
  d.SetText(IDX_MON_INPUT, data.zifra == 1 ? "Вход:цифр." : "Вход:анал.");
}

void MonitorWindow::OnInit(Dialog& d) {
  c_.s.hCnlWnd = &d;
  const ChannelTable& t = c_.s.table;
  const Variant& v = c_.s.variant;
  for (int k = 0; k < t.Channels(); ++k) {
    const MonitorRow r = MonitorRowOf(v, k);
    const bool linked = t.Data[k].svjac == 1;
    d.SetCheck(r.radio, k == t.cnl2 && linked);
    if (linked) d.SetText(r.number, std::to_string(t.Data[k].n_ofqx));
    if (v.deviationColumn) d.SetText(r.deviation, linked ? "есть" : "нет связи");
    if (!linked) {
      d.SetText(r.output, "");
      d.SetText(r.setpoint, "");
    }
  }
  WriteStatusLine(c_, d, true);
}

void MonitorWindow::OnCommand(Dialog& d, int id, int /*code*/) {
  if (id == kIdOk) {
    Close(d);
    return;
  }
  ChannelTable& t = c_.s.table;
  int candidate = -1;
  for (int k = 0; k < t.Channels(); ++k)
    if (MonitorRowOf(c_.s.variant, k).radio == id) candidate = k;
  if (candidate < 0 || !d.GetCheck(id) || candidate == t.cnl2) return;

  if (t.Data[candidate].svjac == 1 && !c_.line.Busy()) {
    t.cnl2 = candidate;
    WriteStatusLine(c_, d, false);
    CloseSetpointDialog(c_.s);
  } else {
    d.SetCheck(id, false);
    if (t.Valid(t.cnl2)) d.SetCheck(MonitorRowOf(c_.s.variant, t.cnl2).radio, true);
  }
}

void MonitorWindow::OnClose(Dialog& d) {
  Close(d);
}

void MonitorWindow::Close(Dialog& d) {
  Forget();
  d.End(kIdOk);  // destroys the window: d is not used after this
}

void MonitorWindow::OnDestroy(Dialog& d) {
  if (c_.s.hCnlWnd == &d) Forget();
}

void MonitorWindow::Forget() {
  c_.s.hCnlWnd = nullptr;
  c_.ui.StopTimer(kTimerPoll);
}

void MonitorWindow::CloseWindow() {
  if (Dialog* d = c_.s.hCnlWnd) Close(*d);
}

void WriteData(NetContext& c, uint8_t data0, int srt) {
  ChannelTable& t = c.s.table;
  if (data0 != CMD_MEASURE || !t.Valid(srt)) return;
  const auto& r = c.s.ans.res;
  // Output: sign and magnitude, bit 15 the sign.
  const int magnitude = ((r[2] & 0x7F) << 8) | r[3];
  const int32_t adc = (r[2] & 0x80) ? -magnitude : magnitude;
  const uint32_t despns2 = (static_cast<uint32_t>(r[4]) << 8) | r[5];
  t.Mem[srt].adcA3 = adc;
  t.Mem[srt].despns2 = despns2;
  const int32_t sad = static_cast<int32_t>(despns2) - adc;
  t.Satv[srt].sad_out = sad;
  const Variant& v = c.s.variant;
  // Deviation beyond 0.2 per cent, counted by regnet5.
  if (v.deviationColumn && std::abs(sad) > 20) ++t.m_count1[srt];

  Dialog* w = c.s.hCnlWnd;
  if (!w) return;
  const MonitorRow row = MonitorRowOf(v, srt);
  w->SetText(row.output, Fmt("%+3.1f%s", adc / 100.0, "%     "));
  w->SetText(row.setpoint, SetpointText(despns2));
  if (v.deviationColumn) w->SetText(row.deviation, Fmt("%+3.1f%s", sad / 100.0, "% "));
}

void BlinkIndicator(NetContext& c) {
  Dialog* w = c.s.hCnlWnd;
  if (!w) return;
  const bool second = c.s.f_mig == 1;
  w->Show(second ? IDX_MON_ICON_A : IDX_MON_ICON_B, false);
  w->Show(second ? IDX_MON_ICON_B : IDX_MON_ICON_A, true);
}

void ShowSilent(NetContext& c, int ch) {
  Dialog* w = c.s.hCnlWnd;
  if (!w || !c.s.table.Valid(ch)) return;
  const MonitorRow row = MonitorRowOf(c.s.variant, ch);
  w->SetText(c.s.variant.deviationColumn ? row.deviation : row.output, SilentText(c.s.variant));
}

void CloseSetpointDialog(NetState& s) {
  if (!s.flist(s.port0)) return;
  Dialog* d = s.hLspis;
  s.hLspis = nullptr;
  d->End(kIdOk);
}

}  // namespace kvl
