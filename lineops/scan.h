// Finding the regulators on a line: every address of a range is asked once
// with a short attempt, at each chosen speed and in each chosen protocol; the
// addresses that answered are then confirmed with a full identify exchange.
#pragma once

#include <functional>
#include <vector>

#include "lineops/regulator.h"

namespace kvl::ops {

struct ScanOptions {
  std::vector<int> speeds{1};     // speed indexes, in this order
  std::vector<int> protocols{0};  // 0 "Кормаст-10м", 1 Modbus
  int first = 1, last = 254;
  unsigned attemptMs = 0;  // the short attempt; 0: ShortAttemptMs of each speed
};

// Long enough for a request and the identify answer to cross the wire at the
// speed, plus 30 ms for the regulator to turn round.
unsigned ShortAttemptMs(int speedIndex, int fmodbuson);

struct ScanProgress {
  int speedIndex = 1;
  int protocol = 0;
  int address = 0;  // being asked now
  int asked = 0;    // addresses asked so far, over all passes
  int total = 0;    // addresses to ask over all passes
  int found = 0;    // regulators confirmed so far
};

// Called before each address; returning false stops the scan (what was found
// so far is returned).
using ScanProgressFn = std::function<bool(const ScanProgress&)>;

struct ScanResult {
  std::vector<Identity> found;           // by address; one address by pass (speed, protocol)
  bool stopped = false;                  // the progress function stopped it
  Outcome failure = Outcome::kAnswered;  // kPortLost / kWriteFailed ended it early
};

// Leaves the line at its speed and protocol of before.
ScanResult Scan(Line& line, const ScanOptions& o, const ScanProgressFn& progress = nullptr);

}  // namespace kvl::ops
