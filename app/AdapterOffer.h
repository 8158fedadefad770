#pragma once
// A laptop's COM 1 is /dev/ttyS0, which is there without a UART behind it,
// and an adapter's name changes with the socket it is in. When the COM port
// to connect on leads nowhere and exactly one adapter is plugged in (or one
// Bluetooth link bound), Connect offers to use that adapter instead.
#include <string>

#include "platform/SerialPorts.h"

class AppContext;

struct AdapterOffer {
    bool offer = false;
    int device = -1;      // index in the scan's devices
    std::string path;     // what the COM port is to lead to: the adapter's stable name
};

// Whether to offer, and what: only when configuredPath is missing or has no
// hardware behind it and the scan holds exactly one adapter. A port of the
// machine itself is no adapter: laptops often have one (a management
// engine's serial port) that no bus is wired to.
AdapterOffer singleAdapterOffer(const std::string& configuredPath, const SerialScan& scan);

// Before Connect opens the configured COM port: looks at the serial ports
// present and, when there is an offer, asks the operator once. Yes maps the
// adapter to the COM port in config.ini and returns true; No, no offer, an
// open port or a --port of this run leave everything as it is and return false.
bool offerSingleAdapter(AppContext& ctx);
