#include "solo/solo_config.h"

#include <cstdint>
#include <cstdio>

namespace kvl::solo {

SoloConfig LoadSoloConfig(const std::string& path) {
  SoloConfig c;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    c.messages.push_back({"Не могу открыть файл KVL.dfg в текущей директории.Ошибка103", "Error"});
    c.endProgram = true;
    return c;
  }
  uint8_t d[2] = {0, 0};
  std::fread(d, 1, 2, f);
  if (std::ferror(f)) {
    c.messages.push_back({"Не читается.Ошибка105", "Error"});
    d[0] = d[1] = 0;
  }
  std::fclose(f);
  c.address = d[1];
  if (d[0] <= 9) {
    c.port0 = d[0];
  } else {
    char text[160];
    std::snprintf(text, sizeof text,
                  "В файле KVL.dfg номер порта %u вне диапазона COM1-COM10. Выбран порт COM1.Ошибка119",
                  d[0]);
    c.messages.push_back({text, "Error"});
  }
  return c;
}

std::vector<Message> SaveSoloConfig(int port0, int address, const std::string& path,
                                    FileSteps& fs) {
  const std::vector<uint8_t> d = {static_cast<uint8_t>(port0), static_cast<uint8_t>(address)};
  switch (ReplaceFileStart(path, d, fs)) {
    case SaveFailure::kOpen:
      return {{"Не могу открыть файл KVL.dfg в текущей директории.Ошибка103", "Error"}};
    case SaveFailure::kWrite:
      return {{"Не пишет.Ошибка 117", "Error"}};
    default:
      return {};
  }
}

}  // namespace kvl::solo
