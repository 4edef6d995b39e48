// What regctl needs of the console: is it a terminal, can it redraw in place,
// and Ctrl+C, which asks a running command to end at its next step.
#pragma once

#include <chrono>
#include <string>

namespace kvl::regctl {

bool StdoutIsTerminal();
bool StdinIsTerminal();
bool StderrIsTerminal();
// Prepares the console: UTF-8 output, escape sequences where the console can
// take them. True when lines can be redrawn in place on stdout.
bool PrepareConsole();

// Ctrl+C (and SIGTERM on Linux) set a flag instead of ending the program.
void CatchStop();
bool StopRequested();
// Sleeps for d, or until a stop is requested. False when stopped.
bool SleepUnlessStopped(std::chrono::milliseconds d);

// Asks a yes/no question on the terminal; true only for an answer beginning
// with y or д.
bool Confirm(const std::string& question);

}  // namespace kvl::regctl
