#pragma once
// A serial port lost while in use: the adapter pulled out, the line hung up,
// the driver refusing every call. The link closes such a port at once; this
// tells the operator once, drops the device and remembers which port went,
// so that the window can say so and offer to connect again when it is back.
#include <string>

class AppContext;

// When the link lost its port and the loss was not told yet: shows the
// message naming the port (the only message the loss gives), clears
// deviceSelected, records the port in the window's lostPort and renders the
// panel. True when the loss was told now or earlier in the same command
// (see FrameState::portLossTold): the caller's own failure message is then
// left out.
bool reportPortLoss(AppContext& ctx);

// The status row's text for the lost port.
std::string lostPortStatus(const AppContext& ctx);

// Whether the port that was lost can be opened again: its path (the same
// /dev/serial/by-id name when that was used) leads to a device again.
bool lostPortIsBack(const AppContext& ctx);

// Yes/No: connect again to the port that is back.
bool askReconnect(AppContext& ctx);

// Forgets a loss (the port was opened again or another port chosen).
void forgetPortLoss(AppContext& ctx);
