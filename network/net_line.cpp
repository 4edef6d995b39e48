#include "network/net_line.h"

#include <cstdio>

namespace kvl {

ProgramLine::TellFn NetLine::TellTo(Services& ui, Dialog* owner) {
  return [&ui, owner](const std::string& text, const std::string& caption) {
    ui.MessageBox(text, caption, MsgButtons::kOk, MsgIcon::kNone,
                  owner ? Owner::kDialog : Owner::kMain, owner);
  };
}

void NetLine::MesOut(int number) {
  if (outcome == Outcome::kRefused) return;
  if (rq_.fmodbuson)
    log_.Add(ModbusLine(Raw().data(), static_cast<int>(Raw().size())));
  else
    log_.Add(KormastLine(ans_.res.data(), ans_.mprob, number));
}

void NetLine::ReportProblems(const ExchangeResult& r, int port) {
  for (const WriteResult& w : r.writeProblems) {
    switch (w.status) {
      case WriteStatus::kNoHandle: {
        char b[40];
        std::snprintf(b, sizeof b, "nofcan=%d", port);
        Tell(b, "WriteCommBlockError");
        break;
      }
      case WriteStatus::kCompletionError:
        Tell("Ошибка записи1WriteCommBlock", "KVL30");
        if (w.lineErrors) Tell(RequestDump(rq_.com.data()), "Ошибка записи2,WriteCommBlock");
        break;
      default:  // a refused write is retried without a message
        break;
    }
  }
  for (size_t i = 0; i < r.notices.size(); ++i) Tell("ERROR_IO_PENDING", "ReadComBlock");
}

std::pair<std::string, std::string> NetLine::PortLostMessage(int port) const {
  return {"Порт " + ByteLink::PortName(port) + " отключен", "ErrorSvjac"};
}

}  // namespace kvl
