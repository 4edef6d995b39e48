#include "sim/device_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>

namespace kvl::sim {

namespace {

std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  const auto e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t at = s.find(sep, start);
    parts.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  return parts;
}

bool Int(const std::string& s, long lo, long hi, long& v) {
  const char* b = s.data();
  const char* e = b + s.size();
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    b += 2;
    base = 16;
  }
  auto [p, ec] = std::from_chars(b, e, v, base);
  return ec == std::errc() && p == e && b != e && v >= lo && v <= hi;
}

bool Percent(const std::string& s, double lo, double hi, double& v) {
  const char* b = s.data();
  const char* e = b + s.size();
  auto [p, ec] = std::from_chars(b, e, v);
  return ec == std::errc() && p == e && b != e && std::isfinite(v) && v >= lo && v <= hi;
}

std::string Bad(const std::string& key, const std::string& value, const char* expected) {
  return "bad value '" + value + "' for " + key + " (expected " + expected + ")";
}

std::string ApplyKey(Device& d, const std::string& key, const std::string& value, int64_t nowMs) {
  long v = 0;
  double p = 0;
  auto flag = [&](bool& field) -> std::string {
    if (!Int(value, 0, 1, v)) return Bad(key, value, "0 or 1");
    field = v != 0;
    return "";
  };
  auto number = [&](long lo, long hi, auto& field, const char* what) -> std::string {
    if (!Int(value, lo, hi, v)) return Bad(key, value, what);
    field = static_cast<std::remove_reference_t<decltype(field)>>(v);
    return "";
  };
  auto rawStatus = [&](std::optional<uint8_t>& field) -> std::string {
    if (value == "auto") {
      field.reset();
      return "";
    }
    if (!Int(value, 0, 255, v)) return Bad(key, value, "0..255 or auto");
    field = static_cast<uint8_t>(v);
    return "";
  };

  if (key == "addr") return number(0, 254, d.addr, "0..254");
  if (key == "kind") {
    if (value == "flow" || value == "kvl")
      d.pressure = false;
    else if (value == "pressure" || value == "vpz")
      d.pressure = true;
    else
      return Bad(key, value, "flow or pressure");
    return "";
  }
  if (key == "format") return number(0, 255, d.format, "0..255");
  if (key == "serial") return number(0, 65535, d.serial, "0..65535");
  if (key == "status1") return rawStatus(d.status1);
  if (key == "status3") return rawStatus(d.status3);
  if (key == "status6") return rawStatus(d.status6);
  if (key == "date") {
    const auto parts = Split(value, '-');
    long n[4];
    if (parts.size() != 4) return Bad(key, value, "D-M-Y-V, e.g. 12-5-15-3");
    for (int i = 0; i < 4; ++i)
      if (!Int(parts[i], 0, 255, n[i])) return Bad(key, value, "D-M-Y-V, each 0..255");
    d.day = static_cast<uint8_t>(n[0]);
    d.month = static_cast<uint8_t>(n[1]);
    d.year = static_cast<uint8_t>(n[2]);
    d.version = static_cast<uint8_t>(n[3]);
    return "";
  }
  if (key == "setpoint") {
    if (!Percent(value, 0, 100, p)) return Bad(key, value, "percent 0..100");
    d.setpoint = static_cast<uint16_t>(std::lround(p * 100));
    return "";
  }
  if (key == "flow") {
    if (!Percent(value, -100, 100, p)) return Bad(key, value, "percent -100..100");
    d.flow = d.freeFlow = p;
    d.noise = 0;
    return "";
  }
  if (key == "offset") return number(0, 65535, d.offset, "0..65535");
  if (key == "speed") {
    if (!Int(value, 0, 1000000, v) || (v != 9600 && v != 19200 && v != 38400))
      return Bad(key, value, "9600, 19200 or 38400");
    d.speed = static_cast<unsigned>(v);
    return "";
  }
  if (key == "protocols") {
    if (value != "kormast" && value != "modbus" && value != "both")
      return Bad(key, value, "kormast, modbus or both");
    d.kormast = value != "modbus";
    d.modbus = value != "kormast";
    return "";
  }
  if (key == "speeds") {
    bool can[3] = {false, false, false};
    for (const auto& part : Split(value, '+')) {
      if (part == "9600")
        can[0] = true;
      else if (part == "19200")
        can[1] = true;
      else if (part == "38400")
        can[2] = true;
      else
        return Bad(key, value, "speeds joined by +, e.g. 9600+19200");
    }
    std::copy(can, can + 3, d.speeds);
    return "";
  }
  if (key == "patch") {
    std::vector<Patch> patches;
    if (value != "none") {
      for (const auto& part : Split(value, '+')) {
        const auto f = Split(part, ':');
        long n[3];
        if (f.size() != 3 || !Int(f[0], 0, 255, n[0]) || !Int(f[1], 0, 7, n[1]) ||
            !Int(f[2], 0, 255, n[2]))
          return Bad(key, value, "CODE:BYTE:VALUE joined by +, BYTE 0..7, or none");
        patches.push_back(
            {static_cast<uint8_t>(n[0]), static_cast<uint8_t>(n[1]), static_cast<uint8_t>(n[2])});
      }
    }
    d.faults.patches = patches;
    return "";
  }
  if (key == "regulate") return flag(d.regulate);
  if (key == "digital") return flag(d.digital);
  if (key == "rasre") return flag(d.rasre);
  if (key == "alarm") return flag(d.alarm);
  if (key == "gasset") return flag(d.gasset);
  if (key == "pres45") return flag(d.pres45);
  if (key == "valve") {
    if (value == "regulate")
      d.valve = Valve::kRegulate;
    else if (value == "open")
      d.valve = Valve::kOpen;
    else if (value == "closed" || value == "close")
      d.valve = Valve::kClosed;
    else
      return Bad(key, value, "regulate, open or closed");
    return "";
  }
  if (key == "ext") {
    if (value == "none")
      d.external = External::kNone;
    else if (value == "open")
      d.external = External::kOpen;
    else if (value == "closed" || value == "close")
      d.external = External::kClosed;
    else
      return Bad(key, value, "none, open or closed");
    return "";
  }
  if (key == "silent") return flag(d.faults.silent);
  if (key == "badsum") return flag(d.faults.badsum);
  if (key == "chunks") {
    std::vector<int> sizes;
    if (value != "0" && !value.empty()) {
      for (const auto& part : Split(value, '+')) {
        if (!Int(part, 1, 512, v)) return Bad(key, value, "sizes like 3+3+4, or 0 for none");
        sizes.push_back(static_cast<int>(v));
      }
    }
    d.faults.chunks = sizes;
    return "";
  }
  if (key == "chunk-delay-ms") return number(0, 60000, d.faults.chunkDelayMs, "0..60000");
  if (key == "garbage") return number(0, 256, d.faults.garbage, "0..256");
  if (key == "extra") return number(0, 256, d.faults.extra, "0..256");
  if (key == "turnaround") {
    const auto parts = Split(value, '-');
    long lo = 0, hi = 0;
    if (parts.size() > 2 || !Int(parts[0], 0, 60000, lo) || !Int(parts.back(), 0, 60000, hi) ||
        hi < lo)
      return Bad(key, value, "milliseconds N or LO-HI, 0..60000");
    d.faults.turnaroundMinMs = static_cast<int>(lo);
    d.faults.turnaroundMaxMs = static_cast<int>(hi);
    return "";
  }
  if (key == "answer-from") {
    std::string err = number(1, 1000, d.faults.answerFrom, "1..1000");
    d.repeats = 0;
    d.lastRequest.clear();
    return err;
  }
  if (key == "dropout") {
    if (!Percent(value, 0, 86400, p)) return Bad(key, value, "seconds 0..86400");
    d.faults.silentUntilMs = nowMs + std::llround(p * 1000);
    return "";
  }
  return "unknown key '" + key + "'";
}

}  // namespace

std::string ApplyDeviceText(Device& d, const std::string& text, int64_t nowMs) {
  Device copy = d;
  for (const auto& raw : Split(text, ',')) {
    const std::string item = Trim(raw);
    if (item.empty()) continue;
    const auto eq = item.find('=');
    const std::string key = Trim(item.substr(0, eq));
    const std::string value = eq == std::string::npos ? "1" : Trim(item.substr(eq + 1));
    if (eq == std::string::npos && key != "silent" && key != "badsum" && key != "regulate" &&
        key != "digital" && key != "rasre" && key != "alarm" && key != "gasset" && key != "pres45")
      return "'" + key + "' needs a value (key=value)";
    const std::string err = ApplyKey(copy, key, value, nowMs);
    if (!err.empty()) return err;
  }
  if (!copy.CanRun(copy.speed))
    return "speed " + std::to_string(copy.speed) + " is not among the device's speeds";
  d = copy;
  return "";
}

std::string ParseDevice(const std::string& text, unsigned defaultBaud, Device& out) {
  bool hasAddr = false, hasSerial = false, hasFlow = false;
  for (const auto& raw : Split(text, ',')) {
    const std::string item = Trim(raw);
    if (item.rfind("addr=", 0) == 0) hasAddr = true;
    if (item.rfind("serial=", 0) == 0) hasSerial = true;
    if (item.rfind("flow=", 0) == 0) hasFlow = true;
  }
  if (!hasAddr) return "addr=N is required";
  Device d;
  d.speed = defaultBaud;
  const std::string err = ApplyDeviceText(d, text, 0);
  if (!err.empty()) return err;
  if (!hasSerial) d.serial = static_cast<uint16_t>(1000 + d.addr);
  // A device found running: the flow has settled where it is heading.
  if (!hasFlow) d.flow = d.TargetFlow();
  out = d;
  return "";
}

std::string ReadNetworkFile(const std::string& path, unsigned defaultBaud,
                            std::vector<Device>& out) {
  std::ifstream in(path);
  if (!in) return path + ": cannot be read";
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    const auto hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    line = Trim(line);
    if (line.empty()) continue;
    Device d;
    const std::string err = ParseDevice(line, defaultBaud, d);
    if (!err.empty()) return path + ":" + std::to_string(number) + ": " + err;
    out.push_back(d);
  }
  return "";
}

std::string DescribeDevice(const Device& d) {
  char pct[64];
  std::string s = "addr=" + std::to_string(d.addr);
  s += std::string(" kind=") + (d.pressure ? "pressure" : "flow");
  s += " format=" + std::to_string(d.format);
  s += " serial=" + std::to_string(d.serial);
  std::snprintf(pct, sizeof pct, " setpoint=%.2f", d.setpoint / 100.0);
  s += pct;
  const uint16_t w = d.FlowWord();
  std::snprintf(pct, sizeof pct, " flow=%.2f", ((w & 0x8000) ? -1 : 1) * (w & 0x7FFF) / 100.0);
  s += pct;
  s += std::string(" valve=") + (d.valve == Valve::kOpen     ? "open"
                                 : d.valve == Valve::kClosed ? "closed"
                                                             : "regulate");
  s += std::string(" ext=") + (d.external == External::kOpen     ? "open"
                               : d.external == External::kClosed ? "closed"
                                                                 : "none");
  s += " regulate=" + std::to_string(d.regulate);
  s += " digital=" + std::to_string(d.digital);
  s += " rasre=" + std::to_string(d.rasre);
  s += " speed=" + std::to_string(d.speed);
  s += std::string(" protocols=") + (!d.modbus ? "kormast" : !d.kormast ? "modbus" : "both");
  s += " offset=" + std::to_string(d.offset);
  s += " zero_count=" + std::to_string(d.zeroCount);
  s += " date=" + std::to_string(d.day) + "-" + std::to_string(d.month) + "-" +
       std::to_string(d.year) + "-" + std::to_string(d.version);
  s += " status1=" + std::to_string(d.Status1());
  s += " status6=" + std::to_string(d.Status6());
  s += " silent=" + std::to_string(d.faults.silent);
  s += " badsum=" + std::to_string(d.faults.badsum);
  s += " answer-from=" + std::to_string(d.faults.answerFrom);
  return s;
}

}  // namespace kvl::sim
