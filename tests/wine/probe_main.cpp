// A network program with a link that has no ports: the shell, the resources and
// the real program logic of regnet9 under Wine, before the serial backend is in.
#include <windows.h>

#include "network/net_program.h"
#include "shell/main_window.h"

namespace {

class NoPortLink : public kvl::ByteLink {
 public:
  bool Open(int, bool) override { return false; }
  bool IsOpen(int) const override { return false; }
  bool SetSpeed(int, int) override { return false; }
  void Close(int) override {}
  kvl::WriteResult Write(int, const uint8_t*, size_t) override {
    return {kvl::WriteStatus::kNoHandle, 0};
  }
  kvl::Receiver& Rx(int port) override { return rx_[port]; }

 private:
  kvl::Receiver rx_[kvl::kPortCount];
};

}  // namespace

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, PWSTR, int nCmdShow) {
  NoPortLink link;
  kvl::win::ProgramInfo info;
  info.title = "Net9 Demo КВЛ30";
  info.width = 560;
  info.height = 400;
  info.iconId = 127;
  info.makeLogic = [&link](kvl::Services& ui) {
    return std::make_unique<kvl::NetProgram>(kvl::kNet9, link, ui);
  };
  return kvl::win::RunProgram(inst, nCmdShow, info);
}
