// Opening and closing the current port at program level, for both setup
// dialogs of the network programs and the main window.
#pragma once

#include "network/net_program.h"

namespace kvl {

// Who asks for a port to be closed: the menu greying applies only to the main
// window (a dialog has no menu of its own).
enum class Caller { kMainWindow, kDialog };

// True while the current port is open.
bool PortIsOpen(const NetContext& c);

// Opens port n, with a watcher when it is the current port. On success enables
// the accelerator command 257 and "Настройка регулятора" (40048) and greys 256.
// Returns 1 when the port is open, else 0 (the caller tells the operator).
int OpenConnection(NetContext& c, int n);

// Unlinks every channel and closes port n (closing a closed port is harmless).
// When n is the current port and the main window asks, greys the channel
// commands. Returns 1.
int CloseConnection(NetContext& c, int n, Caller caller);

}  // namespace kvl
