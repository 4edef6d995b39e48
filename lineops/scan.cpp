#include "lineops/scan.h"

#include <algorithm>

#include "protocol/commands.h"

namespace kvl::ops {

unsigned ShortAttemptMs(int speedIndex, int fmodbuson) {
  // Identify: 10 + 10 bytes in "Кормаст-10м", 8 + 11 in Modbus; 10 bits a byte.
  const unsigned bytes = fmodbuson ? 19 : 20;
  const unsigned baud = cmd::BaudOfIndex(speedIndex);
  return 30 + (bytes * 10 * 1000 + baud - 1) / baud;
}

ScanResult Scan(Line& line, const ScanOptions& o, const ScanProgressFn& progress) {
  ScanResult res;
  const int speed0 = line.SpeedIndex();
  const int proto0 = line.Protocol();
  ScanProgress p;
  const int perPass = o.last >= o.first ? o.last - o.first + 1 : 0;
  p.total = perPass * static_cast<int>(o.speeds.size() * o.protocols.size());
  auto failed = [&res](Outcome out) {
    if (out != Outcome::kPortLost && out != Outcome::kWriteFailed) return false;
    res.failure = out;
    return true;
  };
  for (int speed : o.speeds) {
    if (!line.SetSpeed(speed)) {
      res.failure = line.Lost() ? Outcome::kPortLost : Outcome::kWriteFailed;
      break;
    }
    for (int proto : o.protocols) {
      line.SetProtocol(proto);
      Timing quick = line.timing;
      quick.attempts = 1;
      quick.attemptMs = o.attemptMs ? o.attemptMs : ShortAttemptMs(speed, proto);
      std::vector<int> heard;
      for (int a = o.first; a <= o.last && !res.stopped && res.failure == Outcome::kAnswered; ++a) {
        p.speedIndex = speed;
        p.protocol = proto;
        p.address = a;
        if (progress && !progress(p)) {
          res.stopped = true;
          break;
        }
        ++p.asked;
        Identity id;
        const Outcome out = Identify(line, a, id, &quick);
        if (out == Outcome::kAnswered || out == Outcome::kRefused) heard.push_back(a);
        failed(out);
      }
      // A full exchange confirms each address that answered the short one.
      for (int a : heard) {
        if (res.failure != Outcome::kAnswered) break;
        Identity id;
        const Outcome out = Identify(line, a, id);
        if (out == Outcome::kAnswered) {
          res.found.push_back(id);
          ++p.found;
        }
        failed(out);
      }
      if (res.stopped || res.failure != Outcome::kAnswered) break;
    }
    if (res.stopped || res.failure != Outcome::kAnswered) break;
  }
  std::stable_sort(res.found.begin(), res.found.end(),
                   [](const Identity& a, const Identity& b) { return a.address < b.address; });
  line.SetProtocol(proto0);
  line.SetSpeed(speed0);
  return res;
}

}  // namespace kvl::ops
