// The exchange log lines of any receive buffer, answer length, number and port,
// and the dump of a request, compared with lines built independently; and the
// log's list of 14 lines. (The lines an exchange makes are checked with the
// exchange, in the answers target.)
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <string>

#include "check.h"
#include "protocol/exchange_log.h"

namespace {

// printf's "%2X": upper case, padded to 2 with a blank.
void Hex2(std::string& s, uint8_t b) {
  static const char d[] = "0123456789ABCDEF";
  s += b >= 16 ? d[b >> 4] : ' ';
  s += d[b & 15];
}

// Ten bytes as "b0;b1;b2-b3;b4-b5;b6-b7;b8-b9", the form of the maker's lines.
std::string TenBytes(const uint8_t* r) {
  std::string s;
  const char* sep[] = {";", ";", "-", ";", "-", ";", "-", ";", "-"};
  for (int i = 0; i < 10; ++i) {
    s += std::to_string(r[i]);
    if (i < 9) s += sep[i];
  }
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int mprob =
      in.ConsumeBool() ? in.ConsumeIntegralInRange<int>(-2, 520) : in.ConsumeIntegral<int>();
  const int number = in.ConsumeIntegral<int>();
  const int port = in.ConsumeIntegral<int>();
  const int lines = in.ConsumeIntegralInRange<int>(0, 40);
  kvl::Answer a;
  const std::vector<uint8_t> bytes = in.ConsumeRemainingBytes<uint8_t>();
  std::copy_n(bytes.begin(), std::min(bytes.size(), a.res.size()), a.res.begin());
  const uint8_t* r = a.res.data();

  const std::string k = kvl::KormastLine(r, mprob, number);
  FUZZ_CHECK(k == TenBytes(r) + ";" + std::to_string(mprob) + ";" + std::to_string(number));
  FUZZ_CHECK(kvl::SoloAnswerLine(r, port) == TenBytes(r) + ";" + std::to_string(port));
  // A request's ten bytes in pairs: "b0-b1;b2-b3;b4-b5;b6-b7;b8-b9".
  std::string dump;
  for (int i = 0; i < 10; ++i) dump += std::to_string(r[i]) + (i == 9 ? "" : i % 2 ? ";" : "-");
  FUZZ_CHECK(kvl::RequestDump(r) == dump);

  const int n = std::clamp(mprob, 0, static_cast<int>(kvl::kResSize));
  std::string m = "L=:" + std::to_string(mprob) + "Modbus";
  m.reserve(m.size() + 3 * n + 6);
  for (int i = 0; i < n; ++i) {
    Hex2(m, r[i]);
    m += '-';
  }
  if (n == 5 && (r[1] & 0x80)) m += "-error";
  FUZZ_CHECK(kvl::ModbusLine(r, mprob) == m);
  FUZZ_CHECK(kvl::TimeOutLine(number) == "TimeOut" + std::to_string(number));

  // The log keeps the newest 14 lines and tells when the oldest went.
  kvl::ExchangeLog log;
  std::string added;
  bool removed = false;
  log.SetObserver([&](const std::string& line, bool first) {
    added = line;
    removed = first;
  });
  for (int i = 0; i < lines; ++i) {
    const size_t was = log.Lines().size();
    const std::string line = i % 2 ? k : m;
    log.Add(line);
    FUZZ_CHECK(added == line && log.Lines().back() == line);
    FUZZ_CHECK(removed == (was == 14));
    FUZZ_CHECK(log.Lines().size() == std::min<size_t>(was + 1, 14));
    FUZZ_CHECK(log.m_len() == log.Lines().size());
  }
  return 0;
}
