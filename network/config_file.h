// "KVL.icx": the raw image of the channel table, record after record, every field
// a 32-bit little-endian value (704 bytes for regnet9, 280 for regnet5).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "network/channel_table.h"
#include "network/file_replace.h"

namespace kvl {

// A message box the caller shows: text and caption.
struct Message {
  std::string text;
  std::string caption;
  bool operator==(const Message&) const = default;
};

constexpr const char* kConfigFile = "KVL.icx";

// File image of the table in the variant's layout (variant->FileSize() bytes).
std::vector<uint8_t> EncodeTable(const ChannelTable& t);
// Fills the table from the first n bytes of an image; bytes beyond n count as 0.
void DecodeTable(ChannelTable& t, const uint8_t* p, size_t n);

struct LoadResult {
  std::vector<Message> messages;  // to be shown in this order
  bool endProgram = false;        // the file is missing or belongs to the other program
  int port0 = 0;                  // always within 0..9
};

// Reads the file into the table at start-up. Every channel is left inactive and
// the port index comes from record 0. A file missing, of the other program's
// layout, or with a port index outside 0..9 gives messages; nothing is ever read
// or indexed outside the table.
LoadResult LoadConfiguration(ChannelTable& t, const std::string& path = kConfigFile);

// Writes the table at offset 0 of the file (created when missing; bytes beyond
// the table are kept), with comm of record 0 set to port0, through a temporary
// file that replaces the old one in one step: a failure leaves the old file as
// it was. Returns the failure messages.
std::vector<Message> SaveConfiguration(ChannelTable& t, int port0,
                                       const std::string& path = kConfigFile,
                                       FileSteps& fs = NativeFileSteps());

}  // namespace kvl
