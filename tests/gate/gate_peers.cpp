#include "gate_peers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace kvl::test {

int FreeLoopbackPort() {
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    throw std::runtime_error("no free loopback port");
  close(s);
  return ntohs(a.sin_port);
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < until) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return done();
}

Child::Child(std::vector<std::string> argv, const std::string& logFile) : log_(logFile) {
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork");
  if (pid_ == 0) {
    const int fd = open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    const int null = open("/dev/null", O_RDONLY);
    dup2(null, 0);
    dup2(fd, 1);
    dup2(fd, 2);
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
}

Child::~Child() {
  if (Running()) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

bool Child::Running() {
  if (status_ >= 0) return false;
  int st = 0;
  if (waitpid(pid_, &st, WNOHANG) != pid_) return true;
  status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  return false;
}

int Child::Wait(std::chrono::milliseconds limit) {
  WaitUntil([this] { return !Running(); }, limit);
  return Running() ? -1 : status_;
}

int Child::Stop(int sig, std::chrono::milliseconds limit) {
  if (Running()) kill(pid_, sig);
  return Wait(limit);
}

std::string Child::Log() const {
  std::ifstream in(log_);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

Broker::Broker(const std::string& dir, int port, const std::string& listeners)
    : conf_(dir + "/mosquitto.conf"), log_(dir + "/mosquitto.log"), port_(port) {
  std::ofstream(conf_) << "per_listener_settings true\npersistence false\n"
                       << "listener " << port << " 127.0.0.1\nallow_anonymous true\n"
                       << listeners;
  Start();
}

Broker::~Broker() {
  Stop();
}

void Broker::Start() {
  child_ = new Child({KVL_MOSQUITTO, "-c", conf_}, log_);
  // Ready when it takes connections.
  const bool up = WaitUntil([this] {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port_));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(s);
    return ok;
  });
  if (!up) throw std::runtime_error("mosquitto did not start: " + child_->Log());
}

void Broker::Stop() {
  if (!child_) return;
  child_->Stop(SIGTERM);
  delete child_;
  child_ = nullptr;
}

Subscriber::Subscriber(int port, const std::string& prefix) {
  m_ = mosquitto_new(nullptr, true, this);
  mosquitto_message_callback_set(m_, [](mosquitto*, void* self, const mosquitto_message* m) {
    auto* me = static_cast<Subscriber*>(self);
    std::lock_guard lock(me->mutex_);
    me->messages_.push_back(
        {m->topic,
         std::string(static_cast<const char*>(m->payload), static_cast<size_t>(m->payloadlen)),
         m->retain});
  });
  if (mosquitto_connect(m_, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS)
    throw std::runtime_error("subscriber cannot connect");
  const std::string all = prefix + "/#";
  mosquitto_subscribe(m_, nullptr, all.c_str(), 1);
  mosquitto_loop_start(m_);
}

Subscriber::~Subscriber() {
  mosquitto_disconnect(m_);
  mosquitto_loop_stop(m_, false);
  mosquitto_destroy(m_);
}

std::vector<MqttMessage> Subscriber::Messages() {
  std::lock_guard lock(mutex_);
  return messages_;
}

std::string Subscriber::WaitFor(const std::string& topic,
                                const std::function<bool(const std::string&)>& ok, size_t from,
                                std::chrono::milliseconds limit) {
  std::string found;
  WaitUntil(
      [&] {
        const auto all = Messages();
        for (size_t i = from; i < all.size(); ++i)
          if (all[i].topic == topic && ok(all[i].payload)) found = all[i].payload;
        return !found.empty();
      },
      limit);
  return found;
}

bool Subscriber::Publish(const std::string& topic, const std::string& payload) {
  return mosquitto_publish(m_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                           payload.data(), 1, false) == MOSQ_ERR_SUCCESS;
}

}  // namespace kvl::test
