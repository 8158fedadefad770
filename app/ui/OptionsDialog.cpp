#include "app/ui/OptionsDialog.h"
#include "session/ui/WindowNameQt.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <memory>

#include "session/AppContext.h"
#include "widgets/DialogKeysQt.h"
#include "widgets/KeyboardReadyQt.h"
#include "widgets/DialogUnitsQt.h"
#include "widgets/ShellTextQt.h"
#include "app/OptionsModel.h"
#include "texts/TextTable.h"

namespace {

// Texts of the device list.
constexpr uint32_t kDevicesTitle = 0x8120;
constexpr uint32_t kRefresh = 0x8121;
constexpr uint32_t kChooseHint = 0x8126;
constexpr uint32_t kNoDevices = 0x8127;
constexpr uint32_t kTypedPath = 0x8128;
constexpr uint32_t kUsePath = 0x8129;

// Where a COM entry keeps the device it leads to; the entry's own text stays
// the port name.
constexpr int kDetailRole = Qt::UserRole + 1;

// Shows a COM entry's device after its name.
class PortDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QString detail = index.data(kDetailRole).toString();
        if (!detail.isEmpty()) option->text += QStringLiteral("   ") + detail;
    }
};

constexpr uint32_t HISTORY_OPTION_TEXT = 33360;   // "Keep a service history of the devices"
constexpr uint32_t HISTORY_PATH_TEXT = 33361;     // "History database:"
constexpr uint32_t HISTORY_SERVER_TEXT = 0x82E7;  // "Plant server:"
constexpr uint32_t TLS_CA_FILE_TEXT = 0x82AC;      // "TLS authorities:"
constexpr uint32_t BACKUP_OPTION_TEXT = 33082;   // "Save a backup of the device before loading a file"
constexpr uint32_t VERIFY_OPTION_TEXT = 33083;   // "Verify the parameters after loading a file"
constexpr uint32_t CONFIRM_OPTION_TEXT = 33249;  // "Read every value twice when saving ..."


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

// Enter in the path field maps the path instead of reaching the dialog,
// whose default button is Cancel.
class EnterMapsPath : public QObject {
public:
    EnterMapsPath(QObject* parent, std::function<void()> map) : QObject(parent), map_(std::move(map)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                map_();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> map_;
};

}  // namespace

OptionsDialog::OptionsDialog(AppContext& ctx, QWidget* parent, std::function<bool()> reload,
                             SerialRoots roots)
    : QDialog(parent),
      ctx_(ctx),
      settings_(ctx.settings),
      reload_(std::move(reload)),
      choices_(ctx.settings.profile(), std::move(roots)) {
    const Settings& state = ctx.settings;
    // The model joins these with what sysfs holds, which is UTF-8.
    auto word = [&ctx](uint32_t n) { return shellText(ctx.texts, n).toStdString(); };
    words_ = portWords(word);
    noDevices_ = word(kNoDevices);
    DialogUnits du(this);
    setWindowTitle(shellText(state.windowTitle));
    nameWindow(this, ctx, 131);
    // The port list is wider than the language list so that each COM entry
    // can show its device, and the devices present have a group of their own
    // below the settings.
    const int width = 421;
    const int height = 398;   // the service history's rows and the network ports' TLS below the devices
    setFixedSize(du.size(width, height));

    place(new QGroupBox(shellText(ctx.texts, 384), this), "1180", du.rect(7, 12, width - 14, 170));
    auto* languageLabel = place(new QLabel(shellText(ctx.texts, 385), this), "1181", du.rect(17, 26, 176, 28));
    auto* portLabel = place(new QLabel(shellText(ctx.texts, 387), this), "1183", du.rect(17, 58, 176, 28));
    for (QLabel* label : {languageLabel, portLabel}) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(true);
    }

    codes_ = languageCodes(state.installDirectory);
    languages_ = makeList(this, "1182", du.rect(195, 26, 95, 28), codes_,
                          findLanguageEntry(codes_, state.language));
    ports_ = makeList(this, "1184", du.rect(195, 58, width - 212, 60), portNames(), portEntry(state.serialPort));
    ports_->setItemDelegate(new PortDelegate(ports_));
    languageLabel->setBuddy(languages_);
    portLabel->setBuddy(ports_);
    keepOneSelected(ports_);

    connectOnStartup_ = place(new QCheckBox(shellText(ctx.texts, 389), this), "1185", du.rect(17, 124, 272, 12));
    connectOnStartup_->setChecked(state.connectOnStartup);
    backupBeforeLoad_ = place(new QCheckBox(shellText(ctx.texts, BACKUP_OPTION_TEXT), this), "1186", du.rect(17, 138, 272, 12));
    backupBeforeLoad_->setChecked(state.backupBeforeLoad);
    verifyAfterLoad_ = place(new QCheckBox(shellText(ctx.texts, VERIFY_OPTION_TEXT), this), "1187", du.rect(17, 152, 272, 12));
    verifyAfterLoad_->setChecked(state.verifyAfterLoad);
    confirmSaveReads_ = place(new QCheckBox(shellText(ctx.texts, CONFIRM_OPTION_TEXT), this), "1188", du.rect(17, 166, 390, 12));
    confirmSaveReads_->setChecked(state.confirmSaveReads);

    place(new QGroupBox(shellText(ctx.texts, kDevicesTitle), this), "1190", du.rect(7, 188, width - 14, 116));
    devices_ = place(new QListWidget(this), "1191", du.rect(17, 202, width - 34, 50));
    devices_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Any device at all, for one the list cannot know (a name of a udev rule,
    // a network port's pseudo-terminal).
    auto* pathLabel = place(new QLabel(shellText(ctx.texts, kTypedPath), this), "1196", du.rect(17, 258, 80, 10));
    path_ = place(new QLineEdit(this), "1194", du.rect(99, 256, width - 178, 14));
    pathLabel->setBuddy(path_);
    auto* usePath = place(new QPushButton(shellText(ctx.texts, kUsePath), this), "1195", du.rect(width - 71, 256, 54, 14));
    auto* hint = place(new QLabel(shellText(ctx.texts, kChooseHint), this), "1193", du.rect(17, 274, width - 104, 24));
    hint->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    hint->setWordWrap(true);
    auto* refresh = place(new QPushButton(shellText(ctx.texts, kRefresh), this), "1192", du.rect(width - 71, 282, 54, 14));

    historyJournal_ = place(new QCheckBox(shellText(ctx.texts, HISTORY_OPTION_TEXT), this), "1197", du.rect(17, 310, 272, 12));
    historyJournal_->setChecked(state.journalEnabled);
    auto* historyLabel = place(new QLabel(shellText(ctx.texts, HISTORY_PATH_TEXT), this), "1198", du.rect(17, 326, 80, 10));
    historyPath_ = place(new QLineEdit(QString::fromStdString(state.journalPath), this), "1199", du.rect(99, 324, width - 116, 14));
    historyLabel->setBuddy(historyPath_);
    auto* serverLabel = place(new QLabel(shellText(ctx.texts, HISTORY_SERVER_TEXT), this), "1200", du.rect(17, 344, 80, 10));
    historyServer_ = place(new QLineEdit(QString::fromStdString(state.historyServer), this), "1201", du.rect(99, 342, width - 116, 14));
    historyServer_->setPlaceholderText(QStringLiteral("postgresql://tech@historian.plant/plant"));
    serverLabel->setBuddy(historyServer_);
    auto* caLabel = place(new QLabel(shellText(ctx.texts, TLS_CA_FILE_TEXT), this), "1202", du.rect(17, 362, 80, 10));
    tlsCaFile_ = place(new QLineEdit(QString::fromStdString(state.tlsCaFile), this), "1203", du.rect(99, 360, width - 116, 14));
    tlsCaFile_->setPlaceholderText(QStringLiteral("/etc/ssl/certs/plant-ca.pem"));
    caLabel->setBuddy(tlsCaFile_);

    auto* cancel = place(new QPushButton(tr("&Cancel"), this), "2", du.rect(width - 107, height - 20, 44, 14));
    auto* ok = place(new QPushButton(tr("&OK"), this), "1", du.rect(width - 49, height - 20, 44, 14));
    cancel->setDefault(true);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(refresh, &QPushButton::clicked, this, &OptionsDialog::refreshDevices);
    connect(usePath, &QPushButton::clicked, this, &OptionsDialog::useTypedPath);
    path_->installEventFilter(new EnterMapsPath(path_, [this] { useTypedPath(); }));
    // Another COM port shows its device in the list; choosing a device maps
    // it to the COM port.
    connect(ports_, &QListWidget::itemSelectionChanged, this, &OptionsDialog::selectDeviceOfPort);
    connect(ports_, &QListWidget::itemSelectionChanged, this, &OptionsDialog::showPathOfPort);
    connect(devices_, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem*> items = devices_->selectedItems();
        if (items.isEmpty()) return;
        if (!choices_.choose(chosenPort(), devices_->row(items.first()))) {
            selectDeviceOfPort();   // no COM port chosen: nothing to map to
            return;
        }
        showPortDevices();
    });
    showPortDevices();
    fillDevices();
    showPathOfPort();
    enterPressesFocusedButton(this);
    readyForKeyboard(this);
}

int OptionsDialog::chosenPort() const {
    const QList<QListWidgetItem*> items = ports_->selectedItems();
    return items.isEmpty() ? -1 : ports_->row(items.first());
}

void OptionsDialog::showPortDevices() {
    const std::vector<PortEntry>& entries = choices_.ports();
    for (int row = 0; row < ports_->count() && row < int(entries.size()); ++row) {
        const QString detail = QString::fromStdString(portDetail(entries[row], words_));
        ports_->item(row)->setData(kDetailRole, detail);
        ports_->item(row)->setToolTip(detail);
    }
}

void OptionsDialog::fillDevices() {
    const QSignalBlocker quiet(devices_);
    devices_->clear();
    for (const SerialDevice& device : choices_.devices()) {
        auto* item = new QListWidgetItem(QString::fromStdString(deviceText(device, words_)), devices_);
        if (!device.byId.empty()) item->setToolTip(QString::fromStdString(device.byId.front()));
    }
    if (devices_->count() == 0) {
        auto* none = new QListWidgetItem(QString::fromStdString(noDevices_), devices_);
        none->setFlags(Qt::NoItemFlags);
    }
    selectDeviceOfPort();
}

void OptionsDialog::selectDeviceOfPort() {
    const QSignalBlocker quiet(devices_);
    const int row = choices_.deviceEntry(chosenPort());
    if (row >= 0 && row < devices_->count()) {
        devices_->setCurrentRow(row);
        devices_->scrollToItem(devices_->item(row));
    } else {
        devices_->setCurrentRow(-1);
        devices_->clearSelection();
    }
}

void OptionsDialog::showPathOfPort() {
    const int port = chosenPort();
    const std::vector<PortEntry>& entries = choices_.ports();
    path_->setText(port >= 0 && port < int(entries.size()) ? QString::fromStdString(entries[port].device)
                                                            : QString());
}

void OptionsDialog::useTypedPath() {
    if (!choices_.choosePath(chosenPort(), path_->text().toStdString())) return;
    showPortDevices();
    selectDeviceOfPort();
}

void OptionsDialog::refreshDevices() {
    choices_.refresh();
    showPortDevices();
    fillDevices();
}

void OptionsDialog::showEvent(QShowEvent* event) {
    // The dialog read the devices when it was made; shown again, it reads them again.
    if (shownBefore_) refreshDevices();
    shownBefore_ = true;
    QDialog::showEvent(event);
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
    choice.portDevices = choices_.chosen();
    choice.backupBeforeLoad = backupBeforeLoad_->isChecked();
    choice.verifyAfterLoad = verifyAfterLoad_->isChecked();
    choice.confirmSaveReads = confirmSaveReads_->isChecked();
    choice.historyJournal = historyJournal_->isChecked();
    choice.historyDatabase = historyPath_->text().trimmed().toStdString();
    choice.historyServer = historyServer_->text().trimmed().toStdString();
    choice.tlsCaFile = tlsCaFile_->text().trimmed().toStdString();
    applyOptions(settings_, codes_, choice, reload_,
                 [this](const std::string& file) { ctx_.showFileText(SETTINGS_NOT_WRITTEN_TEXT, file); });
    QDialog::accept();
}

bool runOptionsDialog(AppContext& ctx, QWidget* parent, std::function<bool()> reload) {
    OptionsDialog dialog(ctx, parent, std::move(reload), ctx.settings.serialRoots);
    return dialog.exec() == QDialog::Accepted;
}
