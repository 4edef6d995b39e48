// Gathering of answer bytes and the hand-over between the watcher thread, which
// feeds blocks as they arrive, and the main thread, which waits for an answer.
//
// Framing rule of the network programs: there is no start marker and no length
// field. An answer is complete at the first block boundary where the bytes
// gathered since the last reset end in a valid check value of the active
// protocol. Gathering restarts after every accepted answer, after every Arm, and
// whenever more than rlength bytes have piled up; fewer than 3 bytes never pass.
//
// Framing rule of the single-regulator program: the answer is always 10 bytes;
// once 10 or more bytes are gathered the first 10 are tested, and more than 10
// restart the gathering.
//
// Armed with the request it waits for (AnswerRule), the receiver also asks
// whether bytes that pass the check value belong to that request: a shorter
// start of its answer keeps gathering, anything else is dropped and gathering
// restarts, so an answer of another request is never handed over.
//
// An accepted answer is copied out under the lock, and bytes that arrive after it
// are dropped until the next Arm, so a late or repeated answer can never change
// the answer being read.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "protocol/answer_match.h"
#include "protocol/frame.h"

namespace kvl {

enum class Framing { kNetwork, kSolo };

class Receiver {
 public:
  // Resets the receive state for the next answer (main thread, before a write).
  // clearRes: clear bytes 0..rlength-1 of the gathering buffer too. Any answer
  // that passes the check value is accepted.
  void Arm(uint32_t rlength, int fmodbuson, Framing framing, bool clearRes = true);
  // The same, accepting only an answer that belongs to the request of rule.
  void Arm(const AnswerRule& rule, Framing framing, bool clearRes = true);
  // One block read from the port (watcher thread).
  void OnBlock(const uint8_t* p, size_t n);
  // Waits up to ms for an accepted answer and copies it to out (main thread).
  bool Wait(unsigned ms, Answer& out);
  // The bytes gathered so far, as they stand in the gathering buffer (main
  // thread, after a failed wait): out.res gets them, out.mprob is 0.
  void Gathered(Answer& out) const;
  // Answers that passed the check value but belonged to another request,
  // dropped since the last Arm.
  unsigned Dropped() const;
  // Last Modbus check mismatch text ("response..."), empty when none.
  std::string Diagnostic() const;
  // Bytes gathered but not yet accepted.
  uint32_t Pending() const;

 private:
  mutable std::mutex m_;
  std::condition_variable cv_;
  std::array<uint8_t, kResSize> res_{};
  uint32_t mdlina_ = 0;
  uint32_t rlength_ = 10;
  int fmodbuson_ = 0;
  Framing framing_ = Framing::kNetwork;
  AnswerRule rule_;
  bool matching_ = false;  // only answers that belong to rule_ are accepted
  unsigned dropped_ = 0;
  bool ready_ = false;
  std::atomic<bool> readyFlag_{false};      // ready_, readable without the lock
  static constexpr unsigned kSpinUs = 150;  // Wait looks this long before sleeping
  Answer published_;
  std::string diag_;

  void Reset(const AnswerRule& rule, bool matching, Framing framing, bool clearRes);
  // Gathered bytes that passed the check value: true to publish them.
  bool Accept(uint32_t len);
};

}  // namespace kvl
