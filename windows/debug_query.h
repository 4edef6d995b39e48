// A read-only query the main window answers for test tools: another process
// cannot read a window's menu states or scroll ranges under Wine, so the program
// answers a WM_COPYDATA carrying this record (dwData = kDebugQueryMagic). The
// result is the SendMessage value; 0 always means "unknown". Nothing is changed.
#pragma once

#include <cstdint>

namespace kvl::win {

constexpr uintptr_t kDebugQueryMagic = 0x4B564C51;  // "KVLQ"

enum DebugOp : int32_t {
  kQueryMenuState = 1,  // arg: command id -> 1 enabled, 2 greyed, 3 no such item
  kQueryBarCount = 2,   // -> number of menu-bar items + 1
  kQueryBarItemId = 3,  // arg: position -> command id + 2, 1 for a popup, 0 none
  kQueryScrollMax = 4,  // arg: 0 horizontal, 1 vertical -> range maximum + 1
  kQueryScrollPos = 5,  // arg: 0 horizontal, 1 vertical -> thumb position + 1
  // The texts the window's last WM_PAINT drew (those TextOutW accepted):
  kQueryPaintCount = 6,  // -> number of texts + 1
  kQueryPaintChar = 7,   // arg: text * 65536 + position -> UTF-16 unit + 2, 1 past the end
  // Every line of the exchange log list at one moment (read item by item from
  // outside, a list that grows while the program polls would mix two states):
  // arg is the asking process's id; the window writes the lines, UTF-16, each
  // ended by a 0, into that process's file mapping kLogMappingPrefix + id, of
  // kLogMappingBytes.
  kQueryLogLines = 8,  // arg: process id -> number of lines + 1
};

constexpr wchar_t kLogMappingPrefix[] = L"kvl-log-";
constexpr unsigned kLogMappingBytes = 1u << 18;

struct DebugQuery {
  int32_t op;
  int32_t arg;
};

}  // namespace kvl::win
