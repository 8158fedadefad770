#pragma once
// Telnet with the COM port option (RFC 854, RFC 2217), the client's side,
// as bytes in and bytes out: no socket here. Servers differ in their
// dialect: some wait for our WILL COM-PORT-OPTION, some open with DO, some
// with WILL; any way the RFCs allow to agree on the option is taken, and
// every other option is answered so that no echo or line discipline comes
// between us and the bus.
#include <cstdint>
#include <deque>
#include <string>

class TelnetComPort {
public:
    // The settings asked for, in the order their answers are kept.
    enum Setting { Baud, DataSize, Parity, StopSize, Control, InboundControl, SettingCount };

    // What opens the negotiation from our side.
    void start();
    // Asks for 9600 8E1 without flow control and to be told of line errors.
    void askSettings();
    // Asks for the present baud rate: changes nothing, answered at once by a live server.
    void askBaud();

    // Takes the server's bytes: the bus's bytes go to data, answers to
    // options and requests are queued for output().
    void receive(const uint8_t* bytes, size_t count, std::deque<uint8_t>& data, int64_t nowMs);
    // Appends one byte of ours for the bus, doubled when it is the escape.
    static void encode(uint8_t byte, std::string& out);
    // Bytes to send (answers, requests); taken.
    std::string takeOutput();

    bool spokeTelnet() const { return spokeTelnet_; }    // any telnet command from the server
    bool comPortAgreed() const { return agreed_; }
    bool comPortRefused() const { return refused_ && !agreed_; }
    bool answered(Setting s) const { return answered_[s]; }
    uint32_t value(Setting s) const { return value_[s]; }
    bool allAnswered() const;
    // When the last answer to a request of ours came, 0 before any.
    int64_t lastAnswerMs() const { return lastAnswerMs_; }
    unsigned answerCount() const { return answerCount_; }
    // Line errors told since the last take: parity, framing, overrun.
    bool takeLineErrors(bool& parity, bool& framing, bool& overrun);
    // The server's text before the first telnet command (a busy message, say).
    const std::string& plainText() const { return plainText_; }

private:
    void command(uint8_t verb, uint8_t option);
    void subnegotiation();
    void send(uint8_t verb, uint8_t option);

    enum class In { Data, Escape, Verb, Sub, SubEscape };
    In in_ = In::Data;
    uint8_t verb_ = 0;
    std::string sub_;
    std::string out_;
    bool spokeTelnet_ = false;
    bool agreed_ = false, refused_ = false, sentWill_ = false, sentDo_ = false;
    bool binaryOut_ = false, binaryIn_ = false;
    bool answered_[SettingCount] = {};
    uint32_t value_[SettingCount] = {};
    int64_t lastAnswerMs_ = 0;
    unsigned answerCount_ = 0;
    bool parity_ = false, framing_ = false, overrun_ = false;
    std::string plainText_;
};
