// UTF-8 inside the programs, UTF-16 at the Win32 edge.
#pragma once

#include <string>

namespace kvl::win {

std::wstring Widen(const std::string& s);
std::string Narrow(const std::wstring& s);

}  // namespace kvl::win
