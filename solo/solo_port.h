// Opening and closing regsolo's port, and its speed change. Only the current
// port (port0) has a watcher; closing a port whose regulator is connected first
// tells the regulator with the closing frame.
#pragma once

#include "solo/solo_state.h"

namespace kvl::solo {

// Opens port index `port` with the wait cursor shown. On failure shows the port
// name with caption ".Ошибка109" (the device could not be opened) or
// ".Ошибка108" (its watcher could not start), and returns false.
bool OpenConnection(SoloContext& c, int port);

// Sends the closing frame when the port's regulator is connected and the port
// has not gone away (a failed write shows message 102), clears the connected
// flag and closes the port. When
// the port is port0 and the caller is the main window, greys "Открыть",
// "Закрыть" and "Аналоговый".
void CloseConnection(SoloContext& c, int port, bool fromMainWindow);

// Switches the computer's port to the speed of the speed index.
bool SetupConn(SoloContext& c, int port, int speedIndex);

}  // namespace kvl::solo
