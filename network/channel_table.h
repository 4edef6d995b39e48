// The channel table of the network programs: one record per regulator on the
// line (Data), its valve state (Satv) and its last measurement (Mem), plus the
// variant record of the program (network/variant.h).
#pragma once

#include <array>
#include <cstdint>

#include "network/variant.h"

namespace kvl {

struct tagData {
  uint32_t n_ofqx = 0;  // serial number
  int32_t avar = 0;     // alarm
  int32_t zifra = 0;    // digital setpoint input
  int32_t regu = 0;     // regulation mode
  int32_t pres = 0;     // works as ВПЗ
  int32_t f45pres = 0;  // cannot be switched to КВЛ
  int32_t fgasset = 0;  // cannot be switched to ВПЗ
  int32_t f10volt = 0;  // regnet9 only
  uint32_t comm = 0;    // port index, record 0 only
  int32_t svjac = 0;    // linked and polled
  int32_t net = 0;      // network address
  int32_t rasre = 0;    // mode memorising (regnet9 only)
  uint32_t your = 0;    // firmware date (regnet9 only)
  uint32_t month = 0;
  uint32_t day = 0;
  uint32_t ver = 0;
};

struct Satvor {
  int32_t fp15 = 0;     // valve opened by the external signal
  int32_t fm15 = 0;     // valve closed by the external signal
  int32_t fsatvor = 0;  // valve status bit
  int32_t fsaton = 0;   // valve opened by program command
  int32_t fsatoff = 0;  // valve closed by program command
  int32_t sad_out = 0;  // setpoint minus flow, hundredths of a per cent
};

struct tagMem {
  uint32_t memSize = 0;
  char nsap1 = 0;
  uint32_t despns2 = 0;  // last setpoint, hundredths of a per cent
  int32_t adcA3 = 0;     // last flow, hundredths of a per cent
  uint32_t temp15 = 0;
  char ch8islo[16] = {};
  uint32_t baza22 = 0;
  uint32_t spare = 0;
};

constexpr int kMaxRecords = 11;

struct ChannelTable {
  explicit ChannelTable(const Variant& v) : variant(&v) {}
  const Variant* variant;
  std::array<tagData, kMaxRecords> Data{};
  std::array<Satvor, 10> Satv{};
  std::array<tagMem, 10> Mem{};
  std::array<uint32_t, 10> m_count1{};
  int cnl2 = 0;  // the active channel

  int Channels() const { return variant->channels; }
  bool Valid(int ch) const { return ch >= 0 && ch < variant->channels; }
  // Clears svjac of every channel: nothing is polled any more.
  void UnlinkAll();
  // First channel with svjac = 1, or -1.
  int FirstLinked() const;
};

}  // namespace kvl
