#include "serial/receiver.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace kvl {

void Receiver::Arm(uint32_t rlength, int fmodbuson, Framing framing, bool clearRes) {
  AnswerRule any;
  any.rlength = rlength;
  any.fmodbuson = fmodbuson;
  Reset(any, false, framing, clearRes);
}

void Receiver::Arm(const AnswerRule& rule, Framing framing, bool clearRes) {
  Reset(rule, true, framing, clearRes);
}

void Receiver::Reset(const AnswerRule& rule, bool matching, Framing framing, bool clearRes) {
  std::lock_guard<std::mutex> lk(m_);
  rule_ = rule;
  matching_ = matching;
  rlength_ = rule.rlength;
  fmodbuson_ = rule.fmodbuson;
  framing_ = framing;
  mdlina_ = 0;
  dropped_ = 0;
  ready_ = false;
  readyFlag_.store(false, std::memory_order_relaxed);
  published_.mprob = 0;
  if (clearRes) std::fill_n(res_.begin(), std::min<size_t>(rlength_, res_.size()), 0);
}

bool Receiver::Accept(uint32_t len) {
  if (!matching_) return true;
  switch (AnswerBelongs(rule_, res_.data(), len)) {
    case Belongs::kYes:
      return true;
    case Belongs::kNotYet:
      return false;
    case Belongs::kNo:
      break;
  }
  mdlina_ = 0;  // another request's answer: gathering starts again
  ++dropped_;
  return false;
}

void Receiver::OnBlock(const uint8_t* p, size_t n) {
  if (n == 0) return;
  std::unique_lock<std::mutex> lk(m_);
  // The first accepted answer stands until the next Arm: bytes that follow it
  // (a second answer, line noise) must not replace what the main thread reads.
  if (ready_) return;
  if (mdlina_ + n > res_.size()) {  // never write past the buffer: restart
    mdlina_ = 0;
    n = std::min(n, res_.size());
  }
  std::memcpy(res_.data() + mdlina_, p, n);
  mdlina_ += static_cast<uint32_t>(n);
  bool passed = false;
  uint32_t len = 0;
  if (framing_ == Framing::kNetwork) {
    if (mdlina_ > rlength_) mdlina_ = 0;
    std::string diag;
    passed = Response(res_.data(), res_.size(), mdlina_, fmodbuson_, &diag) != 0;
    if (!diag.empty()) diag_ = diag;
    len = mdlina_;
    passed = passed && Accept(len);
  } else {
    if (mdlina_ >= kFrameSize) passed = Response(res_.data(), res_.size(), kFrameSize, 0) != 0;
    if (mdlina_ > kFrameSize) mdlina_ = 0;
    len = kFrameSize;
    passed = passed && Accept(len);
  }
  if (passed) {
    published_.res = res_;
    published_.mprob = static_cast<int32_t>(len);
    mdlina_ = 0;
    ready_ = true;
    readyFlag_.store(true, std::memory_order_release);
    lk.unlock();  // the waiter wakes to a free lock
    cv_.notify_all();
  }
}

bool Receiver::Wait(unsigned ms, Answer& out) {
  // A fast device answers within tens of microseconds: look for the answer for a
  // short while before sleeping, which saves the wake-up of this thread.
  const auto spinUntil = std::chrono::steady_clock::now() +
                         std::chrono::microseconds(std::min<unsigned>(ms * 1000, kSpinUs));
  while (!readyFlag_.load(std::memory_order_acquire) &&
         std::chrono::steady_clock::now() < spinUntil)
    std::this_thread::yield();
  std::unique_lock<std::mutex> lk(m_);
  if (!cv_.wait_for(lk, std::chrono::milliseconds(ms), [this] { return ready_; })) return false;
  out = published_;
  return true;
}

void Receiver::Gathered(Answer& out) const {
  std::lock_guard<std::mutex> lk(m_);
  out.res = res_;
  out.mprob = 0;
}

unsigned Receiver::Dropped() const {
  std::lock_guard<std::mutex> lk(m_);
  return dropped_;
}

std::string Receiver::Diagnostic() const {
  std::lock_guard<std::mutex> lk(m_);
  return diag_;
}

uint32_t Receiver::Pending() const {
  std::lock_guard<std::mutex> lk(m_);
  return mdlina_;
}

}  // namespace kvl
