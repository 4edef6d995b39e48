// One polled value of a regulator and the way it is recorded: a CSV row (the
// format regctl writes and the programs append with --csv) and the file the
// rows go to, each flushed as it is written.
//
// CSV: a header line, then one row per answer (or per silence), fields
//   time     local time, ISO 8601 with milliseconds and UTC offset
//            (2026-12-07T14:31:42.123+03:00)
//   address  network address of the regulator
//   serial   its serial number, empty when not known
//   setpoint setpoint in per cent, two decimals, empty unless answered
//   flow     measured flow (pressure) in per cent, two decimals, signed
//   status   how the exchange ended: answered, silent, refused, write_failed,
//            port_lost
// Comma-separated, '.' as the decimal point, lines ending in "\n".
#pragma once

#include <chrono>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "lineops/outcome.h"

namespace kvl::ops {

struct Reading {
  std::chrono::system_clock::time_point time;
  int address = 0;
  std::optional<uint32_t> serial;
  Outcome outcome = Outcome::kSilent;
  int setpoint = 0;  // hundredths of a per cent, when answered
  int flow = 0;      // hundredths of a per cent, signed, when answered
};

// "2026-12-07T14:31:42.123+03:00" in the local time zone.
std::string IsoLocalTime(std::chrono::system_clock::time_point t);
// A value in hundredths of a per cent as "40.00" / "-12.50".
std::string Percent(int hundredths);

std::string CsvHeader();  // "time,address,serial,setpoint,flow,status"
std::string CsvRow(const Reading& r);

// Appends rows to a file, creating it with the header when it is new or empty.
// Every row is flushed at once. A file that cannot be written is tried again
// with the next row, so recording resumes when the cause goes away.
class CsvFile {
 public:
  enum class Result {
    kWritten,
    kFailed,        // the first row that could not be written
    kStillFailing,  // later rows while the file still cannot be written
  };
  explicit CsvFile(std::string path) : path_(std::move(path)) {}
  // Opens the file now (writing the header when new); false when it cannot.
  bool Open() { return out_.is_open() || OpenForAppend(); }
  Result Append(const Reading& r);
  const std::string& Path() const { return path_; }

 private:
  bool OpenForAppend();
  std::string path_;
  std::ofstream out_;
  bool failing_ = false;
};

// The programs' one message when their --csv file cannot be written:
// "Не могу записать файл " and the path.
std::string CsvFailureText(const std::string& path);

// The programs' command line: "--csv PATH" or "/csv PATH" (any letter case);
// other arguments are left alone, the last --csv counts.
struct CsvOption {
  std::string path;          // empty when not asked for
  bool missingPath = false;  // the option came without a file name
};
CsvOption CsvPathOption(const std::vector<std::string>& args);

}  // namespace kvl::ops
