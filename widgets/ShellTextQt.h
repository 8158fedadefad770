#pragma once
// Operator texts are bytes from the language files: UTF-8 when they are
// valid UTF-8, otherwise taken as Windows-1252, the code page older files
// were made in (its bytes 0x80-0x9F hold typographic quotes, the euro sign,
// dashes and the like). Message boxes want plain line breaks.
#include <QString>
#include <QStringDecoder>
#include <cstdint>
#include <string>

#include "texts/TextEncoding.h"
#include "texts/TextTable.h"

// Windows-1252 to text (see texts/TextEncoding.h).
inline QString fromWindows1252(const char* data, qsizetype size) {
    QString text(size, Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < size; ++i) out[i] = QChar(windows1252Char(static_cast<unsigned char>(data[i])));
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
