// Receive framing with random block splits: the bytes of a line, cut into blocks
// as a port delivers them, with re-arms between answers, in both framings and
// both protocols, armed for any answer or for the answer of one request. A
// plain model of the framing rule (gathered bytes as a vector) runs beside the
// Receiver.
//
// Checks: gathered bytes never exceed the buffer nor, in the network framing,
// rlength; an accepted answer is 3..rlength bytes (network) or 10 (solo), passes
// its check value, holds exactly the bytes gathered since the last reset, and
// stands until the next arm; armed for a request, it belongs to that request
// and the answers dropped are counted; every answer the rule accepts is
// accepted.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <vector>

#include "check.h"
#include "serial/receiver.h"

namespace {

using kvl::fuzz::CheckOk;

struct Model {
  uint32_t rlength = 10;
  bool modbus = false;
  bool solo = false;
  std::vector<uint8_t> gathered;
  bool ready = false;
  std::vector<uint8_t> answer;
  bool matching = false;  // only the answer of rule's request is accepted
  kvl::AnswerRule rule;
  unsigned dropped = 0;

  void Arm(const kvl::AnswerRule& r, bool match, bool so) {
    rule = r;
    rlength = r.rlength;
    modbus = r.fmodbuson != 0;
    solo = so;
    matching = match;
    gathered.clear();
    ready = false;
    dropped = 0;
  }
  void Block(const std::vector<uint8_t>& b) {
    if (b.empty() || ready) return;
    std::vector<uint8_t> add = b;
    // A block that does not fit in the buffer restarts the gathering with itself.
    if (gathered.size() + add.size() > kvl::kResSize) {
      gathered.clear();
      add.resize(std::min(add.size(), kvl::kResSize));
    }
    gathered.insert(gathered.end(), add.begin(), add.end());
    if (!solo) {
      if (gathered.size() > rlength) gathered.clear();
      if (CheckOk(gathered.data(), gathered.size(), modbus)) Passed(gathered.size());
    } else {
      const bool passed = gathered.size() >= 10 && CheckOk(gathered.data(), 10, false);
      if (passed) Passed(10);
      if (gathered.size() > 10) gathered.clear();
    }
  }
  // Bytes that passed the check value: armed for a request, a start of its
  // answer keeps gathering and anything else is dropped.
  void Passed(size_t n) {
    if (matching) {
      switch (kvl::AnswerBelongs(rule, gathered.data(), n)) {
        case kvl::Belongs::kYes:
          break;
        case kvl::Belongs::kNotYet:
          return;
        case kvl::Belongs::kNo:
          gathered.clear();
          ++dropped;
          return;
      }
    }
    Accept(n);
  }
  void Accept(size_t n) {
    answer.assign(gathered.begin(), gathered.begin() + n);
    gathered.clear();
    ready = true;
  }
};

uint32_t PickRlength(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      return in.PickValueInArray<uint32_t>({8, 9, 10, 11});  // the lengths requests set
    case 1:
      return in.ConsumeIntegralInRange<uint32_t>(0, 16);
    case 2:
      return in.ConsumeIntegralInRange<uint32_t>(500, 530);  // around the buffer's size
    default:
      return in.ConsumeIntegral<uint32_t>();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  kvl::Receiver rx;
  Model m;
  auto arm = [&] {
    kvl::AnswerRule rule;
    rule.rlength = PickRlength(in);
    const bool mb = in.ConsumeBool(), so = in.ConsumeBool(), clear = in.ConsumeBool();
    const auto framing = so ? kvl::Framing::kSolo : kvl::Framing::kNetwork;
    const bool match = in.ConsumeBool();
    if (match) {
      // The single-regulator framing waits for the maker's frames only.
      rule.fmodbuson = mb && !so ? 1 : 0;
      for (auto& b : rule.request) b = in.ConsumeIntegral<uint8_t>();
      rx.Arm(rule, framing, clear);
    } else {
      rule.fmodbuson = mb ? 1 : 0;
      rx.Arm(rule.rlength, rule.fmodbuson, framing, clear);
    }
    m.Arm(rule, match, so);
  };
  // The answer, when the model has one. Without one, a wrong acceptance shows
  // as a wrong Pending() count at the next block (an accepted answer ends the
  // gathering), and at the end of the input the receiver is asked once: its
  // wait gives the processor away, which would slow the search down.
  auto check = [&](bool last) {
    if (!m.ready && (!last || rx.Pending() > 0)) return;
    kvl::Answer a;
    const bool got = rx.Wait(0, a);
    FUZZ_CHECK(got == m.ready);
    if (!got) return;
    const auto len = static_cast<uint32_t>(a.mprob);
    if (m.solo) {
      FUZZ_CHECK(len == 10);
    } else {
      FUZZ_CHECK(len >= 3 && len <= m.rlength && len <= kvl::kResSize);
    }
    FUZZ_CHECK(CheckOk(a.res.data(), len, m.modbus && !m.solo));
    FUZZ_CHECK(std::equal(m.answer.begin(), m.answer.end(), a.res.begin()) &&
               m.answer.size() == len);
    if (m.matching)
      FUZZ_CHECK(kvl::fuzz::BelongsTo(m.rule.request.data(), m.modbus && !m.solo, m.rlength,
                                      a.res.data(), len));
  };
  arm();
  while (in.remaining_bytes() > 0) {
    if (in.ConsumeIntegralInRange<int>(0, 15) == 0) {
      check(false);
      arm();
      continue;
    }
    // Blocks as the watcher reads them: mostly up to 80 bytes, sometimes more.
    const size_t n = in.ConsumeBool() ? in.ConsumeIntegralInRange<size_t>(0, 80)
                                      : in.ConsumeIntegralInRange<size_t>(0, 700);
    const std::vector<uint8_t> block = in.ConsumeBytes<uint8_t>(n);
    const bool wasReady = m.ready;
    rx.OnBlock(block.data(), block.size());
    m.Block(block);

    const uint32_t pending = rx.Pending();
    FUZZ_CHECK(pending <= kvl::kResSize);
    if (!m.solo) FUZZ_CHECK(pending <= m.rlength);
    FUZZ_CHECK(pending == m.gathered.size());
    FUZZ_CHECK(rx.Dropped() == m.dropped);
    if (m.ready != wasReady) check(false);
  }
  check(true);
  const std::string diag = rx.Diagnostic();
  FUZZ_CHECK(diag.empty() || diag.rfind("response", 0) == 0);
  return 0;
}
