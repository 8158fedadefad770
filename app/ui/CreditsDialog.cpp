#include "app/ui/CreditsDialog.h"
#include "session/ui/WindowNameQt.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "session/AppContext.h"
#include "widgets/DialogKeysQt.h"
#include "widgets/KeyboardReadyQt.h"
#include "widgets/DialogUnitsQt.h"
#include "widgets/ShellTextQt.h"
#include "texts/TextTable.h"

// The resource file lives in a static library: without a reference from code
// that runs, the linker would leave the picture out.
static void initCreditsResources() { Q_INIT_RESOURCE(credits); }

namespace {


QLabel* label(QWidget* parent, const char* id, const QRect& where, const QString& content,
              Qt::Alignment alignment) {
    auto* l = new QLabel(content, parent);
    l->setObjectName(QString::fromLatin1(id));
    l->setGeometry(where);
    l->setAlignment(alignment | Qt::AlignVCenter);
    // Texts come from the language files; an "&" there is a character.
    l->setTextFormat(Qt::PlainText);
    return l;
}

}  // namespace

CreditsDialog::CreditsDialog(const AppContext& ctx, QWidget* parent) : QDialog(parent) {
    initCreditsResources();
    DialogUnits du(this);
    setWindowTitle(shellText(ctx.settings.windowTitle));
    nameWindow(this, ctx, 130);
    setFixedSize(du.size(369, 206));

    auto* group = new QGroupBox(shellText(ctx.texts, 256), this);
    group->setObjectName("1100");
    group->setGeometry(du.rect(7, 7, 355, 175));

    QLabel* product = label(this, "1101", du.rect(10, 17, 349, 16), shellText(ctx.texts, 257), Qt::AlignHCenter);
    // The dialog owns this font: it goes with the label when the dialog closes.
    QFont bold = product->font();
    bold.setPixelSize(20);
    bold.setBold(true);
    product->setFont(bold);
    label(this, "1102", du.rect(10, 35, 349, 8), shellText(ctx.texts, 258), Qt::AlignHCenter);

    QPixmap picture(QStringLiteral(":/credits/bitmap107.png"));
    QLabel* frame = label(this, "1110", du.rect(13, 47, 343, 68), QString(), Qt::AlignHCenter);
    frame->setFrameStyle(QFrame::Box | QFrame::Plain);
    frame->setPixmap(picture);
    // Never cut the picture: the frame grows around it, centred where it stood.
    QRect area = frame->geometry();
    QSize needed = picture.size() + QSize(2 * frame->frameWidth(), 2 * frame->frameWidth());
    if (area.width() < needed.width() || area.height() < needed.height()) {
        QRect grown(QPoint(0, 0), area.size().expandedTo(needed));
        grown.moveCenter(area.center());
        frame->setGeometry(grown);
    }

    auto* info = new QGroupBox(this);
    info->setGeometry(du.rect(79, 118, 211, 47));
    label(this, "1103", du.rect(88, 130, 73, 8), shellText(ctx.texts, 259), Qt::AlignLeft);
    label(this, "1104", du.rect(170, 130, 110, 8), creditsAuthorLine, Qt::AlignRight);
    label(this, "1105", du.rect(88, 139, 73, 8), shellText(ctx.texts, 261), Qt::AlignLeft);
    label(this, "1106", du.rect(170, 139, 110, 8), dateText, Qt::AlignRight);
    label(this, "1107", du.rect(88, 147, 73, 8), shellText(ctx.texts, 263), Qt::AlignLeft);
    label(this, "1108", du.rect(170, 147, 110, 8), creditsContactLine, Qt::AlignRight);
    label(this, "1109", du.rect(10, 169, 348, 11), creditsRightsLine, Qt::AlignHCenter);

    auto* ok = new QPushButton(tr("&OK"), this);
    ok->setObjectName("1");
    ok->setGeometry(du.rect(318, 185, 44, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    enterPressesFocusedButton(this);
    readyForKeyboard(this);
}

void runCreditsDialog(const AppContext& ctx, QWidget* parent) {
    CreditsDialog dialog(ctx, parent);
    dialog.exec();
}
