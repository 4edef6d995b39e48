#include "network/net_address.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace kvl {

int LeadingNumber(const std::string& text) {
  // long is 64 bits on Linux and 32 on Windows: clamp to the same range on both.
  const long v = std::strtol(text.c_str(), nullptr, 10);
  return static_cast<int>(std::clamp<long>(v, INT_MIN, INT_MAX));
}

bool ParseNet(const std::string& text, int& net) {
  size_t b = text.find_first_not_of(" \t");
  size_t e = text.find_last_not_of(" \t");
  if (b == std::string::npos) {
    net = 0;
    return true;
  }
  int v = 0;
  for (size_t i = b; i <= e; ++i) {
    const char ch = text[i];
    if (ch < '0' || ch > '9') return false;
    v = v * 10 + (ch - '0');
    if (v > kMaxNet) return false;
  }
  net = v;
  return true;
}

}  // namespace kvl
