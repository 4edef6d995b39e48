// "KVL.dfg" of the single-regulator program: two bytes, port index and network
// address. Further bytes of an existing file are left alone.
#pragma once

#include <string>
#include <vector>

#include "network/config_file.h"

namespace kvl::solo {

constexpr const char* kSoloConfigFile = "KVL.dfg";

struct SoloConfig {
  std::vector<Message> messages;  // to be shown in this order
  bool endProgram = false;        // the file is missing
  int port0 = 0;                  // always within 0..9
  int address = 0;
};

// Start-up read. A missing file ends the program (message 103); a failed read
// gives message 105 and zeros; a short file leaves the missing bytes 0; a port
// byte above 9 is replaced by 0 with a message.
SoloConfig LoadSoloConfig(const std::string& path = kSoloConfigFile);

// Writes the two bytes at offset 0, creating the file when missing and keeping
// any further bytes, through a temporary file that replaces the old one in one
// step: a failure leaves the old file as it was.
std::vector<Message> SaveSoloConfig(int port0, int address,
                                    const std::string& path = kSoloConfigFile,
                                    FileSteps& fs = NativeFileSteps());

}  // namespace kvl::solo
