// The programs' command line: only "--csv PATH" (or "/csv PATH") is read,
// everything else is left alone as before.
#pragma once

#include <string>

namespace kvl::win {

// The CSV file to record the polled values to, or empty. An option without a
// file name is told in a message box, and nothing is recorded.
std::string CsvPathFromCommandLine();

}  // namespace kvl::win
