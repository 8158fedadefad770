#include "platform/TelnetComPort.h"

namespace {
constexpr uint8_t IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240;
constexpr uint8_t BINARY = 0, SGA = 3, COM_PORT = 44;
// COM port option commands, client to server; the server answers each + 100.
constexpr uint8_t SET_BAUDRATE = 1, SET_DATASIZE = 2, SET_PARITY = 3, SET_STOPSIZE = 4, SET_CONTROL = 5,
                  NOTIFY_LINESTATE = 6, SET_LINESTATE_MASK = 10;
constexpr uint8_t PARITY_EVEN = 3, CONTROL_NONE = 1, INBOUND_NONE = 14;
// Line state bits the server notifies.
constexpr uint8_t LINE_OVERRUN = 0x02, LINE_PARITY = 0x04, LINE_FRAMING = 0x08;
}  // namespace

void TelnetComPort::send(uint8_t verb, uint8_t option) {
    out_ += char(IAC);
    out_ += char(verb);
    out_ += char(option);
}

void TelnetComPort::start() {
    // The client asks for the COM port option (RFC 2217 2.1) and for eight
    // clean bits both ways, so that no carriage return is ever stuffed.
    // What the server's own opening already settled is not said again.
    if (!sentWill_ && !sentDo_) send(WILL, COM_PORT), sentWill_ = true;
    if (!binaryOut_) send(WILL, BINARY), binaryOut_ = true;
    if (!binaryIn_) send(DO, BINARY), binaryIn_ = true;
}

namespace {
void subRequest(std::string& out, uint8_t command, const std::string& value) {
    out += char(IAC);
    out += char(SB);
    out += char(COM_PORT);
    out += char(command);
    for (char c : value) {
        out += c;
        if (uint8_t(c) == IAC) out += char(IAC);
    }
    out += char(IAC);
    out += char(SE);
}
std::string baudBytes(uint32_t baud) {
    return {char(baud >> 24), char(baud >> 16), char(baud >> 8), char(baud)};
}
}  // namespace

void TelnetComPort::askSettings() {
    subRequest(out_, SET_BAUDRATE, baudBytes(9600));
    subRequest(out_, SET_DATASIZE, std::string(1, char(8)));
    subRequest(out_, SET_PARITY, std::string(1, char(PARITY_EVEN)));
    subRequest(out_, SET_STOPSIZE, std::string(1, char(1)));
    subRequest(out_, SET_CONTROL, std::string(1, char(CONTROL_NONE)));
    subRequest(out_, SET_CONTROL, std::string(1, char(INBOUND_NONE)));
    subRequest(out_, SET_LINESTATE_MASK, std::string(1, char(LINE_OVERRUN | LINE_PARITY | LINE_FRAMING)));
}

void TelnetComPort::askBaud() { subRequest(out_, SET_BAUDRATE, baudBytes(0)); }

void TelnetComPort::encode(uint8_t byte, std::string& out) {
    out += char(byte);
    if (byte == IAC) out += char(IAC);
}

std::string TelnetComPort::takeOutput() {
    std::string out;
    out.swap(out_);
    return out;
}

bool TelnetComPort::allAnswered() const {
    // Not every server answers the inbound flow control; the rest it must.
    for (int s = Baud; s <= Control; ++s)
        if (!answered_[s]) return false;
    return true;
}

bool TelnetComPort::takeLineErrors(bool& parity, bool& framing, bool& overrun) {
    parity = parity_;
    framing = framing_;
    overrun = overrun_;
    parity_ = framing_ = overrun_ = false;
    return parity || framing || overrun;
}

// Each option is answered once, only when it changes what was said, so two
// sides that disagree never loop.
void TelnetComPort::command(uint8_t verb, uint8_t option) {
    spokeTelnet_ = true;
    switch (verb) {
    case WILL:
        if (option == COM_PORT) {
            agreed_ = true;
            if (!sentDo_) send(DO, COM_PORT), sentDo_ = true;
        } else if (option == BINARY) {
            if (!binaryIn_) send(DO, BINARY), binaryIn_ = true;
        } else if (option == SGA) {
            send(DO, SGA);
        } else {
            // Above all no echo: the bus's bytes only.
            send(DONT, option);
        }
        break;
    case DO:
        if (option == COM_PORT) {
            agreed_ = true;
            if (!sentWill_) send(WILL, COM_PORT), sentWill_ = true;
        } else if (option == BINARY) {
            if (!binaryOut_) send(WILL, BINARY), binaryOut_ = true;
        } else if (option == SGA) {
            send(WILL, SGA);
        } else {
            send(WONT, option);
        }
        break;
    case WONT:
    case DONT:
        if (option == COM_PORT) refused_ = true;
        break;
    default:
        break;
    }
}

void TelnetComPort::subnegotiation() {
    if (sub_.size() < 2 || uint8_t(sub_[0]) != COM_PORT) return;
    const uint8_t cmd = uint8_t(sub_[1]);
    const std::string value = sub_.substr(2);
    auto first = [&] { return value.empty() ? 0u : unsigned(uint8_t(value[0])); };
    auto answer = [&](Setting s, uint32_t v) {
        answered_[s] = true;
        value_[s] = v;
    };
    switch (cmd) {
    case 100 + SET_BAUDRATE:
        if (value.size() >= 4)
            answer(Baud, uint32_t(uint8_t(value[0])) << 24 | uint32_t(uint8_t(value[1])) << 16 |
                             uint32_t(uint8_t(value[2])) << 8 | uint8_t(value[3]));
        break;
    case 100 + SET_DATASIZE: answer(DataSize, first()); break;
    case 100 + SET_PARITY: answer(Parity, first()); break;
    case 100 + SET_STOPSIZE: answer(StopSize, first()); break;
    case 100 + SET_CONTROL: {
        const unsigned v = first();
        if (v == 1 || v == 2 || v == 3 || (v >= 17 && v <= 19)) answer(Control, v);
        else if (v >= 14 && v <= 16) answer(InboundControl, v);
        break;
    }
    case 100 + NOTIFY_LINESTATE: {
        const unsigned v = first();
        if (v & LINE_PARITY) parity_ = true;
        if (v & LINE_FRAMING) framing_ = true;
        if (v & LINE_OVERRUN) overrun_ = true;
        return;
    }
    default:
        if (cmd < 100) return;
        break;
    }
    agreed_ = true;  // a server that answers our requests has the option on, whatever it said of it
}

void TelnetComPort::receive(const uint8_t* bytes, size_t count, std::deque<uint8_t>& data, int64_t nowMs) {
    for (size_t i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        switch (in_) {
        case In::Data:
            if (b == IAC) {
                in_ = In::Escape;
            } else {
                data.push_back(b);
                if (!spokeTelnet_ && plainText_.size() < 200) plainText_ += char(b);
            }
            break;
        case In::Escape:
            if (b == IAC) {
                data.push_back(b);
                in_ = In::Data;
            } else if (b == WILL || b == WONT || b == DO || b == DONT) {
                verb_ = b;
                in_ = In::Verb;
            } else if (b == SB) {
                sub_.clear();
                in_ = In::Sub;
            } else {
                spokeTelnet_ = true;  // NOP, GA, data mark...: nothing for us
                in_ = In::Data;
            }
            break;
        case In::Verb:
            command(verb_, b);
            in_ = In::Data;
            break;
        case In::Sub:
            if (b == IAC) in_ = In::SubEscape;
            else if (sub_.size() < 64) sub_ += char(b);
            break;
        case In::SubEscape:
            if (b == SE) {
                spokeTelnet_ = true;
                const bool wasAnswer = sub_.size() >= 2 && uint8_t(sub_[1]) > 100 && uint8_t(sub_[1]) != 106;
                subnegotiation();
                if (wasAnswer) {
                    lastAnswerMs_ = nowMs;
                    ++answerCount_;
                }
                in_ = In::Data;
            } else {
                if (b == IAC && sub_.size() < 64) sub_ += char(b);
                in_ = In::Sub;
            }
            break;
        }
    }
}
