// What both setup dialogs of the network programs share: opening and closing
// the current port at program level, the identify exchange and what its answer
// gives a channel, the "Вывести на экран" menu-bar item, and saving the
// configuration with its messages shown to the operator.
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

// One identify request for channel ch at network address addr on the current
// port. On success the answer is logged and c.s.ans holds it in the maker's
// layout. logFailure also logs what a failed exchange gathered. Returns true when the device
// answered (with Modbus: the device at addr itself, not another one answering a read at address 0).
bool IdentifyExchange(NetContext& c, int ch, int addr, bool logFailure = false);

// After a successful identify exchange: format byte (answer byte 5), serial
// number (bytes 2-3, high first), link flag and the status flags of channel ch.
void TakeIdentity(NetContext& c, int ch);

// Where the "Вывести на экран" item is brought up to date.
enum class ShowMenu {
  kNetworkOk = 1,        // OK of the network formation dialog
  kNetworkCloseBox = 2,  // close box of the network formation dialog: never inserts
  kRegulatorOk = 3,      // OK of the regulator setup dialog: judged on cnl2 alone
};

// Inserts the menu-bar item 836 at position 7 when a channel is linked on an
// open port and removes it when none is. Variants 1 and 2 move cnl2 to the
// lowest linked channel. A failed removal keeps the item counted and, for
// variants 2 and 3, shows "Нет связи" / "List" owned by the dialog.
void UpdateShowMenuItem(NetContext& c, ShowMenu variant, Dialog* owner);

// Writes the configuration file with the current port in record 0 and shows
// any failure message owned by the dialog. Returns true when it was written.
bool SaveConfigurationShown(NetContext& c, Dialog* owner);

}  // namespace kvl
