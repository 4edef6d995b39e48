#include "protocol/transaction.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "protocol/modbus.h"

namespace kvl {

namespace {
std::string RequestDump(const Request& rq) {
  const auto& c = rq.com;
  char b[80];
  std::snprintf(b, sizeof b, "%d-%d;%d-%d;%d-%d;%d-%d;%d-%d", c[0], c[1], c[2], c[3], c[4], c[5],
                c[6], c[7], c[8], c[9]);
  return b;
}
}  // namespace

bool Transaction::ReportWrite(const WriteResult& w, int port) {
  char b[80];
  switch (w.status) {
    case WriteStatus::kDone:
      return true;
    case WriteStatus::kNoHandle:
      std::snprintf(b, sizeof b, solo_ ? "Ошибка111. nofcan=%d" : "nofcan=%d", port);
      ui_.MessageBox(b, "WriteCommBlockError");
      return false;
    case WriteStatus::kCompletionError:
      if (solo_) {
        ui_.MessageBox("Ошибка записи 112", "Error");
        if (w.lineErrors) ui_.MessageBox(RequestDump(rq_), "Ошибка записи 113");
      } else {
        ui_.MessageBox("Ошибка записи1WriteCommBlock", "KVL30");
        if (w.lineErrors) ui_.MessageBox(RequestDump(rq_), "Ошибка записи2,WriteCommBlock");
      }
      return true;
    case WriteStatus::kPortLost:
      return false;
    case WriteStatus::kRefused:
      if (solo_ && w.lineErrors) {
        std::snprintf(b, sizeof b, "<CE-%u>", w.lineErrors);
        ui_.MessageBox(b, "Ошибка записи 114");
      }
      return false;
  }
  return false;
}

void Transaction::ReportNotices() {
  for (size_t i = 0, n = link_.TakeNotices().size(); i < n; ++i)
    ui_.MessageBox("ERROR_IO_PENDING", solo_ ? ".Ошибка110" : "ReadComBlock", MsgButtons::kOk,
                   MsgIcon::kNone, Owner::kNone);
}

int Transaction::ComWrite(int nofcoma) {
  f_com_end = 0;
  port0_err = 0;
  const uint32_t wlen = solo_ ? static_cast<uint32_t>(kFrameSize) : rq_.wlength;
  const int modbus = solo_ ? 0 : rq_.fmodbuson;
  Receiver& rx = link_.Rx(nofcoma);
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    ContrSum(rq_.com.data(), wlen, modbus);
    if (!solo_) {  // the answer of this exchange starts empty
      std::fill_n(ans_.res.begin(), std::min<size_t>(rq_.rlength, kResSize), 0);
      ans_.mprob = 0;
    }
    rx.Arm(solo_ ? kFrameSize : rq_.rlength, modbus, solo_ ? Framing::kSolo : Framing::kNetwork,
           !solo_);
    if (!ReportWrite(link_.Write(nofcoma, rq_.com.data(), wlen), nofcoma)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(refusedPauseMs));
      continue;
    }
    if (rx.Wait(attemptMs, ans_)) {
      if (modbus && IsModbusException(ans_.res.data(), static_cast<size_t>(ans_.mprob))) {
        log_.Add(ModbusLine(ans_.res.data(), ans_.mprob));
        break;
      }
      port0_err = 1;
      break;
    }
    if (modbus) buf = rx.Diagnostic();
    log_.Add(TimeOutLine(attempt));
  }
  ReportNotices();
  f_com_end = 1;
  return port0_err;
}

bool Transaction::WriteOnce(int port) {
  ContrSum(rq_.com.data(), kFrameSize, 0);
  const WriteResult w = link_.Write(port, rq_.com.data(), kFrameSize);
  return w.status == WriteStatus::kDone || w.status == WriteStatus::kCompletionError;
}

void Transaction::MesOut(int number) {
  if (solo_)
    log_.Add(SoloLine(ans_.res.data(), number));
  else if (rq_.fmodbuson)
    log_.Add(ModbusLine(ans_.res.data(), ans_.mprob));
  else
    log_.Add(KormastLine(ans_.res.data(), ans_.mprob, number));
}

}  // namespace kvl
