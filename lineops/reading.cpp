#include "lineops/reading.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace kvl::ops {

namespace {

std::filesystem::path PathOf(const std::string& utf8) {
  // The programs hand over UTF-8; on Windows the path must become UTF-16.
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

bool LocalTime(std::time_t t, std::tm& local, long& offsetSeconds) {
#ifdef _WIN32
  if (localtime_s(&local, &t) != 0) return false;
  std::tm copy = local;
  const std::time_t asUtc = _mkgmtime(&copy);
  if (asUtc == static_cast<std::time_t>(-1)) return false;
  offsetSeconds = static_cast<long>(asUtc - t);
#else
  if (!localtime_r(&t, &local)) return false;
  offsetSeconds = local.tm_gmtoff;
#endif
  return true;
}

}  // namespace

std::string IsoLocalTime(std::chrono::system_clock::time_point t) {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(t.time_since_epoch()).count();
  long long secs = ms / 1000;
  long long milli = ms % 1000;
  if (milli < 0) {
    milli += 1000;
    --secs;
  }
  std::tm local{};
  long offset = 0;
  if (!LocalTime(static_cast<std::time_t>(secs), local, offset)) return "";
  char date[40];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
  const char sign = offset < 0 ? '-' : '+';
  const long a = offset < 0 ? -offset : offset;
  char b[80];
  std::snprintf(b, sizeof b, "%s.%03lld%c%02ld:%02ld", date, milli, sign, a / 3600, a / 60 % 60);
  return b;
}

std::string Percent(int hundredths) {
  const char* sign = hundredths < 0 ? "-" : "";
  const int a = hundredths < 0 ? -hundredths : hundredths;
  char b[32];
  std::snprintf(b, sizeof b, "%s%d.%02d", sign, a / 100, a % 100);
  return b;
}

std::string CsvHeader() {
  return "time,address,serial,setpoint,flow,status";
}

std::string CsvRow(const Reading& r) {
  std::string row = IsoLocalTime(r.time) + "," + std::to_string(r.address) + ",";
  if (r.serial) row += std::to_string(*r.serial);
  row += ",";
  if (r.outcome == Outcome::kAnswered)
    row += Percent(r.setpoint) + "," + Percent(r.flow);
  else
    row += ",";
  row += ",";
  row += OutcomeName(r.outcome);
  return row;
}

bool CsvFile::OpenForAppend() {
  const std::filesystem::path p = PathOf(path_);
  std::error_code ec;
  const auto size = std::filesystem::file_size(p, ec);
  const bool fresh = ec || size == 0;
  out_.open(p, std::ios::out | std::ios::app | std::ios::binary);
  if (!out_) return false;
  if (fresh) out_ << CsvHeader() << '\n';
  return static_cast<bool>(out_);
}

CsvFile::Result CsvFile::Append(const Reading& r) {
  bool ok = out_.is_open() || OpenForAppend();
  if (ok) {
    out_ << CsvRow(r) << '\n';
    out_.flush();
    ok = static_cast<bool>(out_);
  }
  if (ok) {
    failing_ = false;
    return Result::kWritten;
  }
  out_.close();
  out_.clear();
  const Result res = failing_ ? Result::kStillFailing : Result::kFailed;
  failing_ = true;
  return res;
}

std::string CsvFailureText(const std::string& path) {
  return "Не могу записать файл " + path;
}

CsvOption CsvPathOption(const std::vector<std::string>& args) {
  CsvOption o;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string a = args[i];
    for (char& ch : a)
      if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    if (a != "--csv" && a != "/csv") continue;
    if (i + 1 >= args.size() || args[i + 1].empty()) {
      o.missingPath = true;
      o.path.clear();
      break;
    }
    o.path = args[++i];
  }
  return o;
}

}  // namespace kvl::ops
