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

#include "protocol/frame.h"

namespace kvl {

enum class Framing { kNetwork, kSolo };

class Receiver {
 public:
  // Resets the receive state for the next answer (main thread, before a write).
  // clearRes: clear bytes 0..rlength-1 of the gathering buffer too.
  void Arm(uint32_t rlength, int fmodbuson, Framing framing, bool clearRes = true);
  // One block read from the port (watcher thread).
  void OnBlock(const uint8_t* p, size_t n);
  // Waits up to ms for an accepted answer and copies it to out (main thread).
  bool Wait(unsigned ms, Answer& out);
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
  bool ready_ = false;
  std::atomic<bool> readyFlag_{false};      // ready_, readable without the lock
  static constexpr unsigned kSpinUs = 150;  // Wait looks this long before sleeping
  Answer published_;
  std::string diag_;
};

}  // namespace kvl
