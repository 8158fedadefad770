#pragma once
// The simulated device the parameter tests step, search and show on.

// Gaps at 0x0108..0x017C and 0x0202; the table ends at 0x0206.
inline constexpr const char* PumpBus =
    "device 1 PUMP\n"
    " param 0100 4 1000\n"
    " param 0102 onoff on\n"
    " param 0104 2 200\n"
    " param 0106 8 4000000000\n"
    " param 017e 4 5\n"
    " param 0200 2 7 ext\n"
    " param 0204 4 9\n"
    " end 0206\n";
