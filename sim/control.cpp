#include "sim/control.h"

#include <charconv>

#include "sim/device_text.h"

namespace kvl::sim {

namespace {

bool Address(const std::string& s, int& addr) {
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), addr);
  return ec == std::errc() && p == s.data() + s.size() && !s.empty() && addr >= 0 && addr <= 254;
}

std::string Word(const std::string& s, size_t& pos) {
  while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
  const size_t start = pos;
  while (pos < s.size() && s[pos] != ' ' && s[pos] != '\t') ++pos;
  return s.substr(start, pos - start);
}

std::string Rest(const std::string& s, size_t pos) {
  while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
  std::string r = s.substr(pos);
  while (!r.empty() && (r.back() == ' ' || r.back() == '\r' || r.back() == '\n')) r.pop_back();
  return r;
}

}  // namespace

ControlResult RunControl(Line& line, const std::string& command, int64_t nowUs) {
  size_t pos = 0;
  const std::string verb = Word(command, pos);
  const int64_t nowMs = nowUs / 1000;
  line.AdvanceTo(nowUs);
  if (verb == "quit" || verb == "exit") return {"OK", true};
  if (verb == "list") {
    std::string r = "OK";
    for (const auto& d : line.Devices()) r += " " + std::to_string(d.addr);
    return {r};
  }
  if (verb == "add") {
    Device d;
    const std::string err = ParseDevice(Rest(command, pos), line.Baud(), d);
    if (!err.empty()) return {"ERR " + err};
    if (!line.Add(d)) return {"ERR address " + std::to_string(d.addr) + " is already on the line"};
    return {"OK"};
  }
  if (verb == "set" || verb == "get" || verb == "remove") {
    const std::string a = Word(command, pos);
    int addr = 0;
    if (!Address(a, addr)) return {"ERR bad address '" + a + "' (0..254)"};
    if (verb == "remove") {
      if (!line.Remove(addr)) return {"ERR no device at address " + a};
      return {"OK"};
    }
    Device* d = line.Find(addr);
    if (!d) return {"ERR no device at address " + a};
    if (verb == "get") return {"OK " + DescribeDevice(*d)};
    const std::string text = Rest(command, pos);
    if (text.empty()) return {"ERR nothing to set (set ADDR key=value,...)"};
    Device changed = *d;
    const std::string err = ApplyDeviceText(changed, text, nowMs);
    if (!err.empty()) return {"ERR " + err};
    if (changed.addr != addr && line.Find(changed.addr))
      return {"ERR address " + std::to_string(changed.addr) + " is already on the line"};
    *d = changed;
    line.Tick(nowUs);  // note a dropout at once
    return {"OK"};
  }
  if (verb.empty()) return {"ERR empty command"};
  return {"ERR unknown command '" + verb + "' (set, add, remove, get, list, quit)"};
}

}  // namespace kvl::sim
