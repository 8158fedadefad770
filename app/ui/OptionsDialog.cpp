#include "app/ui/OptionsDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <memory>

#include "session/AppContext.h"
#include "widgets/DialogKeysQt.h"
#include "widgets/DialogUnitsQt.h"
#include "widgets/ShellTextQt.h"
#include "app/OptionsModel.h"
#include "texts/TextTable.h"

namespace {

constexpr uint32_t BACKUP_OPTION_TEXT = 33082;   // "Save a backup of the device before loading a file"
constexpr uint32_t VERIFY_OPTION_TEXT = 33083;   // "Verify the parameters after loading a file"

QString text(const AppContext& ctx, uint32_t n) { return shellText(ctx.message(n)); }

template <typename W>
W* place(W* widget, const char* id, const QRect& where) {
    widget->setObjectName(QString::fromLatin1(id));
    widget->setGeometry(where);
    return widget;
}

QListWidget* makeList(QWidget* parent, const char* id, const QRect& where,
                      const std::vector<std::string>& entries, int selected) {
    auto* list = place(new QListWidget(parent), id, where);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The entries come sorted from the model; the list keeps its order so an
    // entry's row is its index there.
    for (const std::string& entry : entries) list->addItem(QString::fromStdString(entry));
    if (selected >= 0 && selected < list->count()) {
        list->setCurrentRow(selected);
        list->scrollToItem(list->item(selected));
    } else {
        list->setCurrentRow(-1);
        list->clearSelection();
    }
    return list;
}

// A click with Ctrl held takes the selection away, and OK would then write
// port 0, which no device is on. Once a port is chosen, one stays chosen.
void keepOneSelected(QListWidget* list) {
    auto last = std::make_shared<int>(list->selectedItems().isEmpty() ? -1 : list->currentRow());
    QObject::connect(list, &QListWidget::itemSelectionChanged, list, [list, last] {
        const QList<QListWidgetItem*> items = list->selectedItems();
        if (!items.isEmpty()) {
            *last = list->row(items.first());
        } else if (*last >= 0) {
            const QSignalBlocker quiet(list);
            list->item(*last)->setSelected(true);
            list->setCurrentRow(*last);
        }
    });
}

}  // namespace

OptionsDialog::OptionsDialog(AppContext& ctx, QWidget* parent, std::function<bool()> reload)
    : QDialog(parent), settings_(ctx.settings), reload_(std::move(reload)) {
    const Settings& state = ctx.settings;
    DialogUnits du(this);
    setWindowTitle(shellText(state.windowTitle));
    setFixedSize(du.size(301, 192));

    place(new QGroupBox(text(ctx, 384), this), "1180", du.rect(7, 12, 289, 156));
    auto* languageLabel = place(new QLabel(text(ctx, 385), this), "1181", du.rect(17, 26, 176, 28));
    auto* portLabel = place(new QLabel(text(ctx, 387), this), "1183", du.rect(17, 58, 176, 28));
    for (QLabel* label : {languageLabel, portLabel}) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(true);
    }

    codes_ = languageCodes(state.installDirectory);
    languages_ = makeList(this, "1182", du.rect(195, 26, 95, 28), codes_,
                          findLanguageEntry(codes_, state.language));
    ports_ = makeList(this, "1184", du.rect(195, 58, 95, 28), portNames(), portEntry(state.serialPort));
    languageLabel->setBuddy(languages_);
    portLabel->setBuddy(ports_);
    keepOneSelected(ports_);

    connectOnStartup_ = place(new QCheckBox(text(ctx, 389), this), "1185", du.rect(17, 124, 272, 12));
    connectOnStartup_->setChecked(state.connectOnStartup);
    backupBeforeLoad_ = place(new QCheckBox(text(ctx, BACKUP_OPTION_TEXT), this), "1186", du.rect(17, 138, 272, 12));
    backupBeforeLoad_->setChecked(state.backupBeforeLoad);
    verifyAfterLoad_ = place(new QCheckBox(text(ctx, VERIFY_OPTION_TEXT), this), "1187", du.rect(17, 152, 272, 12));
    verifyAfterLoad_->setChecked(state.verifyAfterLoad);

    auto* cancel = place(new QPushButton(tr("&Cancel"), this), "2", du.rect(194, 172, 44, 14));
    auto* ok = place(new QPushButton(tr("&OK"), this), "1", du.rect(252, 172, 44, 14));
    cancel->setDefault(true);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    enterPressesFocusedButton(this);
}

void OptionsDialog::accept() {
    OptionsChoice choice;
    // An entry counts as chosen only while it is selected: a current row
    // without a selection is nothing chosen.
    auto chosen = [](QListWidget* list) {
        QList<QListWidgetItem*> items = list->selectedItems();
        return items.isEmpty() ? -1 : list->row(items.first());
    };
    choice.languageEntry = chosen(languages_);
    choice.portEntry = chosen(ports_);
    choice.connectOnStartup = connectOnStartup_->isChecked();
    choice.backupBeforeLoad = backupBeforeLoad_->isChecked();
    choice.verifyAfterLoad = verifyAfterLoad_->isChecked();
    applyOptions(settings_, codes_, choice, reload_);
    QDialog::accept();
}

bool runOptionsDialog(AppContext& ctx, QWidget* parent, std::function<bool()> reload) {
    OptionsDialog dialog(ctx, parent, std::move(reload));
    return dialog.exec() == QDialog::Accepted;
}
