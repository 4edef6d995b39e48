// A setpoint profile: rows of a time from the start, a setpoint in per cent
// and whether to step to it at that time or ramp to it from the row before.
//
//   # comment lines and blank lines are ignored; a first line naming the
//   # columns (time,setpoint,mode) is skipped
//   0,20,step       at the start, 20 %
//   30s,60,ramp     from 20 % at 0 s to 60 % at 30 s, in a straight line
//   90,60,step      hold 60 % until 90 s: the profile ends with its last row
//
// Times are durations ("700ms", "30s", "2m", plain seconds); setpoints are
// read as the setpoint dialog reads them (0..655.35 %); fields are separated by
// commas or semicolons. A ramp in the first row starts from the setpoint the
// regulator has when the profile starts.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace kvl::regctl {

struct ProfileRow {
  std::chrono::milliseconds at{0};
  double percent = 0;
  bool ramp = false;
  int line = 0;  // in the file
};

struct Profile {
  std::vector<ProfileRow> rows;  // in time order
  std::chrono::milliseconds End() const {
    return rows.empty() ? std::chrono::milliseconds(0) : rows.back().at;
  }
  // The setpoint the profile asks for at time t; `start` is the setpoint in
  // force when the profile began (before the first row, and where a first-row
  // ramp starts).
  double SetpointAt(std::chrono::milliseconds t, double start) const;
};

// Parses the text of a profile file. False with "line N: reason" in error.
bool ParseProfile(const std::string& text, Profile& out, std::string& error);

}  // namespace kvl::regctl
