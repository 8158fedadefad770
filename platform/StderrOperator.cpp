#include "platform/StderrOperator.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>

#include "texts/TextEncoding.h"

std::string localeCodeset() {
    // A locale of its own: the global one stays as the program set it (a
    // batch job never calls setlocale, so it is still "C").
    locale_t own = ::newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (!own) return "ANSI_X3.4-1968";
    std::string codeset = ::nl_langinfo_l(CODESET, own);
    ::freelocale(own);
    return codeset;
}

namespace {

bool isUtf8(const std::string& codeset) {
    return strcasecmp(codeset.c_str(), "UTF-8") == 0 || strcasecmp(codeset.c_str(), "UTF8") == 0;
}

// UTF-8 text in codeset; a character the set lacks becomes its nearest
// (a typographic quote a plain one) or "?".
std::string fromUtf8(const std::string& text, const std::string& codeset) {
    iconv_t cd = ::iconv_open((codeset + "//TRANSLIT").c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return text;
    std::string out;
    std::string in = text;
    char* from = in.data();
    size_t left = in.size();
    char buffer[256];
    while (left > 0) {
        char* to = buffer;
        size_t room = sizeof buffer;
        size_t done = ::iconv(cd, &from, &left, &to, &room);
        out.append(buffer, static_cast<size_t>(to - buffer));
        if (done == static_cast<size_t>(-1) && errno != E2BIG) {
            // Nothing near enough: one "?" for the character, then on.
            out += '?';
            ++from;
            --left;
            while (left > 0 && (static_cast<unsigned char>(*from) & 0xC0) == 0x80) {
                ++from;
                --left;
            }
        }
    }
    char* to = buffer;
    size_t room = sizeof buffer;
    ::iconv(cd, nullptr, nullptr, &to, &room);
    out.append(buffer, static_cast<size_t>(to - buffer));
    ::iconv_close(cd);
    return out;
}

}  // namespace

std::string oneLine(const std::string& text) {
    std::string line;
    line.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            line += ' ';
        } else if (c == '\n') {
            line += ' ';
        } else {
            line += c;
        }
    }
    return line;
}

StderrOperator::StderrOperator()
    : out_(std::cerr), codeset_(localeCodeset()), showProgress_(isatty(STDERR_FILENO) == 1) {}

StderrOperator::StderrOperator(std::ostream& out, bool showProgress, std::string codeset)
    : out_(out), codeset_(codeset.empty() ? localeCodeset() : std::move(codeset)), showProgress_(showProgress) {}

std::string StderrOperator::forTerminal(const std::string& text) const {
    std::string utf8 = languageTextAsUtf8(text);
    return isUtf8(codeset_) ? utf8 : fromUtf8(utf8, codeset_);
}

void StderrOperator::writeLine(const std::string& caption, const std::string& text) {
    // Without a caption (the title is empty when no language could be loaded)
    // the line carries the text alone rather than a stray ": ".
    if (!caption.empty()) out_ << forTerminal(oneLine(caption)) << ": ";
    out_ << forTerminal(oneLine(text)) << '\n';
    out_.flush();
}

void StderrOperator::message(const std::string& caption, const std::string& text, MessageIcon) {
    writeLine(caption, text);
}

void StderrOperator::messageTable(const std::string& caption, const std::string& text, MessageIcon) {
    if (!caption.empty()) out_ << forTerminal(oneLine(caption)) << ":\n";
    std::string line;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            out_ << forTerminal(line) << '\n';
            line.clear();
        } else {
            line += text[i];
        }
    }
    out_.flush();
}

bool StderrOperator::question(const std::string& caption, const std::string& text) {
    writeLine(caption, text + " -> No");
    return false;
}

std::optional<std::string> StderrOperator::chooseOpenFile(const FileChoice&) { return std::nullopt; }

std::optional<std::string> StderrOperator::chooseSaveFile(const FileChoice&) { return std::nullopt; }

void StderrOperator::ShowProgress(uint32_t* counter, uint32_t, const std::string& caption) {
    if (counter) *counter = 0;
    progressCaption_ = caption;
    if (showProgress_) writeLine("", caption + " ...");
}

void StderrOperator::HideProgress() {
    if (showProgress_) writeLine("", progressCaption_ + " ... done");
}
