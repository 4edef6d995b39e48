#include "reggate/poller.h"

#include <spdlog/spdlog.h>

#include <algorithm>

#include "protocol/commands.h"

namespace kvl::gate {

namespace {

constexpr auto kIdentifyEvery = std::chrono::seconds(10);
constexpr auto kFirstRetry = std::chrono::seconds(1);

}  // namespace

ops::SetResult NotSent(ops::Outcome o, const std::string& why) {
  ops::SetResult r;
  r.outcome = o;
  r.message = why;
  return r;
}

Poller::Poller(const Config& config, Store& store, ByteLink& link)
    : config_(config),
      store_(store),
      line_(std::make_unique<ops::Line>(link, 0)),
      identified_(config.regulators.size()),
      reidentify_(config.regulators.size(), true) {
  line_->SetProtocol(config.line.protocol);
  line_->SetSpeed(config.line.speedIndex);  // taken when the port opens
  down_ = "the port is not open yet";
}

Poller::~Poller() {
  Stop();
}

void Poller::Start() {
  thread_ = std::thread([this] { Run(); });
}

void Poller::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

Poller::Queued Poller::Submit(int address, const ops::Setting& s, Done done) {
  if (!config_.ByAddress(address)) return Queued::kUnknownRegulator;
  if (s.key == ops::Key::kAddress || s.key == ops::Key::kSpeed) return Queued::kNotOffered;
  std::string down;
  {
    std::lock_guard lock(mutex_);
    if (!stop_ && open_) {
      if (jobs_.size() >= kMaxQueued) return Queued::kBusy;
      jobs_.push_back({address, s, std::move(done)});
      wake_.notify_all();
      return Queued::kYes;
    }
    down = stop_ ? "the gateway is stopping" : down_;
  }
  done(NotSent(ops::Outcome::kPortLost, down));
  return Queued::kYes;
}

void Poller::FailJobs(const std::string& why) {
  std::deque<Job> failed;
  {
    std::lock_guard lock(mutex_);
    failed.swap(jobs_);
  }
  for (Job& j : failed) j.done(NotSent(ops::Outcome::kPortLost, why));
}

bool Poller::OpenLine() {
  const std::string& port = config_.line.port;
  if (line_->Open()) {
    spdlog::info("port {} open at {} baud, {}", port, cmd::nUart[line_->SpeedIndex()],
                 ops::ProtocolTitle(line_->Protocol()));
    store_.SetLine(true, "");
    std::lock_guard lock(mutex_);
    open_ = true;
    return true;
  }
  return false;
}

void Poller::Run() {
  auto retry = std::chrono::duration_cast<std::chrono::milliseconds>(kFirstRetry);
  const auto retryMax = std::chrono::milliseconds(config_.line.retryMaxS * 1000L);
  bool told = false;
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stop_) break;
    }
    if (!line_->IsOpen() && !OpenLine()) {
      const std::string why = "port " + config_.line.port + " cannot be opened";
      if (!told)
        spdlog::error("{}; trying again with growing pauses up to {} s", why,
                      config_.line.retryMaxS);
      told = true;
      store_.SetLine(false, why);
      {
        std::lock_guard lock(mutex_);
        down_ = why;
      }
      FailJobs(why);
      MarkAllLost();
      spdlog::debug("next attempt to open {} in {} ms", config_.line.port, retry.count());
      if (!Idle(SteadyClock::now() + retry)) break;
      retry = std::min(retry * 2, retryMax);
      continue;
    }
    if (told) spdlog::info("port {} is back", config_.line.port);
    told = false;
    retry = std::chrono::duration_cast<std::chrono::milliseconds>(kFirstRetry);

    const auto cycle = SteadyClock::now();
    for (size_t i = 0; i < config_.regulators.size() && !line_->Lost(); ++i) {
      RunJobs();
      {
        std::lock_guard lock(mutex_);
        if (stop_) break;
      }
      if (!line_->Lost()) PollOne(i);
    }
    if (line_->Lost()) {
      const std::string why = "port " + config_.line.port + " was lost";
      spdlog::error("{}: closing it and trying to open it again", why);
      {
        std::lock_guard lock(mutex_);
        open_ = false;
        down_ = why;
      }
      line_->Close();
      store_.SetLine(false, why);
      FailJobs(why);
      MarkAllLost();
      std::fill(reidentify_.begin(), reidentify_.end(), true);
      told = true;
      continue;
    }
    if (!Idle(cycle + std::chrono::milliseconds(config_.line.pollIntervalMs))) break;
  }
  {
    std::lock_guard lock(mutex_);
    open_ = false;
  }
  FailJobs("the gateway is stopping");
  line_->Close();
  store_.SetLine(false, "the gateway stopped");
}

void Poller::MarkAllLost() {
  const auto states = store_.All();
  for (size_t i = 0; i < states.size(); ++i) {
    if (states[i].polled && states[i].reading.outcome == ops::Outcome::kPortLost) continue;
    ops::Reading r;
    r.time = std::chrono::system_clock::now();
    r.address = states[i].address;
    r.outcome = ops::Outcome::kPortLost;
    store_.SetReading(i, r);
  }
}

bool Poller::Idle(SteadyClock::time_point until) {
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      wake_.wait_until(lock, until, [this] { return stop_ || !jobs_.empty(); });
      if (stop_) return false;
      if (jobs_.empty()) return true;  // time is up
    }
    if (!line_->IsOpen()) {
      FailJobs(down_);
      continue;
    }
    RunJobs();
    if (line_->Lost()) return true;  // the cycle notices and reopens
  }
}

void Poller::RunJobs() {
  for (;;) {
    Job job;
    {
      std::lock_guard lock(mutex_);
      if (jobs_.empty() || stop_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    const auto it =
        std::find_if(config_.regulators.begin(), config_.regulators.end(),
                     [&job](const RegulatorConf& r) { return r.address == job.address; });
    const size_t index = static_cast<size_t>(it - config_.regulators.begin());
    const auto state = store_.ByAddress(job.address);
    const ops::Identity* id = state && state->identity ? &*state->identity : nullptr;
    int address = job.address;
    const ops::SetResult r = ops::Apply(*line_, address, job.setting, id);
    spdlog::info("{} {}: {} ({})", it->name, job.setting.text, ops::OutcomeName(r.outcome),
                 r.message);
    reidentify_[index] = true;
    job.done(r);
    if (line_->Lost()) return;
  }
}

void Poller::PollOne(size_t index) {
  const int address = config_.regulators[index].address;
  const auto now = SteadyClock::now();
  const auto before = store_.ByAddress(address);
  if (reidentify_[index] || !before->Linked() || now - identified_[index] >= kIdentifyEvery) {
    ops::Identity id;
    const ops::Outcome o = ops::Identify(*line_, address, id);
    if (o == ops::Outcome::kAnswered) {
      store_.SetIdentity(index, id);
      identified_[index] = now;
      reidentify_[index] = false;
    } else {
      ops::Reading r;
      r.time = std::chrono::system_clock::now();
      r.address = address;
      r.outcome = o;
      if (before->Linked() || !before->polled)
        spdlog::warn("{} (address {}): {}", config_.regulators[index].name, address,
                     ops::OutcomeName(o));
      store_.SetReading(index, r);
      return;
    }
  }
  ops::Measurement m;
  ops::Reading r;
  r.outcome = ops::Measure(*line_, address, m);
  r.time = std::chrono::system_clock::now();
  r.address = address;
  r.setpoint = m.setpoint;
  r.flow = m.flow;
  if (r.outcome != ops::Outcome::kAnswered && before->Linked())
    spdlog::warn("{} (address {}): {}", config_.regulators[index].name, address,
                 ops::OutcomeName(r.outcome));
  if (r.outcome == ops::Outcome::kAnswered && !before->Linked())
    spdlog::info("{} (address {}) linked", config_.regulators[index].name, address);
  store_.SetReading(index, r);
}

}  // namespace kvl::gate
