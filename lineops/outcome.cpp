#include "lineops/outcome.h"

namespace kvl::ops {

const char* OutcomeName(Outcome o) {
  switch (o) {
    case Outcome::kAnswered:
      return "answered";
    case Outcome::kSilent:
      return "silent";
    case Outcome::kRefused:
      return "refused";
    case Outcome::kWriteFailed:
      return "write_failed";
    case Outcome::kPortLost:
      return "port_lost";
  }
  return "silent";
}

}  // namespace kvl::ops
