#include "network/config_file.h"

#include <cstdio>
#include <cstring>
#include <type_traits>

#include "serial/link.h"

namespace kvl {

namespace {

// Fields of a record in file order; regnet5 has only the first seven and then
// comm, svjac, net.
template <class Rec, class F>
void ForEachField(Rec& d, bool rasreField, F f) {
  f(d.n_ofqx);
  f(d.avar);
  f(d.zifra);
  f(d.regu);
  f(d.pres);
  f(d.f45pres);
  f(d.fgasset);
  if (rasreField) f(d.f10volt);
  f(d.comm);
  f(d.svjac);
  f(d.net);
  if (rasreField) {
    f(d.rasre);
    f(d.your);
    f(d.month);
    f(d.day);
    f(d.ver);
  }
}

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t Get32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

const Variant& Other(const Variant& v) {
  return v.channels == kNet9.channels ? kNet5 : kNet9;
}

}  // namespace

std::vector<uint8_t> EncodeTable(const ChannelTable& t) {
  const Variant& v = *t.variant;
  std::vector<uint8_t> out(v.FileSize(), 0);
  for (int r = 0; r < v.records; ++r) {
    uint8_t* p = out.data() + r * v.recordSize;
    ForEachField(t.Data[r], v.rasreField, [&p](auto field) {
      Put32(p, static_cast<uint32_t>(field));
      p += 4;
    });
  }
  return out;
}

void DecodeTable(ChannelTable& t, const uint8_t* src, size_t n) {
  const Variant& v = *t.variant;
  std::vector<uint8_t> img(v.FileSize(), 0);
  std::memcpy(img.data(), src, n < img.size() ? n : img.size());
  for (int r = 0; r < v.records; ++r) {
    const uint8_t* p = img.data() + r * v.recordSize;
    ForEachField(t.Data[r], v.rasreField, [&p](auto& field) {
      field = static_cast<std::remove_reference_t<decltype(field)>>(Get32(p));
      p += 4;
    });
  }
}

LoadResult LoadConfiguration(ChannelTable& t, const std::string& path) {
  const Variant& v = *t.variant;
  LoadResult r;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    r.messages.push_back({"Не могу открыть файл KVL.icx в текущей директории", "Error"});
    r.messages.push_back({"Не читается", "Error"});
    r.endProgram = true;
  } else {
    std::vector<uint8_t> buf(v.FileSize() + 1, 0);
    size_t got = std::fread(buf.data(), 1, buf.size(), f);
    const bool failed = std::ferror(f) != 0;
    long size = -1;
    if (!failed && std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
    std::fclose(f);
    const Variant& o = Other(v);
    if (failed) {
      r.messages.push_back({"Не читается", "Error"});
    } else if (size == static_cast<long>(o.FileSize())) {
      // The layouts carry no mark; the size tells the other program's file.
      char text[300];
      std::snprintf(text, sizeof text,
                    "Файл KVL.icx записан программой %s (%u байт), а %s читает файл "
                    "из %u байт. Запустите %s в отдельной папке со своим файлом KVL.icx.",
                    o.program, o.FileSize(), v.program, v.FileSize(), v.program);
      r.messages.push_back({text, "Error"});
      r.endProgram = true;
    } else {
      DecodeTable(t, buf.data(), got < v.FileSize() ? got : v.FileSize());
    }
  }
  for (int i = 0; i < v.satvRecords; ++i) {
    t.Data[i].svjac = 0;
    t.Satv[i].fsaton = 0;
    t.Satv[i].fsatoff = 0;
    t.m_count1[i] = 0;
  }
  const uint32_t comm = t.Data[0].comm;
  if (comm < static_cast<uint32_t>(kPortCount)) {
    r.port0 = static_cast<int>(comm);
  } else {
    char text[200];
    std::snprintf(text, sizeof text,
                  "В файле KVL.icx номер порта %u вне диапазона COM1-COM10. Выбран порт COM1.",
                  comm);
    r.messages.push_back({text, "Error"});
    r.port0 = 0;
  }
  return r;
}

std::vector<Message> SaveConfiguration(ChannelTable& t, int port0, const std::string& path,
                                       FileSteps& fs) {
  t.Data[0].comm = static_cast<uint32_t>(port0);
  switch (ReplaceFileStart(path, EncodeTable(t), fs)) {
    case SaveFailure::kOpen:
      return {{"Не могу открыть файл KVL.ini в текущей директории", "Error"},
              {"Не пишет", "Error"}};
    case SaveFailure::kWrite:
      return {{"Не пишет", "Error"}};
    default:
      return {};
  }
}

}  // namespace kvl
