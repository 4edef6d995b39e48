#include "solo/solo_line.h"

#include <cstdio>

#include "solo/solo_messages.h"

namespace kvl::solo {

namespace {
ProgramLine::TellFn TellTo(Services& ui, Dialog* owner) {
  return [&ui, owner](const std::string& text, const std::string& caption) {
    ui.MessageBox(text, caption, MsgButtons::kOk, MsgIcon::kNone,
                  owner ? Owner::kDialog : Owner::kMain, owner);
  };
}
}  // namespace

SoloLine::SoloLine(ByteLink& link, Request& rq, Answer& ans, ExchangeLog& log, Services& ui)
    : ProgramLine(link, rq, ans, log, TellTo(ui, nullptr)), ui_(ui) {
  settings.framing = Framing::kSolo;
}

bool SoloLine::Run(Dialog* owner, const std::function<void()>& command,
                   const std::function<void()>& onLost) {
  return ProgramLine::Run(TellTo(ui_, owner), command, onLost);
}

bool SoloLine::WriteOnce(int port) {
  ContrSum(rq_.com.data(), kFrameSize, 0);
  const WriteResult w = link_.Write(port, rq_.com.data(), kFrameSize);
  // Its problems are told as those of any other write (111 to 114).
  ExchangeResult r;
  r.writeProblems.push_back(w);
  ReportProblems(r, port);
  return w.status == WriteStatus::kDone || w.status == WriteStatus::kCompletionError;
}

void SoloLine::MesOut(int port) {
  log_.Add(SoloAnswerLine(ans_.res.data(), port));
}

void SoloLine::ReportProblems(const ExchangeResult& r, int port) {
  char b[40];
  for (const WriteResult& w : r.writeProblems) {
    switch (w.status) {
      case WriteStatus::kNoHandle:
        std::snprintf(b, sizeof b, "Ошибка111. nofcan=%d", port);
        Tell(b, "WriteCommBlockError");
        break;
      case WriteStatus::kCompletionError:
        Tell("Ошибка записи 112", msg::kError);
        if (w.lineErrors) Tell(RequestDump(rq_.com.data()), "Ошибка записи 113");
        break;
      case WriteStatus::kRefused:
        if (w.lineErrors) {
          std::snprintf(b, sizeof b, "<CE-%u>", w.lineErrors);
          Tell(b, "Ошибка записи 114");
        }
        break;
      default:
        break;
    }
  }
  for (size_t i = 0; i < r.notices.size(); ++i) Tell("ERROR_IO_PENDING", msg::kReadError110);
}

std::pair<std::string, std::string> SoloLine::PortLostMessage(int port) const {
  return {"Порт " + ByteLink::PortName(port) + msg::kDisconnected118, msg::kError};
}

}  // namespace kvl::solo
