#pragma once
// Operator texts are bytes from the language files: UTF-8 when they are
// valid UTF-8, otherwise taken as Latin-1 (older files). Message boxes want
// plain line breaks.
#include <QString>
#include <QStringDecoder>
#include <string>

inline QString shellText(const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (utf8.hasError()) text = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}
