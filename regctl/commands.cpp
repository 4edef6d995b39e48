#include "regctl/commands.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include "commands/command_texts.h"
#include "commands/setpoint_value.h"
#include "lineops/json.h"
#include "lineops/reading.h"
#include "lineops/scan.h"
#include "lineops/settings.h"
#include "protocol/commands.h"
#include "regctl/duration.h"
#include "regctl/ports.h"
#include "regctl/profile.h"
#include "regctl/terminal.h"
#include "regctl/trace_file.h"

namespace kvl::regctl {

namespace {

using Clock = std::chrono::steady_clock;
using ops::Outcome;

void Say(const std::string& s) {
  std::fputs(s.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void Complain(const std::string& s) {
  std::fprintf(stderr, "regctl: %s\n", s.c_str());
  std::fflush(stderr);
}

void SayJson(const nlohmann::ordered_json& j) {
  Say(j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

bool SpeedIndex(const std::string& text, int& index) {
  for (int i = 0; i < 3; ++i)
    if (text == cmd::nUart[i]) {
      index = i;
      return true;
    }
  return false;
}

bool ProtocolOf(const std::string& text, int& p) {
  if (text == "kormast")
    p = 0;
  else if (text == "modbus")
    p = 1;
  else
    return false;
  return true;
}

const char* PortLostText() {
  return "the port was lost (adapter pulled, or the other end closed): plug it in again and "
         "run the command again";
}

// The exit code an outcome gives.
int ExitOf(Outcome o) {
  switch (o) {
    case Outcome::kAnswered:
      return kDone;
    case Outcome::kSilent:
    case Outcome::kRefused:
      return kDeviceFailed;
    case Outcome::kWriteFailed:
    case Outcome::kPortLost:
      return kPortFailed;
  }
  return kDeviceFailed;
}

// Worse of two exit codes of a run: port trouble over a device's, over success.
int Worse(int a, int b) {
  return std::max(a, b);
}

// Speed and protocol of a command that speaks one of each.
bool OneLine(const LineArgs& l, int& speed, int& protocol) {
  if (!SpeedIndex(l.speed, speed)) {
    Complain("--speed must be 9600, 19200 or 38400, not '" + l.speed + "'");
    return false;
  }
  if (!ProtocolOf(l.protocol, protocol)) {
    Complain("--protocol must be kormast or modbus, not '" + l.protocol + "'");
    return false;
  }
  return true;
}

// The open port of one command, with its trace.
class Session {
 public:
  // Opens the port at the speed and in the protocol of l (the first speed and
  // protocol of a list). Prints what went wrong and sets exitCode otherwise.
  bool Open(const Common& c, const LineArgs& l, int speedIndex, int protocol, int& exitCode) {
    if (!c.trace.empty()) {
      if (!trace_.Open(c.trace)) {
        Complain("cannot write the trace file " + c.trace + ": check the folder and its rights");
        exitCode = kUsage;
        return false;
      }
    }
    std::string error;
    int index = 0;
    link_ = LinkFor(l.port, index, error);
    if (!link_) {
      Complain(error);
      exitCode = kUsage;
      return false;
    }
    line_ = std::make_unique<ops::Line>(*link_, index);
    line_->SetSpeed(speedIndex);
    line_->SetProtocol(protocol);
    if (!c.trace.empty()) line_->SetTrace(&trace_);
    if (!line_->Open()) {
      Complain("cannot open the port " + l.port +
               ": check its name with 'regctl ports' and that no other program uses it"
#ifndef _WIN32
               " (on Linux your user may need to be in the dialout group)"
#endif
      );
      exitCode = kPortFailed;
      return false;
    }
    if (!c.trace.empty())
      trace_.Note(std::string("port ") + l.port + " open at " + cmd::nUart[speedIndex] + " baud, " +
                  ops::ProtocolTitle(protocol));
    return true;
  }
  // The same at the one speed and protocol of l.
  bool Open(const Common& c, const LineArgs& l, int& exitCode) {
    int speed = 1, protocol = 0;
    if (OneLine(l, speed, protocol)) return Open(c, l, speed, protocol, exitCode);
    exitCode = kUsage;
    return false;
  }
  ops::Line& Line() {
    return *line_;
  }
  ~Session() {
    if (line_) line_->Close();
  }

 private:
  FileTrace trace_;
  std::unique_ptr<ByteLink> link_;
  std::unique_ptr<ops::Line> line_;
};

std::optional<std::chrono::milliseconds> DurationArg(const char* option, const std::string& v) {
  const auto d = ParseDuration(v);
  if (!d) Complain(std::string(option) + " '" + v + "' is not a time: use 700ms, 2s, 5m or 1h");
  return d;
}

std::string Pad(const std::string& s, size_t width, bool right = false) {
  // Width in characters, not bytes: the texts are UTF-8.
  size_t chars = 0;
  for (unsigned char ch : s)
    if ((ch & 0xC0) != 0x80) ++chars;
  const std::string fill(chars < width ? width - chars : 0, ' ');
  return right ? fill + s : s + fill;
}

// Readings of poll and profile: the live table on a terminal, CSV or JSON lines
// otherwise, and the CSV file.
class Recorder {
 public:
  Recorder(const Common& c, const std::string& csvPath, std::vector<int> addresses)
      : json_(c.json), live_(!c.json && PrepareConsole()), addresses_(std::move(addresses)) {
    if (!csvPath.empty()) csv_ = std::make_unique<ops::CsvFile>(csvPath);
    last_.resize(addresses_.size());
  }

  // False when the CSV file cannot be written at the start.
  bool Start() {
    if (csv_ && !csv_->Open()) {
      Complain("cannot write " + csv_->Path() + ": check the folder and its rights");
      return false;
    }
    if (!json_ && !live_) Say(ops::CsvHeader());
    return true;
  }

  void SetSerial(size_t i, uint32_t serial) { serials_[i] = serial; }

  void Add(size_t i, const ops::Reading& r) {
    ++rows_;
    if (csv_) {
      const auto w = csv_->Append(r);
      if (w == ops::CsvFile::Result::kFailed)
        Complain("cannot write " + csv_->Path() + " any more; polling goes on");
      else if (w == ops::CsvFile::Result::kWritten)
        ++written_;
    }
    last_[i] = r;
    if (json_)
      SayJson(ops::ToJson(r));
    else if (!live_)
      Say(ops::CsvRow(r));
  }

  // Redraws the table in place (terminal only).
  void Draw(const std::string& footer) {
    if (!live_) return;
    std::string out;
    if (drawn_) out += "\x1b[" + std::to_string(addresses_.size() + 2) + "A";
    out += "\r\x1b[Kaddress  serial  setpoint %    flow %  status        time\n";
    for (size_t i = 0; i < addresses_.size(); ++i) {
      const auto& r = last_[i];
      std::string line = Pad(std::to_string(addresses_[i]), 7, true) + "  ";
      line += Pad(r && r->serial ? std::to_string(*r->serial) : "", 6, true) + "  ";
      const bool ok = r && r->outcome == Outcome::kAnswered;
      line += Pad(ok ? ops::Percent(r->setpoint) : "", 10, true) + "  ";
      line += Pad(ok ? ops::Percent(r->flow) : "", 8, true) + "  ";
      line += Pad(r ? ops::OutcomeName(r->outcome) : "", 12) + "  ";
      line += r ? ops::IsoLocalTime(r->time).substr(11, 12) : "";
      out += "\r\x1b[K" + line + "\n";
    }
    out += "\r\x1b[K" + footer + "\n";
    std::fputs(out.c_str(), stdout);
    std::fflush(stdout);
    drawn_ = true;
  }

  std::string Summary() const {
    std::string s = std::to_string(rows_) + " readings";
    if (csv_) s += ", " + std::to_string(written_) + " rows written to " + csv_->Path();
    return s;
  }
  std::optional<uint32_t> Serial(size_t i) const {
    auto it = serials_.find(i);
    return it == serials_.end() ? std::nullopt : std::optional<uint32_t>(it->second);
  }

 private:
  bool json_;
  bool live_;
  std::vector<int> addresses_;
  std::vector<std::optional<ops::Reading>> last_;
  std::map<size_t, uint32_t> serials_;
  std::unique_ptr<ops::CsvFile> csv_;
  int rows_ = 0, written_ = 0;
  bool drawn_ = false;
};

// One measure of the regulator at address, as a reading.
ops::Reading ReadOne(ops::Line& line, int address, std::optional<uint32_t> serial) {
  ops::Reading r;
  ops::Measurement m;
  r.outcome = ops::Measure(line, address, m);
  r.time = std::chrono::system_clock::now();
  r.address = address;
  r.serial = serial;
  r.setpoint = m.setpoint;
  r.flow = m.flow;
  return r;
}

// Serial numbers of the regulators, asked once (unknown for the silent ones).
void AskSerials(ops::Line& line, const std::vector<int>& addresses, Recorder& rec) {
  for (size_t i = 0; i < addresses.size() && !StopRequested(); ++i) {
    ops::Identity id;
    if (ops::Identify(line, addresses[i], id) == Outcome::kAnswered) rec.SetSerial(i, id.serial);
  }
}

// What poll and profile share: the port, the readings and the pace of the
// cycles. Each cycle starts an interval after the one before started, or at
// once when that one took longer.
class Recording {
 public:
  // Checks the arguments, opens the CSV file and the port, asks the serial
  // numbers. False with the exit code in code.
  bool Start(const Common& c, const LineArgs& l, const std::string& interval,
             const std::string& csv, const std::vector<int>& addresses, int& code) {
    int speed = 1, protocol = 0;
    const auto pace = DurationArg("--interval", interval);
    code = kUsage;
    if (!OneLine(l, speed, protocol) || !pace) return false;
    interval_ = *pace;
    rec_ = std::make_unique<Recorder>(c, csv, addresses);
    if (!rec_->Start()) return false;
    code = kDone;
    if (!session_.Open(c, l, speed, protocol, code)) return false;
    CatchStop();
    AskSerials(session_.Line(), addresses, *rec_);
    start_ = next_ = Clock::now();
    return true;
  }
  ops::Line& Line() { return session_.Line(); }
  Recorder& Rec() { return *rec_; }
  // The cycles count from now.
  void Restart() { start_ = next_ = Clock::now(); }
  std::chrono::milliseconds Elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_);
  }
  // Waits for the next cycle. A cycle due at `end` or later: none when clamp
  // is false (false is returned), one at `end` when it is true. False too
  // when Ctrl+C stops the wait.
  bool Next(std::optional<std::chrono::milliseconds> end, bool clamp) {
    next_ += interval_;
    const auto now = Clock::now();
    if (next_ < now) next_ = now;
    if (end && next_ >= start_ + *end) {
      if (!clamp) return false;
      next_ = std::max(start_ + *end, now);
    }
    return SleepUnlessStopped(std::chrono::duration_cast<std::chrono::milliseconds>(next_ - now));
  }

 private:
  Session session_;
  std::unique_ptr<Recorder> rec_;
  std::chrono::milliseconds interval_{700};
  Clock::time_point start_, next_;
};

ops::SetResult SendSetpoint(ops::Line& line, int address, double percent) {
  ops::Setting s;
  s.key = ops::Key::kSetpoint;
  s.percent = percent;
  return ops::Apply(line, address, s);
}

std::string OnStopText(const std::optional<double>& percent) {
  return percent ? ops::Percent(static_cast<int>(SetpointRaw(*percent))) + " %" : "";
}

}  // namespace

int RunPorts(const Common& c) {
  const std::vector<PortInfo> ports = ListPorts();
  if (c.json) {
    nlohmann::ordered_json j = nlohmann::ordered_json::array();
    for (const PortInfo& p : ports)
      j.push_back({{"name", p.name}, {"driver", p.driver}, {"about", p.about}});
    SayJson(j);
    return kDone;
  }
  if (ports.empty()) {
    Say("no serial ports found");
    return kDone;
  }
  size_t w = 4;
  for (const PortInfo& p : ports) w = std::max(w, p.name.size());
  Say(Pad("port", w) + "  driver        about");
  for (const PortInfo& p : ports) Say(Pad(p.name, w) + "  " + Pad(p.driver, 12) + "  " + p.about);
  return kDone;
}

int RunScan(const Common& c, const LineArgs& l, const ScanArgs& s) {
  ops::ScanOptions o;
  o.speeds.clear();
  o.protocols.clear();
  if (l.speed == "all") {
    o.speeds = {1, 0, 2};  // the programs' start speed first
  } else {
    std::stringstream in(l.speed);
    std::string part;
    while (std::getline(in, part, ',')) {
      int idx = 0;
      if (!SpeedIndex(part, idx)) {
        Complain("--speed must be 9600, 19200, 38400, a list of them or all, not '" + l.speed +
                 "'");
        return kUsage;
      }
      o.speeds.push_back(idx);
    }
    if (o.speeds.empty()) {
      Complain("--speed must be 9600, 19200, 38400, a list of them or all");
      return kUsage;
    }
  }
  if (l.protocol == "both") {
    o.protocols = {0, 1};
  } else {
    int p = 0;
    if (!ProtocolOf(l.protocol, p)) {
      Complain("--protocol must be kormast, modbus or both, not '" + l.protocol + "'");
      return kUsage;
    }
    o.protocols = {p};
  }
  if (s.from < 1 || s.to > 254 || s.from > s.to) {
    Complain("the address range must lie within 1..254, --from not above --to");
    return kUsage;
  }
  o.first = s.from;
  o.last = s.to;
  o.attemptMs = s.attemptMs;

  Session session;
  int code = kDone;
  if (!session.Open(c, l, o.speeds[0], o.protocols[0], code)) return code;
  CatchStop();
  const bool progress = StderrIsTerminal();
  const auto started = Clock::now();
  const ops::ScanResult r = ops::Scan(session.Line(), o, [&](const ops::ScanProgress& p) {
    if (StopRequested()) return false;
    if (progress) {
      std::fprintf(stderr, "\r\x1b[Kscanning %s baud, %s: address %d, %d of %d asked, %d found",
                   cmd::nUart[p.speedIndex], ops::ProtocolTitle(p.protocol), p.address, p.asked,
                   p.total, p.found);
      std::fflush(stderr);
    }
    return true;
  });
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  if (progress) std::fputs("\r\x1b[K", stderr);

  if (c.json) {
    nlohmann::ordered_json j;
    j["found"] = nlohmann::ordered_json::array();
    for (const ops::Identity& id : r.found) j["found"].push_back(ops::ToJson(id));
    j["stopped"] = r.stopped;
    j["seconds"] = std::round(seconds * 10) / 10;
    SayJson(j);
  } else {
    if (r.found.empty()) {
      Say("no regulator answered");
    } else {
      Say("address  kind  serial  format  protocol     speed");
      for (const ops::Identity& id : r.found) {
        Say(Pad(std::to_string(id.address), 7, true) + "  " + Pad(ops::TextsOf(id).kind, 4) + "  " +
            Pad(std::to_string(id.serial), 6, true) + "  " +
            Pad(std::to_string(id.format), 6, true) + "  " +
            Pad(ops::ProtocolTitle(id.protocol), 11) + "  " + cmd::nUart[id.speedIndex]);
      }
    }
    char b[160];
    std::snprintf(b, sizeof b, "%s %zu regulator(s) in %.1f s",
                  r.stopped ? "stopped: found" : "found", r.found.size(), seconds);
    Say(b);
  }
  if (r.failure != Outcome::kAnswered) {
    Complain(PortLostText());
    return kPortFailed;
  }
  return r.found.empty() ? kDeviceFailed : kDone;
}

int RunInfo(const Common& c, const LineArgs& l, int address) {
  Session session;
  int code = kDone;
  if (!session.Open(c, l, code)) return code;
  ops::Line& line = session.Line();
  const int speed = line.SpeedIndex(), protocol = line.Protocol();
  ops::Identity id;
  const Outcome o = ops::Identify(line, address, id);
  if (o != Outcome::kAnswered) {
    if (c.json) SayJson({{"address", address}, {"status", ops::OutcomeName(o)}});
    if (o == Outcome::kPortLost || o == Outcome::kWriteFailed)
      Complain(PortLostText());
    else
      Complain("regulator " + std::to_string(address) + " " + ops::OutcomeName(o) + " at " +
               cmd::nUart[speed] + " baud in " + ops::ProtocolTitle(protocol) +
               ": check the address, --speed and --protocol, or find it with 'regctl scan " +
               l.port + " --speed all --protocol both'");
    return ExitOf(o);
  }
  std::optional<ops::Firmware> fw;
  std::string fwNote;
  if (protocol == 0) {
    ops::Firmware f;
    const Outcome fo = ops::ReadFirmware(line, address, f);
    if (fo == Outcome::kAnswered)
      fw = f;
    else
      fwNote = std::string("not read (") + ops::OutcomeName(fo) + ")";
  } else {
    fwNote = "not available with Modbus";
  }
  if (c.json) {
    auto j = ops::ToJson(id, fw);
    j["status"] = "answered";
    SayJson(j);
    return kDone;
  }
  const ops::StatusTexts t = ops::TextsOf(id);
  const auto mem = id.Memorising();
  Say("regulator " + std::to_string(address) + " on " + l.port + " (" +
      ops::ProtocolTitle(protocol) + ", " + cmd::nUart[speed] + " baud)");
  Say("  serial      " + std::to_string(id.serial) + "  (" + t.caption + ")");
  Say("  kind        " + t.kind);
  Say("  format      " + std::to_string(id.format) +
      (id.format > 5 ? "  (newer status layout)" : "  (older status layout)"));
  Say("  mode        " + t.mode);
  Say("  input       " + t.input);
  Say("  state       " + t.state);
  Say("  valve       " + t.valve);
  Say("  memorising  " + std::string(mem ? (*mem ? "on" : "off") : "not reported"));
  char b[64];
  std::snprintf(b, sizeof b, "%02X %02X", id.status1, id.status6);
  Say(std::string("  status      ") + b + "  (bytes 1 and 6 of the identify answer)");
  Say("  firmware    " + (fw ? fw->Text() : fwNote));
  return kDone;
}

int RunRead(const Common& c, const LineArgs& l, const std::vector<int>& addresses) {
  Session session;
  int code = kDone;
  if (!session.Open(c, l, code)) return code;
  ops::Line& line = session.Line();
  nlohmann::ordered_json all = nlohmann::ordered_json::array();
  if (!c.json) Say("address  serial  setpoint %    flow %  status");
  for (int a : addresses) {
    ops::Reading r = ReadOne(line, a, std::nullopt);
    if (r.outcome == Outcome::kAnswered) {
      ops::Identity id;
      if (ops::Identify(line, a, id) == Outcome::kAnswered) r.serial = id.serial;
    }
    code = Worse(code, ExitOf(r.outcome));
    if (c.json) {
      all.push_back(ops::ToJson(r));
    } else {
      const bool ok = r.outcome == Outcome::kAnswered;
      Say(Pad(std::to_string(a), 7, true) + "  " +
          Pad(r.serial ? std::to_string(*r.serial) : "", 6, true) + "  " +
          Pad(ok ? ops::Percent(r.setpoint) : "", 10, true) + "  " +
          Pad(ok ? ops::Percent(r.flow) : "", 8, true) + "  " + ops::OutcomeName(r.outcome));
    }
    if (r.outcome == Outcome::kPortLost || r.outcome == Outcome::kWriteFailed) break;
  }
  if (c.json) SayJson(all);
  if (code == kPortFailed) Complain(PortLostText());
  return code;
}

int RunSet(const Common& c, const LineArgs& l, int address, const std::vector<std::string>& texts,
           bool yes) {
  int speed = 1, protocol = 0;
  if (!OneLine(l, speed, protocol)) return kUsage;  // before the settings are read
  std::vector<ops::Setting> settings;
  bool confirm = false;
  for (const std::string& t : texts) {
    ops::Setting s;
    std::string error;
    if (!ops::ParseSetting(t, s, error)) {
      Complain(error + " (nothing was sent)");
      return kUsage;
    }
    confirm = confirm || ops::AsksConfirmation(s.key);
    settings.push_back(s);
  }
  if (confirm && !yes && !StdinIsTerminal()) {
    Complain(
        "zero, address and speed are confirmed on a terminal: add --yes to give them "
        "without the question (nothing was sent)");
    return kUsage;
  }
  Session session;
  int code = kDone;
  if (!session.Open(c, l, code)) return code;
  ops::Line& line = session.Line();

  // Every question is asked before anything is sent.
  if (confirm && !yes) {
    for (const ops::Setting& s : settings) {
      if (!ops::AsksConfirmation(s.key)) continue;
      std::string q;
      if (s.key == ops::Key::kZero) {
        ops::Identity id;
        const bool pressure =
            ops::Identify(line, address, id) == Outcome::kAnswered && id.Pressure();
        q = "Регулятор " + std::to_string(address) + ": " + ZeroQuestion(pressure).text;
      } else if (s.key == ops::Key::kAddress) {
        q = "Move regulator " + std::to_string(address) + " to address " + std::to_string(s.value) +
            "?";
      } else {
        q = "Switch regulator " + std::to_string(address) + " to " + cmd::nUart[s.value] +
            " baud? Afterwards it answers only at that speed (--speed " + cmd::nUart[s.value] + ")";
      }
      if (!Confirm(q)) {
        Complain("not confirmed: nothing was sent");
        return kDeviceFailed;
      }
    }
  }

  nlohmann::ordered_json all = nlohmann::ordered_json::array();
  size_t done = 0;
  for (const ops::Setting& s : settings) {
    const int at = address;  // address= moves it
    const ops::SetResult r = ops::Apply(line, address, s);
    ++done;
    if (c.json)
      all.push_back(ops::ToJson(s, r));
    else
      Say(std::to_string(at) + ": " + r.message);
    code = Worse(code, ExitOf(r.outcome));
    // A speed change is reported with each side's speed even when it failed;
    // later settings are not sent after a failure.
    if (r.outcome != Outcome::kAnswered) break;
  }
  if (c.json) SayJson(all);
  if (done < settings.size()) {
    std::string rest;
    for (size_t i = done; i < settings.size(); ++i) rest += " " + settings[i].text;
    Complain("not sent after the failure:" + rest);
  }
  return code;
}

int RunPoll(const Common& c, const LineArgs& l, const PollArgs& p) {
  std::optional<std::chrono::milliseconds> duration;
  if (!p.duration.empty() && !(duration = DurationArg("--duration", p.duration))) return kUsage;
  Recording run;
  int code = kDone;
  if (!run.Start(c, l, p.interval, p.csv, p.addresses, code)) return code;
  Recorder& rec = run.Rec();
  std::vector<bool> answered(p.addresses.size(), false);
  bool lost = false;
  do {
    for (size_t i = 0; i < p.addresses.size() && !StopRequested() && !lost; ++i) {
      ops::Reading r = ReadOne(run.Line(), p.addresses[i], rec.Serial(i));
      if (r.outcome == Outcome::kAnswered && !r.serial) {  // silent at the start
        ops::Identity id;
        if (ops::Identify(run.Line(), p.addresses[i], id) == Outcome::kAnswered) {
          rec.SetSerial(i, id.serial);
          r.serial = id.serial;
        }
      }
      answered[i] = answered[i] || r.outcome == Outcome::kAnswered;
      lost = r.outcome == Outcome::kPortLost || r.outcome == Outcome::kWriteFailed;
      if (!lost) rec.Add(i, r);
    }
    rec.Draw("Ctrl+C ends. " + rec.Summary());
  } while (!lost && !StopRequested() && run.Next(duration, false));
  run.Line().Close();
  if (lost) Complain(PortLostText());
  std::fprintf(stderr, "%s: %s\n", StopRequested() ? "stopped" : "done", rec.Summary().c_str());
  if (lost) return kPortFailed;
  for (bool a : answered)
    if (!a) return kDeviceFailed;  // a regulator never answered
  return kDone;
}

int RunProfile(const Common& c, const LineArgs& l, const ProfileArgs& p) {
  std::optional<double> onStop;
  if (p.onStop != "keep") {
    double v = 0;
    if (p.onStop.rfind("setpoint=", 0) != 0 || !ParseSetpoint(p.onStop.substr(9), v)) {
      Complain("--on-stop must be keep or setpoint=N (N a per cent 0..655.35), not '" + p.onStop +
               "'");
      return kUsage;
    }
    onStop = v;
  }
  std::ifstream in(p.file, std::ios::binary);
  if (!in) {
    Complain("cannot read the profile " + p.file);
    return kUsage;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Profile profile;
  std::string error;
  if (!ParseProfile(text, profile, error)) {
    Complain(p.file + ": " + error);
    return kUsage;
  }
  Recording run;
  int code = kDone;
  if (!run.Start(c, l, p.interval, p.csv, {p.address}, code)) return code;
  ops::Line& line = run.Line();
  Recorder& rec = run.Rec();

  // Where a first-row ramp starts: the setpoint in force now.
  ops::Measurement m;
  const Outcome o = ops::Measure(line, p.address, m);
  if (o != Outcome::kAnswered) {
    Complain("regulator " + std::to_string(p.address) + " " + ops::OutcomeName(o) +
             ": the profile was not started");
    return ExitOf(o);
  }
  const double startPercent = m.setpoint / 100.0;
  int lastRaw = -1;
  std::optional<int> inForce;
  bool failed = false, lost = false, last = false;
  run.Restart();  // the profile's time 0
  do {
    const auto t = std::min(run.Elapsed(), profile.End());
    last = t >= profile.End();
    const double want = profile.SetpointAt(t, startPercent);
    const int raw = static_cast<int>(SetpointRaw(want));
    if (raw != lastRaw) {  // sent again next cycle when it failed
      const ops::SetResult r = SendSetpoint(line, p.address, want);
      if (r.outcome == Outcome::kAnswered) {
        lastRaw = raw;
        inForce = r.setpointInForce;
      } else {
        Complain("setpoint " + ops::Percent(raw) + " %: " + r.message);
        failed = true;
        lost = r.outcome == Outcome::kPortLost || r.outcome == Outcome::kWriteFailed;
      }
    }
    if (!lost) {
      const ops::Reading r = ReadOne(line, p.address, rec.Serial(0));
      lost = r.outcome == Outcome::kPortLost || r.outcome == Outcome::kWriteFailed;
      if (!lost) rec.Add(0, r);
    }
    rec.Draw("profile " + std::to_string(t.count() / 1000) + " of " +
             std::to_string(profile.End().count() / 1000) + " s, setpoint " + ops::Percent(raw) +
             " %. Ctrl+C ends. " + rec.Summary());
  } while (!lost && !last && !StopRequested() && run.Next(profile.End(), true));
  if (lost) {
    Complain(PortLostText() + std::string(": the regulator keeps the last setpoint it took") +
             (inForce ? " (" + ops::Percent(*inForce) + " %)" : std::string()));
    return kPortFailed;
  }
  const char* why = StopRequested() ? "stopped" : "profile done";
  std::string end;
  if (onStop) {
    const ops::SetResult r = SendSetpoint(line, p.address, *onStop);
    if (r.outcome == Outcome::kAnswered) {
      end = "the regulator was set to " + OnStopText(onStop) + " (--on-stop)";
    } else {
      end = "the --on-stop setpoint " + OnStopText(onStop) + " failed: " + r.message +
            "; the regulator keeps " + (inForce ? ops::Percent(*inForce) + " %" : "its setpoint");
      failed = true;
      code = Worse(code, ExitOf(r.outcome));
    }
  } else {
    end = "the regulator keeps the last setpoint" +
          (inForce ? " " + ops::Percent(*inForce) + " %" : std::string());
  }
  if (c.json)
    SayJson({{"end", why}, {"on_stop", end}});
  else
    std::fprintf(stderr, "%s: %s; %s\n", why, end.c_str(), rec.Summary().c_str());
  line.Close();
  if (failed) return Worse(code, kDeviceFailed);
  return code;
}

}  // namespace kvl::regctl
