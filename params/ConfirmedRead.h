#pragma once
// Reading a value again until the line has said it twice.
//
// An answer carries no checksum: a value that loses two adjacent digit bytes
// on the way arrives well-formed, two digits shorter and wrong (a 4-digit
// value as a 2-digit one). One read cannot tell; a second one can, since
// the same loss twice in a row is rare. A shortened answer is never wider
// than the right one, so a read narrower than another of the same parameter
// is known to have lost digits and is set aside.
//
// A device is alive, though: operating hours, start counters and measured
// values change between two reads. Two reads at the full width cannot differ
// by a loss on the line (a loss makes a read narrower), so reads at the full
// width that differ are a value that moves: it is taken from its last read
// and told as moving, never as a line that garbles.
#include <cstdint>
#include <vector>

#include "params/ParameterModel.h"

class DeviceLink;

// Six reads in all: on a line that garbles one long value in twenty, fewer
// than three good reads among six (what a value of unknown width needs)
// happen about once in 10,000 values, fewer than two once in 500,000.
inline constexpr int MAX_CONFIRMING_READS = 6;

enum class Confirmation : uint8_t {
    Agreed,      // two reads in a row at the widest width agree; the reading is theirs
    Failed,      // a read failed on the link (the device lost, the port gone)
    Unsettled,   // too few reads at the widest width within MAX_CONFIRMING_READS
    Moving,      // reads at the widest width differ: the value moves; the reading is the last of them
};

// A parameter whose value changed while it was read: the values its reads
// at the full width gave, in the order read (each once); the last is the
// one kept.
struct MovingValue {
    ParameterNumber number = 0;
    std::vector<uint32_t> seen;
};

// True for a reading that could have lost digits on the way: a value of two
// or more digits (a 2-digit one may be a shortened 4-digit one). An on/off
// answer is a single byte and has no digit pair to lose.
bool needsConfirming(const ParameterReading& reading);

// Reads number again after first (a Present reading of it) until reads in
// a row agree: two when knownDigits gives the width an earlier read of the
// parameter answered in, three when it is 0 (none). A device answers a
// parameter in its own width, so no narrower read counts, and reads that lost
// the same pair cannot agree on a wrong value. As many reads at the widest
// width that are not all equal make the value Moving. At most
// MAX_CONFIRMING_READS reads counting first; on Agreed and Moving, reading is
// the last read at the widest width and *seen (when given) the values those
// reads gave.
Confirmation confirmReading(DeviceLink& link, ParameterNumber number, ParameterReading& reading,
                            uint8_t knownDigits = 0, std::vector<uint32_t>* seen = nullptr);

// Two Present readings of one numeric parameter at the same width with
// different values: the value moved between them (a loss would have made
// one narrower).
bool movedBetween(const ParameterReading& first, const ParameterReading& second);
