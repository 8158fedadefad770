#pragma once
// Operator texts are bytes from the language files: UTF-8 when they are
// valid UTF-8, otherwise taken as Windows-1252, the code page older files
// were made in (its bytes 0x80-0x9F hold typographic quotes, the euro sign,
// dashes and the like). Message boxes want plain line breaks.
#include <QString>
#include <QStringDecoder>
#include <cstdint>
#include <string>

#include "texts/TextTable.h"

// Windows-1252 to text. The five bytes the code page leaves undefined (0x81,
// 0x8D, 0x8F, 0x90, 0x9D) keep their own value, as in Latin-1, so nothing
// read is lost and writing the text back gives the same bytes.
inline QString fromWindows1252(const char* data, qsizetype size) {
    static constexpr char16_t HIGH[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString text(size, Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < size; ++i) {
        auto byte = static_cast<unsigned char>(data[i]);
        out[i] = byte >= 0x80 && byte < 0xA0 ? QChar(HIGH[byte - 0x80]) : QChar(byte);
    }
    return text;
}

inline QString fromWindows1252(const std::string& bytes) {
    return fromWindows1252(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

inline QString shellText(const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (utf8.hasError()) text = fromWindows1252(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

// Text n of the messages table as the windows show it.
inline QString shellText(const LanguageTexts& texts, uint32_t n) { return shellText(texts.messages.Lookup(n)); }
