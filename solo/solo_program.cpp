#include "solo/solo_program.h"

#include <chrono>

#include "network/about_box.h"
#include "protocol/commands.h"
#include "solo/connection_dialog.h"
#include "solo/solo_messages.h"
#include "solo/solo_port.h"
#include "solo/solo_status.h"
#include "solo/zero_offset_dialog.h"

namespace kvl::solo {

namespace {
enum : uint8_t { kValveRegulate = 0, kValveOpenCmd = 1, kValveCloseCmd = 2 };
}  // namespace

SoloProgram::SoloProgram(ByteLink& link, Services& ui)
    : link_(link),
      ui_(ui),
      line_(link, s_.rq, s_.ans, s_.log, ui),
      c_{s_, link, ui, line_},
      setpoint_(c_) {
  line_.onPortLost = [this](int port) { PortLost(port); };
  s_.log.SetObserver([this](const std::string& added, bool removedFirst) {
    Dialog& main = ui_.MainWindow();
    if (removedFirst) main.ListDelete(IDW_LOG_LIST, 0);
    main.ListAdd(IDW_LOG_LIST, added);
  });
}

SoloProgram::~SoloProgram() {
  s_.log.SetObserver(nullptr);
}

bool SoloProgram::OnCreate() {
  SoloConfig cfg = LoadSoloConfig(configPath_);
  for (const Message& m : cfg.messages) ui_.MessageBox(m.text, m.caption);
  if (cfg.endProgram) {
    ui_.PostQuit();
    return true;
  }
  s_.port0 = cfg.port0;
  s_.nofcan[s_.port0] = static_cast<uint8_t>(cfg.address);
  ui_.MenuEnable(IDC_VALVE_OPEN, false);
  ui_.MenuEnable(IDC_VALVE_CLOSE, false);
  ui_.MenuEnable(IDC_VALVE_REGULATE, false);
  ui_.MenuEnable(IDC_LOG_OFF, false);
  ui_.MenuEnable(IDC_LOG_ON, true);
  // Without the events every exchange waits on, the window is not created.
  if (!link_.Ready()) {
    ui_.MessageBox("Failed to create event for thread!.Ошибка108", "Error!", MsgButtons::kOk,
                   MsgIcon::kWarning);
    return false;
  }
  return true;
}

bool SoloProgram::NeedsConnection() {
  if (s_.Connected()) return true;
  ui_.MessageBox(msg::kNoLink106, msg::kError);
  return false;
}

void SoloProgram::DeviceCommand(const std::function<void()>& command) {
  line_.Run(nullptr, [&] {
    if (NeedsConnection()) command();
  });
}

bool SoloProgram::Exchange() {
  if (line_.ComWrite(s_.port0)) return true;
  if (!line_.PortLost()) ui_.MessageBox(msg::kNoLink100, msg::kError);
  return false;
}

void SoloProgram::OnCommand(int id, int /*code*/) {
  // A command's message box is up: the menu waits for it.
  if (line_.Busy()) return;
  switch (id) {
    case IDC_EXIT:
      ui_.PostClose();
      break;
    case IDC_ABOUT: {
      AboutBox about;
      ui_.RunModal(IDD_ABOUT, about);
      break;
    }
    case IDC_SETUP:
      Connect();
      break;
    case IDC_LOG_ON:
    case IDC_LOG_OFF:
      ui_.MainWindow().Show(IDW_LOG_LIST, id == IDC_LOG_ON);
      ui_.MenuEnable(IDC_LOG_OFF, id == IDC_LOG_ON);
      ui_.MenuEnable(IDC_LOG_ON, id == IDC_LOG_OFF);
      break;
    case IDC_SOLO_POLL_START:
      if (NeedsConnection()) StartPolling();
      break;
    case IDC_SOLO_POLL_STOP:
      StopPolling();
      Repaint();
      break;
    case IDC_KIND_FLOW:
    case IDC_KIND_PRESSURE:
      DeviceCommand([&] { Kind(id == IDC_KIND_PRESSURE); });
      break;
    case IDC_VALVE_REGULATE:
    case IDC_VALVE_OPEN:
    case IDC_VALVE_CLOSE:
      DeviceCommand([&] { Valve(id); });
      break;
    case IDC_ZERO:
      if (NeedsConnection()) Zero();
      break;
    case IDC_INPUT_DIGITAL:
      if (NeedsConnection()) Digital();
      break;
    case IDC_INPUT_ANALOG:
      DeviceCommand([&] { Analog(); });
      break;
    default:  // accelerators 256, 257, 261 and the empty item 40020 do nothing
      break;
  }
}

void SoloProgram::Kind(bool pressure) {
  if (pressure && s_.flags.fgasset) {
    ui_.MessageBox("Нет возможности. Подключен КВЛ", msg::kWarning);
    return;
  }
  cmd::SoloKind(s_.rq, s_.Address(), cmd::KindByte(pressure, s_.Current().freg != 0));
  if (!Exchange()) return;
  line_.MesOut(s_.port0);
  s_.flags.flagPres = pressure ? 1 : 0;
  Repaint();
}

void SoloProgram::Valve(int id) {
  const uint8_t action = id == IDC_VALVE_REGULATE ? kValveRegulate
                         : id == IDC_VALVE_OPEN   ? kValveOpenCmd
                                                  : kValveCloseCmd;
  cmd::Valve(s_.rq, s_.Address(), action);
  if (!Exchange()) return;
  if (id == IDC_VALVE_CLOSE) line_.MesOut(s_.port0);
  if (s_.ans.res[0] == 0) {
    ui_.MessageBox("Выключите внешнее управление затвором", msg::kWarning);
    return;
  }
  ui_.MenuEnable(IDC_VALVE_REGULATE, id != IDC_VALVE_REGULATE);
  ui_.MenuEnable(IDC_VALVE_OPEN, id != IDC_VALVE_OPEN);
  ui_.MenuEnable(IDC_VALVE_CLOSE, id != IDC_VALVE_CLOSE);
  if (id != IDC_VALVE_CLOSE) line_.MesOut(s_.port0);
  s_.fsatbor = id == IDC_VALVE_REGULATE ? kValveRegulating
               : id == IDC_VALVE_OPEN   ? kValveOpen
                                        : kValveClosed;
  Repaint();
}

void SoloProgram::Zero() {
  if (!s_.flags.flagPres &&
      ui_.MessageBox("Операция проводится при нуле расходе на эталоне.Продолжить?",
                     "ВНИМАНИЕ!!! ВЫКЛЮЧИТЕ ГАЗ", MsgButtons::kYesNo) != kIdYes)
    return;
  ZeroOffsetDialog dialog(c_);
  ui_.RunModal(ZeroTemplate(s_.version_KVL), dialog);
}

void SoloProgram::Digital() {
  if (s_.flist[s_.port0]) {
    ui_.MessageBox("Окно уже есть", msg::kWarning);
    return;
  }
  setpoint_.SetPort(s_.port0);
  if (ui_.CreateModeless(IDD_SETPOINT, setpoint_)) s_.flist[s_.port0] = 1;
}

void SoloProgram::Analog() {
  s_.Current().fopzi = 0;
  cmd::InputSelect(s_.rq, s_.Address(), 1);
  Exchange();
  line_.MesOut(s_.port0);
}

void SoloProgram::StartPolling() {
  if (ui_.StartTimer(kTimerPoll, kPollMs)) s_.m_tim1 = 1;
}

void SoloProgram::StopPolling() {
  ui_.StopTimer(kTimerPoll);
  s_.m_tim1 = 0;
}

void SoloProgram::OnTimer(int id) {
  // A tick that comes while a command holds the line is skipped.
  if (id == kTimerPoll) line_.Run(nullptr, [&] { Poll(); });
}

void SoloProgram::Poll() {
  if (!link_.IsOpen(s_.port0)) {
    StopPolling();
    ui_.MessageBox(msg::kPortClosed, msg::kWarning);
    return;
  }
  if (!s_.Connected()) {
    StopPolling();
    ui_.MessageBox(msg::kChannel106, msg::kErrorSvjac);
    return;
  }
  cmd::Measure(s_.rq, s_.Address());
  if (!line_.ComWrite(s_.port0)) {
    if (!line_.PortLost()) line_.MesText("Ошибка связи N:100");
    Record(line_.outcome, 0, 0);
    return;
  }
  const auto& r = s_.ans.res;
  const int flow = FlowValue(r[2], r[3]);
  const int setpoint = Word(r[4], r[5]);
  line_.MesOut(s_.port0);
  Record(line_.outcome, setpoint, flow);
  s_.buf1 = Vivod(setpoint, flow, ui_.CTimeText());
  ui_.Invalidate(true);
}

void SoloProgram::Record(ops::Outcome outcome, int setpoint, int flow) {
  if (!s_.csv) return;
  ops::Reading r;
  r.time = std::chrono::system_clock::now();
  r.address = s_.Address();
  r.serial = s_.serial;
  r.outcome = outcome;
  r.setpoint = setpoint;
  r.flow = flow;
  if (s_.csv->Append(r) == ops::CsvFile::Result::kFailed)
    ui_.MessageBox(ops::CsvFailureText(s_.csv->Path()), msg::kError);
}

void SoloProgram::Connect() {
  ConnectionDialog dialog(c_, configPath_);
  ui_.RunModal(IDD_SETUP, dialog);
  MenuAfterConnect();
}

void SoloProgram::MenuAfterConnect() {
  ui_.Invalidate(true);
  if (!s_.Connected()) {
    ui_.MenuEnable(IDC_VALVE_OPEN, false);
    ui_.MenuEnable(IDC_VALVE_CLOSE, false);
    ui_.MenuEnable(IDC_VALVE_REGULATE, false);
    ui_.MenuEnable(IDC_INPUT_ANALOG, false);
    return;
  }
  const StatusFlags& f = s_.flags;
  if (f.fvnech) {
    ui_.MessageBox(
        f.fIinter ? "Затвор открыт аналоговым сигналом" : "Затвор закрыт аналоговым сигналом",
        msg::kWarning);
  } else {
    ui_.MenuEnable(IDC_VALVE_OPEN, !f.fstvon);
    ui_.MenuEnable(IDC_VALVE_CLOSE, !f.fstvoff);
    ui_.MenuEnable(IDC_VALVE_REGULATE, f.fda0 != 0);
  }
  ui_.MenuEnable(IDC_INPUT_ANALOG, true);
}

void SoloProgram::PortLost(int port) {
  StopPolling();
  CloseConnection(c_, port, true);
  MenuAfterConnect();
}

bool SoloProgram::OnClose() {
  // The port and the windows a command is using stay until its box is gone.
  if (line_.Busy()) return false;
  StopPolling();
  if (link_.IsOpen(s_.port0)) CloseConnection(c_, s_.port0, true);
  return ui_.MessageBox("OK to close window?", "DemoKVl", MsgButtons::kOkCancel,
                        MsgIcon::kQuestion) == kIdOk;
}

std::vector<PaintText> SoloProgram::OnPaint(int left, int bottom) {
  return StatusBlock(s_, left, bottom);
}

}  // namespace kvl::solo
