#include "regctl/profile.h"

#include <sstream>

#include "commands/setpoint_value.h"
#include "regctl/duration.h"

namespace kvl::regctl {

namespace {

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> f;
  std::string cur;
  for (char ch : line) {
    if (ch == ',' || ch == ';') {
      f.push_back(Trim(cur));
      cur.clear();
    } else {
      cur += ch;
    }
  }
  f.push_back(Trim(cur));
  return f;
}

}  // namespace

double Profile::SetpointAt(std::chrono::milliseconds t, double start) const {
  double value = start;
  std::chrono::milliseconds from{0};
  for (const ProfileRow& r : rows) {
    if (t >= r.at) {
      value = r.percent;
      from = r.at;
      continue;
    }
    if (r.ramp) {
      const double span = static_cast<double>((r.at - from).count());
      const double done = static_cast<double>((t - from).count());
      return value + (r.percent - value) * (span > 0 ? done / span : 1.0);
    }
    return value;
  }
  return value;
}

bool ParseProfile(const std::string& text, Profile& out, std::string& error) {
  Profile p;
  std::istringstream in(text);
  std::string raw;
  int n = 0;
  bool first = true;
  while (std::getline(in, raw)) {
    ++n;
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == '#') continue;
    const std::vector<std::string> f = Fields(line);
    if (first && !f.empty() && f[0] == "time") {  // column names
      first = false;
      continue;
    }
    first = false;
    auto fail = [&](const std::string& why) {
      error = "line " + std::to_string(n) + ": " + why;
      return false;
    };
    if (f.size() != 3) return fail("expected time,setpoint,step|ramp, got \"" + line + "\"");
    ProfileRow r;
    r.line = n;
    const auto at = ParseDuration(f[0]);
    if (!at) return fail("bad time \"" + f[0] + "\" (use 30, 30s, 700ms, 2m)");
    r.at = *at;
    if (!ParseSetpoint(f[1], r.percent))
      return fail("bad setpoint \"" + f[1] + "\" (a per cent from 0 to 100)");
    if (f[2] == "ramp")
      r.ramp = true;
    else if (f[2] != "step")
      return fail("expected step or ramp, got \"" + f[2] + "\"");
    if (!p.rows.empty() && r.at < p.rows.back().at)
      return fail("time " + f[0] + " is earlier than the row before");
    p.rows.push_back(r);
  }
  if (p.rows.empty()) {
    error = "the profile has no rows";
    return false;
  }
  out = p;
  return true;
}

}  // namespace kvl::regctl
