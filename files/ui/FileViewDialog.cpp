#include "files/ui/FileViewDialog.h"
#include "session/ui/WindowNameQt.h"

#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>

#include "session/AppContext.h"
#include "widgets/DialogKeysQt.h"
#include "widgets/DialogUnitsQt.h"
#include "widgets/MonospacedFontQt.h"
#include "widgets/ResizeAnchorsQt.h"
#include "widgets/ResultLineQt.h"
#include "widgets/ShellTextQt.h"
#include "texts/TextTable.h"

FileViewDialog::FileViewDialog(const AppContext& ctx, QWidget* parent, uint32_t frameText, bool editable) : QDialog(parent) {
    DialogUnits du(this);
    setWindowTitle(shellText(ctx.settings.windowTitle));
    nameWindow(this, ctx, frameText);
    resize(du.size(521, 184));

    auto* frame = new QGroupBox(shellText(ctx.texts, frameText), this);
    frame->setObjectName("11000");
    frame->setGeometry(du.rect(7, 6, 507, 157));

    auto* heading = new QLabel(shellText(ctx.texts, 2561), this);
    heading->setObjectName("11001");
    heading->setGeometry(du.rect(15, 26, 488, 10));
    heading->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    heading->setTextFormat(Qt::PlainText);

    area_ = new QPlainTextEdit(this);
    area_->setObjectName("11002");
    area_->setGeometry(du.rect(14, 41, 490, 117));
    area_->setReadOnly(!editable);
    area_->setLineWrapMode(QPlainTextEdit::NoWrap);
    area_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Reports are columns of characters: a fixed-pitch font, 16 pixels high.
    QFont fixed = monospacedFont(16);
    fixed.setWeight(QFont::Normal);
    fixed.setItalic(false);
    fixed.setUnderline(false);
    fixed.setStrikeOut(false);
    area_->setFont(fixed);

    // What Save or an export did, left of the buttons.
    auto* result = new QLabel(this);
    result->setObjectName(QStringLiteral("result"));
    result->setTextFormat(Qt::PlainText);
    result->setGeometry(du.rect(7, 166, 296, 10));
    markResultLine(result);
    auto* save = new QPushButton(shellText(ctx.texts, 2563), this);
    save->setObjectName("11003");
    save->setGeometry(du.rect(417, 164, 44, 14));
    connect(save, &QPushButton::clicked, this, [this] { onSave(); });

    auto* ok = new QPushButton(tr("&OK"), this);
    ok->setObjectName("1");
    ok->setGeometry(du.rect(470, 164, 44, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    enterPressesFocusedButton(this);

    // Made larger, the text area takes the space and the buttons keep their corner.
    anchors_ = new ResizeAnchors(this);
    anchors_->add(frame, ResizeAnchors::Stretch);
    anchors_->add(heading, ResizeAnchors::StretchAcross);
    anchors_->add(area_, ResizeAnchors::Stretch);
    keepAtCorner(save);
    keepAtCorner(ok);
}

void FileViewDialog::keepAtCorner(QWidget* button) { anchors_->add(button, ResizeAnchors::Corner); }

void FileViewDialog::showAreaText(const std::string& content) {
    std::string lines;
    lines.reserve(content.size());
    for (size_t i = 0; i < content.size(); ++i) {
        if (content[i] == '\r' && i + 1 < content.size() && content[i + 1] == '\n') continue;
        lines += content[i];
    }
    area_->setPlainText(QString::fromLatin1(lines.data(), static_cast<qsizetype>(lines.size())));
}

std::string FileViewDialog::areaText() const {
    // The raw text keeps every character as typed (plain text would turn a
    // non-breaking space into a blank); paragraphs become line feeds.
    QString raw = area_->document()->toRawText();
    raw.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    raw.replace(QChar::LineSeparator, QLatin1Char('\n'));
    QByteArray bytes = raw.toLatin1();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}
