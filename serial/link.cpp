#include "serial/link.h"

namespace kvl {

std::string ByteLink::PortName(int port) {
  return "COM" + std::to_string(port + 1);
}

std::vector<LinkNotice> ByteLink::TakeNotices() {
  std::lock_guard<std::mutex> lk(noticesMutex_);
  std::vector<LinkNotice> n;
  n.swap(notices_);
  return n;
}

void ByteLink::Notice(const char* what, uint32_t code) {
  std::lock_guard<std::mutex> lk(noticesMutex_);
  notices_.push_back({what, code});
}

}  // namespace kvl
