// <windows.h> for the shell. Its MessageBox macro would rename
// Services::MessageBox in the files that see it; the shell calls MessageBoxW.
#pragma once

#include <windows.h>

#undef MessageBox
