#pragma once
// Reading a value again until the line has said it twice.
//
// An answer carries no checksum: a value that loses two adjacent digit bytes
// on the way arrives well-formed, two digits shorter and wrong (a 4-digit
// value as a 2-digit one). One read cannot tell; a second one can, since
// the same loss twice in a row is rare. A shortened answer is never wider
// than the right one, so a read narrower than another of the same parameter
// is known to have lost digits and is set aside.
#include <cstdint>

#include "params/ParameterModel.h"

class DeviceLink;

// Five reads in all: on a line that garbles one long value in twenty, fewer
// than two good reads among five happen about three times in 100,000
// values; a value that keeps changing (a live counter) gives up after five
// reads, some 50 ms, instead of holding the save up.
inline constexpr int MAX_CONFIRMING_READS = 5;

enum class Confirmation : uint8_t {
    Agreed,      // two reads in a row at the widest width agree; the reading is theirs
    Failed,      // a read failed on the link (the device lost, the port gone)
    Unsettled,   // no two reads in a row agreed within MAX_CONFIRMING_READS
};

// True for a reading that could have lost digits on the way: a value of two
// or more digits (a 2-digit one may be a shortened 4-digit one). An on/off
// answer is a single byte and has no digit pair to lose.
bool needsConfirming(const ParameterReading& reading);

// Reads number again after first (a Present reading of it) until two reads
// in a row agree, at most MAX_CONFIRMING_READS reads counting first. On
// Agreed, reading is the agreed one.
Confirmation confirmReading(DeviceLink& link, ParameterNumber number, ParameterReading& reading);
