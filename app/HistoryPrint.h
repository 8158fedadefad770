#pragma once
// fieldservice --history [NAME|ADDRESS] [--csv]: the service history on
// standard output in UTF-8, newest entry first, as lines or as CSV.
#include <iosfwd>
#include <string>

class AppContext;

// True when the device of the journal has this name (case and trailing
// blanks ignored) or this bus address (hexadecimal, as the window shows it).
struct DeviceIdentity;
bool deviceMatches(const DeviceIdentity& device, const std::string& nameOrAddress);

// Prints the entries of every device matching nameOrAddress (all when empty).
// 0 when printed (or, when the journal is read only and its file is not
// there, said so: 2 then when a device was asked for), 1 when the journal
// cannot be read or one of its queries fails (said through the context,
// and nothing printed), 2 when no device matches. The operation is printed
// by its key ("load", "putback"); each entry with the address and version
// of its time.
int printHistory(AppContext& ctx, const std::string& nameOrAddress, bool csv, std::ostream& out);
