#pragma once
// The byte line under SerialLink. The termios port, the in-process fault line
// and the simulator's line plug in here. Statuses are plain flags: errno and
// driver details stay inside the implementations.

#include <cstdint>
#include <string>

// Why a port could not be opened, as far as the system tells.
enum class PortProblem {
    None,             // opened, or nothing was tried
    Missing,          // no such device (or a link whose target is gone)
    NoPermission,     // the user may not open it
    InUse,            // another program holds it
    NotSerial,        // the path is something other than a serial port
    SettingsRefused,  // the line settings did not take
    NoHardware,       // the port opens, but no UART is behind it (a ttyS without a chip)
    // A port on the network (rfc2217:// or tcp://):
    BadAddress,       // the address is not one (scheme, host, port 1 to 65535, nothing else)
    HostUnknown,      // the host name does not resolve, not in time at least
    Refused,          // the server refused the connection
    NoAnswer,         // the connection was not answered in time
    Stalled,          // connected, but the serial port negotiation did not finish in time
    Other,
    LookupTimedOut,   // the name server did not answer in time
    NotTelnet,        // rfc2217:// to a port that does not speak telnet (a raw port)
    NoComPortOption,  // a telnet server that refuses the COM port option
    LinkLocalNoScope, // an fe80:: address without the interface it is on
    ClosedAtOnce,     // the server closed the connection right after taking it
    RemoteInUse,      // the server says another client holds its serial port
    TlsNotSpoken,     // a TLS scheme to a plain port, or a plain scheme to a TLS port
    TlsExpired,       // the server's certificate expired (or is not valid yet)
    TlsUnknownAuthority,  // the certificate is not signed by an authority we trust
    TlsHostMismatch,  // the certificate is for another host
    TlsFailed,        // the TLS handshake failed otherwise
    ClosedInNegotiation,  // the server hung up while the serial port was being set up
};

struct PortOpenFailure {
    PortProblem problem = PortProblem::None;
    std::string path;        // the device path (or network address) tried
    std::string group;       // NoPermission: the group owning the device, when known
    bool groupMayUse = true; // NoPermission: that group has read and write rights on it
    bool memberNextLogin = false;  // NoPermission: the user is in that group, but not in this session
    std::string holder;      // InUse: the holder's program name, when known
    long holderPid = 0;      // InUse: the holder's process id, 0 when unknown
    bool console = false;    // InUse: the holder is a login console (a getty) on the line
    std::string detail;      // network ports: what the server did or took, in words
};

struct LineErrors {
    bool parity = false;
    bool framing = false;
    bool overrun = false;
};

class ByteTransport {
public:
    virtual ~ByteTransport() = default;

    // Opens and configures the line (9600 baud, 8 data bits, even parity with
    // input checking, 1 stop bit, raw, no flow control, DTR and RTS low),
    // saving the settings found. False leaves nothing held.
    virtual bool open(const std::string& devicePath) = 0;
    // Why the last open failed. A transport that cannot tell says Other.
    virtual PortOpenFailure lastOpenFailure() const {
        PortOpenFailure failure;
        failure.problem = PortProblem::Other;
        return failure;
    }
    // Puts the saved settings back and releases the line; true when all were accepted.
    virtual bool close() = 0;

    enum class ReadStatus { Byte, Timeout, Failed };
    // One byte within timeoutMs.
    virtual ReadStatus readByte(uint32_t timeoutMs, uint8_t& byte) = 0;
    // Writes one byte and waits until it has left the transmitter.
    virtual bool writeByte(uint8_t byte) = 0;
    // Discards both queues.
    virtual bool purge() = 0;
    // Takes and clears the line errors seen since the last call; false when
    // the error state cannot be read (a port failure: the port is gone, and
    // the link closes it). Once false, it stays false until the next open.
    virtual bool takeErrors(LineErrors& errors) = 0;
    // How long before the end of a timed wait the line stops sleeping and
    // watches the clock instead (see Clock::waitUntil). Lines that do not
    // sleep on a real clock ignore it.
    virtual void setClockWatch(uint32_t watchMicros) { (void)watchMicros; }
};
