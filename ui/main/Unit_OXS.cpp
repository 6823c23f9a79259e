#include "Unit_OXS.h"

#include "ComPort.h"
#include "FrmInput.h"
#include "LinkSilence.h"
#include "Models.h"
#include "Prompts.h"
#include "SerialDevices.h"
#include "SettingsFiles.h"
#include "StatusWidgets.h"
#include "TransferFrame.h"
#include "Unit_About_OXS.h"
#include "Unit_Standby.h"
#include "Unit_Sync_Time.h"
#include "Version.h"
#include "ipconfig.h"
#include "rs232lansetup.h"

#include <QActionGroup>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>
#include <QShortcut>
#include <QStyle>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>

#include <cstdio>
#include <utility>

using namespace StatusTexts;

namespace {
constexpr int kClientWidth = 777;
constexpr int kClientHeight = 389;
constexpr int kTimer1Interval = 700;
constexpr int kTimerStatusInterval = 2000;
constexpr int kUpdaterShowMs = 10000;
constexpr int kGridRowPitch = 19;  // 18-pixel rows and their grid line
constexpr int kCellTextIndent = 2; // grid texts start this far right of and below the cell's corner
const QString kDots = QStringLiteral("...");
} // namespace

TForm_OXS::TForm_OXS(const QString &settingsDir, QWidget *parent)
    : QMainWindow(parent), m_settingsDir(settingsDir) {
    setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    ClientArea->setFixedSize(kClientWidth, kClientHeight);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    // The driver's link timer starts running with it.
    Orlan_d = new TOrlan_d(this);
    m_silence = new TLinkSilence(*Orlan_d, this);
    connect(m_silence, &TLinkSilence::changed, this, &TForm_OXS::ShowStaleness);
    Timer1 = new QTimer(this);
    Timer1->setInterval(kTimer1Interval);
    TimerStatus = new QTimer(this);
    TimerStatus->setInterval(kTimerStatusInterval);
    PopMenuRename = new QMenu(this);
    MenuItemRename = PopMenuRename->addAction(QStringLiteral("Rename"));
    DebugHotKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Insert), this);
    DebugHotKey->setContext(Qt::ApplicationShortcut);

    m_bitmapList = {Pictures::led(Pictures::Led::Off), Pictures::led(Pictures::Led::On),
                    Pictures::led(Pictures::Led::Off), Pictures::led(Pictures::Led::Lit)};
    m_imgListConnect = {Pictures::connection(false), Pictures::connection(true)};
    m_inputNames = {BtnInput1->text(), BtnInput2->text(), BtnInput3->text(), BtnInput4->text(),
                    BtnInput5->text()};
    m_audioNames = {RdoACHANM1->text(), RdoACHANM2->text(), RdoACHANM3->text(), RdoACHANM4->text(),
                    RdoACHANM5->text()};
    m_sourceNames = {QStringLiteral("Internal Rate"),
                     m_inputNames[0],
                     m_inputNames[1],
                     m_inputNames[2],
                     m_inputNames[3],
                     m_inputNames[4]};

    // Serial port submenu: 17 radio entries of one group; the handlers tick them.
    auto *serialGroup = m_serialGroup = new QActionGroup(this);
    serialGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    const std::array<QAction *, 16> coms{COM1, COM2,  COM3,  COM4,  COM5,  COM6,  COM7,  COM8,
                                         COM9, COM10, COM11, COM12, COM13, COM14, COM15, COM16};
    for (int n = 1; n <= 16; ++n) {
        QAction *entry = coms[static_cast<std::size_t>(n - 1)];
        entry->setProperty("Tag", n);
        m_serialEntries[static_cast<std::size_t>(n - 1)] = entry;
        connect(entry, &QAction::triggered, this, [this, n] { MenuCOMClick(n); });
    }
    m_serialEntries[16] = MenuMIPConfig;
    for (QAction *entry : m_serialEntries)
        serialGroup->addAction(entry);
    connect(MenuMIPConfig, &QAction::triggered, this, &TForm_OXS::MenuMIPConfigClick);
    connect(MenuSerialPort, &QMenu::aboutToShow, this, &TForm_OXS::RefreshSerialDevices);

    // Input buttons: one group, at most one down.
    auto *inputGroup = new QButtonGroup(this);
    for (std::size_t i = 0; i < 5; ++i) {
        const int n = static_cast<int>(i) + 1;
        QToolButton *button = inputButtonControls()[i];
        button->setProperty("Tag", n);
        button->installEventFilter(this);
        inputGroup->addButton(button);
        rowControls()[i]->Tag = n;
        rowControls()[i]->Lbl->setText(button->text());
        audioButtonControls()[i]->setProperty("Tag", n);
        inputItemControls()[i]->setProperty("Tag", n);
        audioItemControls()[i]->setProperty("Tag", n);
        connect(inputItemControls()[i], &QAction::triggered, this, [this, n] { MenuInputClick(n); });
        connect(audioItemControls()[i], &QAction::triggered, this, [this, n] { MenuAudioClick(n); });
    }

    connect(MenuCustomizeDefault, &QAction::triggered, this, &TForm_OXS::MenuCustomizeDefaultClick);
    connect(MenuItemRename, &QAction::triggered, this, &TForm_OXS::MenuItemRenameClick);
    connect(MenuFileExit, &QAction::triggered, this, &TForm_OXS::MenuFileExitClick);
    connect(Timer1, &QTimer::timeout, this, &TForm_OXS::Timer1Timer);
    connect(TimerStatus, &QTimer::timeout, this, &TForm_OXS::TimerStatusTimer);
    connect(BtnOkUpdater, &QPushButton::clicked, this, &TForm_OXS::BtnOkUpdaterClick);
    connect(PageControl, &QTabWidget::currentChanged, this, [this](int index) {
        PageControlChanging(m_currentPage);
        m_currentPage = index;
        PageControlChange(index);
    });
    PageControl->tabBar()->setAttribute(Qt::WA_Hover);

    TabSheetOutput->installEventFilter(this);
    TabSheetImage->installEventFilter(this);
    StatusBar->setPanelWidths({182, 200, 200});
    StatusBar->OnDrawPanel = [this](QPainter &p, int panel, const QRect &r) {
        StatusBarDrawPanel(p, panel, r);
    };

    QIcon info = style()->standardIcon(QStyle::SP_MessageBoxInformation);
    ImgUpdater->setPixmap(info.pixmap(32, 32));

    // The companion windows, in their order; each is shown on demand and hidden again. The black delay
    // window is a child of this one and shows inside it.
    IPConfigDlg = new TIPConfigDlg(this);
    Rs232LanDlg = new TRs232LanDlg(this);
    About_OXS = new TAbout_OXS(this);
    Form_Standby = new TForm_Standby(*Orlan_d, this);
    Form_Sync_Time = new TForm_Sync_Time(*Orlan_d, ClientArea);
    FormTransferFrame = new TFormTransferFrame(this);
    RunModal = [](QDialog &dialog) { dialog.exec(); };

    bindDriverEvents();
    CreatePages();
    FormCreate();
}

TForm_OXS::~TForm_OXS() {
    // An upload still running is aborted while the driver it uses exists.
    delete FormTransferFrame;
    FormTransferFrame = nullptr;
    unbindDriverEvents();
}

std::array<TFrameInput *, 5> TForm_OXS::rowControls() const {
    return {FrameInput1, FrameInput2, FrameInput3, FrameInput4, FrameInput5};
}
std::array<QToolButton *, 5> TForm_OXS::inputButtonControls() const {
    return {BtnInput1, BtnInput2, BtnInput3, BtnInput4, BtnInput5};
}
std::array<QRadioButton *, 5> TForm_OXS::audioButtonControls() const {
    return {RdoACHANM1, RdoACHANM2, RdoACHANM3, RdoACHANM4, RdoACHANM5};
}
std::array<QAction *, 5> TForm_OXS::inputItemControls() const {
    return {MenuInput1, MenuInput2, MenuInput3, MenuInput4, MenuInput5};
}
std::array<QAction *, 5> TForm_OXS::audioItemControls() const {
    return {MenuAudio1, MenuAudio2, MenuAudio3, MenuAudio4, MenuAudio5};
}

QFont TForm_OXS::ApplicationFont() {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSize(8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

void TForm_OXS::FormCreate() {
    SetupStatusGrid();
}

void TForm_OXS::bindDriverEvents() {
    auto bind = [this](TOrlanNotifyEvent &event, void (TForm_OXS::*handler)(TOrlan_d *, int32_t)) {
        event = [this, handler](TOrlan_d *sender, int32_t tag) { (this->*handler)(sender, tag); };
    };
    TOrlan_d &d = *Orlan_d;
    bind(d.OnDEVchange, &TForm_OXS::Orlan_dDEVchange);
    bind(d.OnICHMchange, &TForm_OXS::Orlan_dICHMchange);
    bind(d.OnSTOREchange, &TForm_OXS::Orlan_dSTOREchange);
    bind(d.OnFARECchange, &TForm_OXS::Orlan_dFARECchange);
    bind(d.OnFASTATchange, &TForm_OXS::Orlan_dFASTATchange);
    bind(d.OnFAMODEMchange, &TForm_OXS::Orlan_dFrameRecordingchange);
    bind(d.OnFAEXECchange, &TForm_OXS::Orlan_dFrameRecordingchange);
    bind(d.OnREFSTAchange, &TForm_OXS::Orlan_dREFSTAchange);
    bind(d.OnREFREQchange, &TForm_OXS::Orlan_dOutputRatechange);
    bind(d.OnORATEMchange, &TForm_OXS::Orlan_dOutputRatechange);
    for (TOrlanNotifyEvent *event : {&d.OnREFFAMchange, &d.OnREFFRQchange, &d.OnISYNCMchange,
                                     &d.OnIHPOLMchange, &d.OnIVPOLMchange, &d.OnUNITychange, &d.OnIINTMchange,
                                     &d.OnILDMchange, &d.OnIFDMchange, &d.OnOSYNCMchange, &d.OnOFMTMchange})
        bind(*event, &TForm_OXS::Orlan_dStatusGridchange);
    for (TOrlanNotifyEvent *event : {&d.OnIFAMMchange, &d.OnIPSIGMchange, &d.OnIOORMchange, &d.OnPENAchange,
                                     &d.OnPRGBIchange, &d.OnPISTDchange, &d.OnPPROCchange})
        bind(*event, &TForm_OXS::Orlan_dPageAvailabilitychange);
}

// No event may reach the window once it is being destroyed.
void TForm_OXS::unbindDriverEvents() {
    for (int i = 0; i < OrlanVars::VAR_COUNT; ++i)
        if (TOrlanNotifyEvent *event = Orlan_d->ChangeEvent(i)) *event = nullptr;
}

// ---------------------------------------------------------------------------------------------------------
// Start-up

void TForm_OXS::InitMainWindow() {
    // 1. Frame memory numbers.
    CboFrameNumber->clear();
    for (int n = 1; n <= 10; ++n)
        CboFrameNumber->addItem(QStringLiteral("Frame %1").arg(n));
    CboFrameNumber->setCurrentIndex(0);
    // 2. Output sync choices.
    RdoOutputSync->setItems(
        {QStringLiteral("H && V"), QStringLiteral("Composite TTL"), QStringLiteral("SOG")});
    // 3. The debug hot key.
    connect(DebugHotKey, &QShortcut::activated, this, &TForm_OXS::DebugHotKeyPressed, Qt::UniqueConnection);
    // 4. The value converter.
    Conversion.SetValMinDriver(0);
    Conversion.SetValMaxDriver(255);
    Conversion.SetValMinAffichage(-128);
    Conversion.SetValMaxAffichage(127);
    // 5. The control lists, position n - 1 standing for input n.
    m_frameInputs = rowControls();
    m_inputButtons = inputButtonControls();
    m_audioButtons = audioButtonControls();
    m_menuInputs = inputItemControls();
    m_menuAudios = audioItemControls();
    // 6. Every button starts with the "off" picture.
    for (QToolButton *b : m_inputButtons)
        b->setIcon(m_bitmapList[0]);
    BtnBlack->setIcon(m_bitmapList[0]);
    BtnFreeze->setIcon(m_bitmapList[0]);
    // 7. Position and first page.
    move(20, 20);
    PageControl->setCurrentIndex(0);
    // 8. Notices centred on their pages.
    centreOnPage(LblOutputNotAvailableComputerInput);
    centreOnPage(LblImageNotAvailableComputerInput);
    centreOnPage(LblImageNoInputSignal);
    // 9. Blinking and status bar timer.
    m_blinkPhase = false;
    Timer1->setInterval(kTimer1Interval);
    m_updaterCountdown = kUpdaterShowMs / Timer1->interval();
    Timer1->start();
    // 10. Not connected yet.
    ConfigureForModel(0);
    // 11. The black delay window was made a child of this one with it.
    // 12. The frame transfer dialog gets the driver.
    FormTransferFrame->SetDriver(Orlan_d);
    // 13.-15. Captions and the program's version.
    setWindowTitle(BuildWindowTitle(Orlan_d->DEV()));
    MenuAboutMachine->setText(
        QStringLiteral("About %1 %2...").arg(QStringLiteral("OXS"), QStringLiteral("remote control")));
    About_OXS->Label_version->setText(
        QStringLiteral("Version : %1").arg(QLatin1String(OxsVersion::kFileVersion)));
    // 16. The link.
    LoadConnectionSettings();
}

void TForm_OXS::centreOnPage(QWidget *label) {
    const QWidget *page = label->parentWidget();
    label->adjustSize();
    label->move(page->width() / 2 - label->width() / 2, page->height() / 2 - label->height() / 2);
}

// ---------------------------------------------------------------------------------------------------------
// Connection settings and the serial port submenu

void TForm_OXS::LoadConnectionSettings() {
    const SettingsFiles::ConnectionLoad load =
        SettingsFiles::ReadConnectionSettings(SettingsFiles::ConnectionFilePath(m_settingsDir));
    const SettingsFiles::ConnectionSettings &s = load.settings;
    Orlan_d->SetIpRemoteAddress(s.remoteIp);
    Orlan_d->SetIpRemotePort(s.remotePort);
    Orlan_d->SetIpLocalPort(s.localPort);
    if (load.selectPort)
        Prompts::instance().message(QStringLiteral("Select port"), Prompts::Icon::Information,
                                    QString::fromLatin1(SettingsFiles::kApplicationTitle));
    MenuCOMClick(s.port + 1);
    const QString device =
        SettingsFiles::ReadSerialDevice(SettingsFiles::SerialDeviceFilePath(m_settingsDir));
    if (!device.isEmpty()) {
        Orlan_d->SetPort(device);
        tickSerialEntry(nullptr);
        m_serialDevice = device;
    }
    switch (s.ipEnable) {
    case CON_UDP:
        setConType(CON_UDP);
        tickSerialEntry(MenuMIPConfig);
        break;
    case CON_TCP:
        setConType(CON_TCP);
        tickSerialEntry(MenuMIPConfig);
        break;
    default:
        setConType(CON_RS232);
        MenuMIPConfig->setChecked(false);
        break;
    }
    setWindowTitle(BuildWindowTitle(Orlan_d->DEV()));
    RefreshStatusBar();
}

void TForm_OXS::SaveConnectionSettings() {
    SettingsFiles::ConnectionSettings s;
    s.port = 0;
    for (int i = 0; i < SettingsFiles::kSerialEntries; ++i)
        if (m_serialEntries[static_cast<std::size_t>(i)]->isChecked()) {
            s.port = i;
            break;
        }
    s.remoteIp = Orlan_d->IpRemoteAddress();
    s.remotePort = Orlan_d->IpRemotePort();
    s.localPort = Orlan_d->IpLocalPort();
    s.ipEnable = Orlan_d->ConType();
    const QString path = SettingsFiles::ConnectionFilePath(m_settingsDir);
    if (!SettingsFiles::WriteConnectionSettings(path, s)) reportUnsaved(path);
    // The device file exists once a device was chosen by name.
    const QString devicePath = SettingsFiles::SerialDeviceFilePath(m_settingsDir);
    if ((!m_serialDevice.isEmpty() || QFileInfo::exists(devicePath)) &&
        !SettingsFiles::WriteSerialDevice(devicePath, m_serialDevice))
        reportUnsaved(devicePath);
}

void TForm_OXS::reportUnsaved(const QString &path) {
    if (m_unsavedFiles.contains(path)) return;
    m_unsavedFiles << path;
    std::fprintf(stderr, "Settings not saved: cannot write %s\n", qPrintable(QDir::toNativeSeparators(path)));
    RefreshStatusBar();
}

// Opening the serial port can fail; the operator sees why.
void TForm_OXS::setConType(tConnectionType type) {
    try {
        Orlan_d->SetConType(type);
    } catch (const EComError &e) {
        Prompts::instance().message(QString::fromLocal8Bit(e.what()), Prompts::Icon::Error,
                                    QString::fromLatin1(SettingsFiles::kApplicationTitle));
    }
}

void TForm_OXS::tickSerialEntry(QAction *entry) {
    for (QAction *e : m_serialEntries)
        e->setChecked(e == entry);
    for (QAction *e : m_deviceEntries)
        e->setChecked(e == entry);
    m_tickedEntry = entry;
}

int TForm_OXS::TickedSerialEntry() const {
    for (std::size_t i = 0; i < m_serialEntries.size(); ++i)
        if (m_serialEntries[i]->isChecked()) return static_cast<int>(i) + 1;
    return 0;
}

void TForm_OXS::MenuCOMClick(int tag) {
    if (tag < 1 || tag > SettingsFiles::kSerialEntries) return;
    Orlan_d->SetPort(QStringLiteral("\\\\.\\COM%1").arg(tag));
    m_serialDevice.clear();
    tickSerialEntry(m_serialEntries[static_cast<std::size_t>(tag - 1)]);
    setConType(CON_RS232);
    RefreshStatusBar();
}

void TForm_OXS::RefreshSerialDevices() {
    qDeleteAll(m_deviceEntries);
    m_deviceEntries.clear();
    delete std::exchange(m_deviceSeparator, nullptr);
    const QList<SerialDevices::Device> devices = SerialDevices::list();
    if (devices.isEmpty()) return;
    // Between COM16 and the menu's own separator before LAN/Setup.
    const QList<QAction *> actions = MenuSerialPort->actions();
    QAction *next = actions.value(actions.indexOf(COM16) + 1);
    m_deviceSeparator = MenuSerialPort->insertSeparator(next);
    const bool serial = Orlan_d->ConType() == CON_RS232;
    for (const SerialDevices::Device &device : devices) {
        auto *entry = new QAction(device.label(), this);
        entry->setCheckable(true);
        entry->setData(device.stablePath);
        entry->setToolTip(device.stablePath);
        m_serialGroup->addAction(entry);
        const QString path = device.stablePath;
        connect(entry, &QAction::triggered, this, [this, path] { MenuSerialDeviceClick(path); });
        MenuSerialPort->insertAction(next, entry);
        m_deviceEntries << entry;
        if (serial && !m_serialDevice.isEmpty() && SerialDevices::nodeOf(m_serialDevice) == device.path)
            tickSerialEntry(entry);
    }
}

void TForm_OXS::MenuSerialDeviceClick(const QString &path) {
    Orlan_d->SetPort(path);
    m_serialDevice = path;
    QAction *entry = nullptr;
    for (QAction *e : m_deviceEntries)
        if (e->data().toString() == path) entry = e;
    tickSerialEntry(entry);
    QString failure = Orlan_d->PortOpenError();
    if (Orlan_d->ConType() != CON_RS232) {
        try {
            Orlan_d->SetConType(CON_RS232);
        } catch (const EComError &e) {
            failure = QString::fromLocal8Bit(e.what());
        }
    }
    RefreshStatusBar();
    if (failure.isEmpty()) return;
    // The driver's text: "TCOMPORT : cannot open <port>\r<system text>".
    const QString system = failure.section(QLatin1Char('\r'), 1).trimmed();
    Prompts::instance().message(
        QStringLiteral("Cannot open %1: %2")
            .arg(entry ? entry->text() : path, SerialDevices::openFailureReason(path, system)),
        Prompts::Icon::Warning, QString::fromLatin1(SettingsFiles::kApplicationTitle));
}

// The network link is chosen in the connection settings dialog; leaving it without Apply changes nothing,
// not even the entry's tick.
void TForm_OXS::MenuMIPConfigClick() {
    tickSerialEntry(m_tickedEntry);
    TIPConfigDlg &dialog = *IPConfigDlg;
    dialog.SetMode(Orlan_d->ConType());
    dialog.SetRemoteAddress(Orlan_d->IpRemoteAddress());
    dialog.SetRemotePort(Orlan_d->IpRemotePort());
    dialog.SetLocalPort(Orlan_d->IpLocalPort());
    RunModal(dialog);
    if (!dialog.Result()) return;
    const TIPConfigSettings chosen = dialog.Settings();
    Orlan_d->SetIpRemoteAddress(chosen.remoteAddress);
    Orlan_d->SetIpRemotePort(chosen.remotePort);
    Orlan_d->SetIpLocalPort(chosen.localPort);
    setConType(chosen.mode == CON_UDP ? CON_UDP : CON_TCP);
    tickSerialEntry(MenuMIPConfig);
    RefreshStatusBar();
}

void TForm_OXS::MenuFileExitClick() {
    close();
}

// ---------------------------------------------------------------------------------------------------------
// Input names

void TForm_OXS::LoadInputNames(uint32_t model) {
    const int count = Models::InputCount(model);
    if (count == 0 || !m_menuInputs[0]) return;
    SettingsFiles::InputNames names;
    names.black = BtnBlack->text();
    SettingsFiles::ReadInputNames(m_settingsDir, model, names);
    BtnBlack->setText(names.black);
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
        m_menuInputs[i]->setText(names.inputs[i]);
        m_menuAudios[i]->setText(names.audios[i]);
    }
    ApplyInputNames();
}

// Without a known model the names are copied for all five inputs and nothing is saved.
void TForm_OXS::ApplyInputNames() {
    if (!m_menuInputs[0]) return;
    const uint32_t dev = Orlan_d->DEV();
    const int count = Models::IsKnownModel(dev) ? Models::InputCount(dev) : Models::kMaxInputs;
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
        m_inputNames[i] = m_menuInputs[i]->text();
        m_audioNames[i] = m_menuAudios[i]->text();
    }
    fitInputNames();
    m_sourceNames[0] = QStringLiteral("Internal Rate");
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i)
        m_sourceNames[i + 1] = m_inputNames[i];
    if (Models::IsKnownModel(dev)) SaveInputNames(dev);
}

namespace {
// Shows a name in a control, elided with "…" when it does not fit; the whole name then goes into the tooltip,
// before the control's own hint.
template <class Control>
void showName(Control *control, const QString &name, int room, const QFont &font, const QString &hint) {
    const QString shown = QFontMetrics(font).elidedText(name, Qt::ElideRight, room);
    control->setText(shown);
    control->setToolTip(shown == name ? hint : hint.isEmpty() ? name : name + QLatin1Char('\n') + hint);
}
} // namespace

void TForm_OXS::fitInputNames() {
    const auto buttons = inputButtonControls();
    const auto rows = rowControls();
    const auto audios = audioButtonControls();
    for (std::size_t i = 0; i < m_inputNames.size(); ++i) {
        QFont bold = buttons[i]->font(); // the selected input's caption is bold: leave room for it
        bold.setBold(true);
        showName(buttons[i], m_inputNames[i], buttons[i]->width() - 6, bold, m_inputHints[i]);
        showName(rows[i]->Lbl, m_inputNames[i], rows[i]->ChkUsed->x() - 4, rows[i]->Lbl->font(), QString());
        const int indicator = audios[i]->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) + 8;
        showName(audios[i], m_audioNames[i], audios[i]->width() - indicator, audios[i]->font(), QString());
    }
}

void TForm_OXS::SaveInputNames(uint32_t model) {
    const int count = Models::InputCount(model);
    if (count == 0 || !m_menuInputs[0]) return;
    SettingsFiles::InputNames names;
    names.black = BtnBlack->text();
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
        names.inputs[i] = m_menuInputs[i]->text();
        names.audios[i] = m_menuAudios[i]->text();
    }
    if (!SettingsFiles::WriteInputNames(m_settingsDir, model, names))
        reportUnsaved(SettingsFiles::InputNamesFilePath(m_settingsDir, model));
}

// Asks for a new name until it fits. Cancelling keeps the current name, even one that came too long
// from the names file, so the operator can always leave the box.
void TForm_OXS::renameItem(QAction *item, int n) {
    const QString title = QStringLiteral("Change the button label INPUT %1").arg(n);
    const QString prompt =
        QStringLiteral("Enter a new label (%1 characters maximum)").arg(Models::kMaxNameLength);
    for (;;) {
        QString answer = item->text();
        if (!Prompts::instance().inputText(title, prompt, answer)) break;
        if (answer.toUcs4().size() <= Models::kMaxNameLength) {
            item->setText(answer);
            break;
        }
    }
    ApplyInputNames();
}

void TForm_OXS::MenuInputClick(int n) {
    if (n >= 1 && n <= 5 && m_menuInputs[0]) renameItem(m_menuInputs[static_cast<std::size_t>(n - 1)], n);
}

void TForm_OXS::MenuAudioClick(int n) {
    if (n >= 1 && n <= 5 && m_menuAudios[0]) renameItem(m_menuAudios[static_cast<std::size_t>(n - 1)], n);
}

void TForm_OXS::MenuCustomizeDefaultClick() {
    if (!m_menuInputs[0]) return;
    const uint32_t dev = Orlan_d->DEV();
    const int count = Models::IsKnownModel(dev) ? Models::InputCount(dev) : Models::kMaxInputs;
    for (int n = 1; n <= count; ++n) {
        m_menuInputs[static_cast<std::size_t>(n - 1)]->setText(SettingsFiles::DefaultInputName(n));
        m_menuAudios[static_cast<std::size_t>(n - 1)]->setText(SettingsFiles::DefaultAudioName(n));
    }
    ApplyInputNames();
}

void TForm_OXS::MenuItemRenameClick() {
    MenuInputClick(m_renameInput);
}

bool TForm_OXS::eventFilter(QObject *watched, QEvent *event) {
    // The tab widget gives its pages their final size only once it is shown: the notices follow.
    if (event->type() == QEvent::Resize && m_menuInputs[0]) {
        if (watched == TabSheetOutput) centreOnPage(LblOutputNotAvailableComputerInput);
        if (watched == TabSheetImage) {
            centreOnPage(LblImageNotAvailableComputerInput);
            centreOnPage(LblImageNoInputSignal);
        }
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        auto *button = qobject_cast<QToolButton *>(watched);
        if (button && button->property("Tag").isValid()) {
            m_renameInput = button->property("Tag").toInt();
            auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() == Qt::RightButton) PopMenuRename->popup(mouse->globalPosition().toPoint());
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------------------
// Debug hot key

bool TForm_OXS::IsOverFirstStatusPanel(const QPoint &p) const {
    const int firstPanel = StatusBar->panelWidths().value(0);
    return p.x() >= 2 && p.x() <= firstPanel && p.y() >= 2 && p.y() <= StatusBar->height();
}

void TForm_OXS::DebugHotKeyPressed() {
    const QPoint client = ClientArea->mapFromGlobal(QCursor::pos());
    if (!IsOverFirstStatusPanel(client - StatusBar->pos()) || !m_debugConsole) return;
    m_debugConsole->show();
    m_debugConsole->raise();
}

// ---------------------------------------------------------------------------------------------------------
// Shutdown

void TForm_OXS::closeEvent(QCloseEvent *event) {
    if (!m_closed) {
        m_closed = true;
        FormClose();
    }
    event->accept();
    emit closed();
}

void TForm_OXS::FormClose() {
    // An upload in progress returns the link to the text protocol before the port closes.
    FormTransferFrame->Shutdown();
    Orlan_d->ClosePort();
    Timer1->stop();
    SaveConnectionSettings();
    m_frameInputs = {};
    m_inputButtons = {};
    m_audioButtons = {};
    m_menuInputs = {};
    m_menuAudios = {};
}

// ---------------------------------------------------------------------------------------------------------
// Status grid

void TForm_OXS::SetupStatusGrid() {
    GrdStatus->setColumnCount(2);
    GrdStatus->setRowCount(kRows);
    GrdStatus->horizontalHeader()->hide();
    GrdStatus->verticalHeader()->hide();
    GrdStatus->verticalHeader()->setMinimumSectionSize(1);
    GrdStatus->verticalHeader()->setDefaultSectionSize(kGridRowPitch);
    GrdStatus->horizontalHeader()->setMinimumSectionSize(1);
    GrdStatus->setColumnWidth(0, 75);
    GrdStatus->setColumnWidth(1, GrdStatus->width() - 75 - 5);
    QPalette pal = GrdStatus->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        pal.setColor(group, QPalette::Base, pal.color(QPalette::Active, QPalette::ToolTipBase));
    GrdStatus->setPalette(pal);
    auto *delegate = new OwnerDrawCellDelegate(GrdStatus);
    delegate->OnDrawCell = [this](QPainter &p, int row, int column, const QRect &r) {
        GrdStatusDrawCell(p, row, column, r);
    };
    delegate->OnCellHint = [this](int row, int column) {
        const QString hint = column == 1 ? StatusCellHint(row) : QString();
        const QString stale = m_silence->Hint();
        return stale.isEmpty() || hint.isEmpty() ? hint + stale : hint + u'\n' + stale;
    };
    GrdStatus->setItemDelegate(delegate);
    for (int row = 0; row < kRows; ++row)
        for (int column = 0; column < 2; ++column)
            GrdStatus->setItem(row, column, new QTableWidgetItem(column == 0 ? Label(row) : QString()));
    ClearStatusGrid();
    GrdStatus->clearSelection();
    GrdStatus->setCurrentItem(nullptr);
    m_rowFlags.fill(0);
    layoutStatusHeadings();
    GrdStatus->viewport()->update();
}

void TForm_OXS::layoutStatusHeadings() {
    const std::array<QLabel *, 4> bars{PnlStatusInput, PnlStatusReference, PnlStatusOutput, PnlStatusFrame};
    const int border = GrdStatus->frameWidth();
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const int row = kHeadings[i].row;
        bars[i]->setGeometry(GrdStatus->x() + border + GrdStatus->columnViewportPosition(0),
                             GrdStatus->y() + border + GrdStatus->rowViewportPosition(row),
                             GrdStatus->width() - 2 * border, GrdStatus->rowHeight(row) - 1);
        bars[i]->raise();
    }
}

void TForm_OXS::ClearStatusGrid() {
    for (int row = 0; row < kRows; ++row)
        GrdStatus->item(row, 1)->setText(kDots);
    GrdStatus->item(RowLast, 1)->setText(QString());
}

StatusTexts::Snapshot TForm_OXS::statusSnapshot() const {
    const TOrlan_d &d = *Orlan_d;
    Snapshot s;
    s.dev = d.DEV();
    s.ichm = d.ICHM();
    s.selectedType = s.ichm < TOrlan_d::kInputSlots ? d.InputPRGBI(static_cast<int>(s.ichm)) : 0;
    s.ifamm = d.IFAMM();
    s.isyncm = d.ISYNCM();
    s.unity = d.UNITy();
    s.ildm = d.ILDM();
    s.ifdm = d.IFDM();
    s.refreq = d.REFREQ();
    s.refsta = d.REFSTA();
    s.reffam = d.REFFAM();
    s.reffrq = d.REFFRQ();
    s.oratem = d.ORATEM();
    s.ofmtm = d.OFMTM();
    s.osyncm = d.OSYNCM();
    s.ipsigm = d.IPSIGM();
    s.ioorm = d.IOORM();
    s.ihpolm = d.IHPOLM();
    s.ivpolm = d.IVPOLM();
    s.iintm = d.IINTM();
    s.sourceNames = m_sourceNames;
    for (std::size_t i = 0; i < 5; ++i)
        s.inputCaptions[i] = m_inputNames[i];
    if (s.ichm >= 1 && s.ichm <= 5) {
        const QComboBox *list = rowControls()[s.ichm - 1]->CboSignalType;
        for (int i = 0; i < list->count(); ++i)
            s.selectedSignalTypes << list->itemText(i);
    }
    return s;
}

void TForm_OXS::RefreshStatusGrid() {
    const Update u = Compute(statusSnapshot());
    if (u.clear) {
        ClearStatusGrid();
    } else {
        for (int row = 0; row < kRows; ++row) {
            if (u.cells[static_cast<std::size_t>(row)])
                GrdStatus->item(row, 1)->setText(*u.cells[static_cast<std::size_t>(row)]);
            if (u.flags[static_cast<std::size_t>(row)])
                m_rowFlags[static_cast<std::size_t>(row)] = *u.flags[static_cast<std::size_t>(row)];
        }
    }
    GrdStatus->viewport()->update();
}

QFont TForm_OXS::statusCellFont(int row, int column) const {
    QFont font = GrdStatus->font();
    font.setBold(column == 1 && RowFlag(row) != 0);
    return font;
}

void TForm_OXS::GrdStatusDrawCell(QPainter &p, int row, int column, const QRect &rect) {
    p.fillRect(rect, GrdStatus->palette().color(QPalette::Active, QPalette::Base));
    const QFont font = statusCellFont(row, column);
    const bool highlighted = column == 1 && RowFlag(row) != 0;
    p.setFont(font);
    // The cells have the tooltip background, so their text takes the tooltip's text colour (dark desktops
    // too).
    p.setPen(m_silence->Stale() ? GrdStatus->palette().color(QPalette::Disabled, QPalette::Text)
             : highlighted      ? QColor(Qt::red)
                                : GrdStatus->palette().color(QPalette::Active, QPalette::ToolTipText));
    const QString text = GrdStatus->item(row, column) ? GrdStatus->item(row, column)->text() : QString();
    // A text too long for its cell ends in "…" instead of being cut; its tooltip shows it whole.
    const QRect room = rect.adjusted(kCellTextIndent, kCellTextIndent, 0, 0);
    p.drawText(room, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
               p.fontMetrics().elidedText(text, Qt::ElideRight, room.width()));
}

QString TForm_OXS::StatusCellHint(int row) const {
    const QString text = StatusCell(row);
    const int room = GrdStatus->visualRect(GrdStatus->model()->index(row, 1)).width() - kCellTextIndent;
    const QFontMetrics metrics(statusCellFont(row, 1), GrdStatus->viewport());
    return metrics.horizontalAdvance(text) > room ? text : QString();
}

QString TForm_OXS::StatusCell(int row) const {
    const QTableWidgetItem *item = GrdStatus->item(row, 1);
    return item ? item->text() : QString();
}

int TForm_OXS::RowFlag(int row) const {
    return row >= 0 && row < kRows ? m_rowFlags[static_cast<std::size_t>(row)] : 0;
}

QString TForm_OXS::SourceName(int index) const {
    return index >= 0 && index < 6 ? m_sourceNames[static_cast<std::size_t>(index)] : QString();
}

// ---------------------------------------------------------------------------------------------------------
// Status bar

void TForm_OXS::RefreshStatusBar() {
    StatusBar->update();
}

// The last values stay where they are, greyed, with the time of the last report in their tooltips. Nothing
// is sent for it.
void TForm_OXS::ShowStaleness() {
    const bool stale = m_silence->Stale();
    if (stale) {
        m_livePagePalette = PageControl->palette();
        QPalette grey = m_livePagePalette;
        for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            for (const auto group : {QPalette::Active, QPalette::Inactive})
                grey.setColor(group, role, grey.color(QPalette::Disabled, role));
        PageControl->setPalette(grey);
    } else {
        PageControl->setPalette(m_livePagePalette);
    }
    PageControl->setToolTip(m_silence->Hint());
    GrdStatus->viewport()->update();
    RefreshStatusBar();
}

QString TForm_OXS::StatusPanelText(int panel) const {
    switch (panel) {
    case 0:
        return ConnectionText(Models::IsKnownModel(Orlan_d->DEV()));
    case 1:
        switch (Orlan_d->ConType()) {
        case CON_RS232: {
            QString port = Orlan_d->Port();
            if (port == m_serialDevice && !port.isEmpty()) // a device by name: its node's short name
                return QStringLiteral("Port : %1").arg(QFileInfo(SerialDevices::nodeOf(port)).fileName());
            port.remove(u'\\').remove(u'.');
            return QStringLiteral("Port : %1").arg(port);
        }
        case CON_UDP:
            return QStringLiteral("UDP (%1:%2)").arg(Orlan_d->IpRemoteAddress()).arg(Orlan_d->IpRemotePort());
        case CON_TCP:
            return QStringLiteral("TCP (%1:%2)").arg(Orlan_d->IpRemoteAddress()).arg(Orlan_d->IpRemotePort());
        }
        return {};
    case 2:
        if (Orlan_d->STORE()) return QStringLiteral("Storing settings, please do not switch power off...");
        return m_unsavedFiles.isEmpty() ? m_silence->Notice()
                                        : QStringLiteral("Settings not saved: cannot write %1")
                                              .arg(QDir::toNativeSeparators(m_unsavedFiles.constLast()));
    default:
        return {};
    }
}

QColor TForm_OXS::StatusPanelColor(int panel) const {
    if (panel == 0 && !Models::IsKnownModel(Orlan_d->DEV()))
        return m_blinkPhase ? QColor(Qt::red)
                            : StatusBar->palette().color(QPalette::Active, QPalette::WindowText);
    return StatusBar->palette().color(QPalette::Active, QPalette::WindowText);
}

QFont TForm_OXS::StatusPanelFont(int panel) const {
    QFont font = StatusBar->font();
    if (panel == 0) font.setBold(true);
    if (panel == 2) {
        font.setBold(true);
        font.setItalic(true);
    }
    return font;
}

void TForm_OXS::StatusBarDrawPanel(QPainter &p, int panel, const QRect &r) {
    p.setFont(StatusPanelFont(panel));
    p.setPen(StatusPanelColor(panel));
    const QString text = StatusPanelText(panel);
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
    if (panel == 0) {
        const QPixmap &picture = m_imgListConnect[Models::IsKnownModel(Orlan_d->DEV()) ? 1 : 0];
        p.drawPixmap(r.left() + 1, r.top(), picture);
        p.drawText(r.adjusted(picture.width() + 6, 1, 0, 0), flags, text);
    } else {
        p.drawText(r.adjusted(2, 0, 0, 0), flags, text);
    }
}

// ---------------------------------------------------------------------------------------------------------
// Timers and notices

void TForm_OXS::Timer1Timer() {
    std::swap(m_bitmapList[2], m_bitmapList[3]);
    BtnFreeze->setIcon(m_bitmapList[Orlan_d->IFRZM() ? 3 : 0]);
    BtnBlack->setIcon(m_bitmapList[Orlan_d->OBLACK() ? 3 : 0]);
    if (PnlUpdater->isVisible()) {
        if (m_updaterCountdown > 0)
            --m_updaterCountdown;
        else
            PnlUpdater->hide();
    }
    // While no scaler answers, the About box cycles through the model pictures.
    if (!Models::IsKnownModel(Orlan_d->DEV())) {
        About_OXS->NextPicture();
        About_OXS->ShowPicture();
    }
    m_blinkPhase = !m_blinkPhase;
    RefreshStatusBar();
}

void TForm_OXS::ShowFrameNotAvailable(const QString &text) {
    LblFrameNotAvailable->setText(text);
    LblFrameNotAvailable->show();
    if (!TimerStatus->isActive()) TimerStatus->start();
}

void TForm_OXS::TimerStatusTimer() {
    TimerStatus->stop();
    LblFrameNotAvailable->hide();
}

void TForm_OXS::BtnOkUpdaterClick() {
    m_updaterCountdown = 0;
    PnlUpdater->hide();
}

void TForm_OXS::ShowUpdateNotice(const QString &caption) {
    LblUpdater->setText(caption);
    PnlUpdater->raise();
    PnlUpdater->show();
    m_updaterCountdown = kUpdaterShowMs / Timer1->interval();
}

// ---------------------------------------------------------------------------------------------------------
// Model and page state

// Also shows the About box's picture: the model's own for a known model.
QString TForm_OXS::BuildWindowTitle(uint32_t value) {
    if (Models::IsKnownModel(value)) About_OXS->SelectPicture(Models::ModelIndex(value));
    About_OXS->ShowPicture();
    const QString name = Models::IsKnownModel(value) ? Models::ModelName(value) : QStringLiteral("OXS");
    return QStringLiteral("%1 %2").arg(name, QStringLiteral("remote control"));
}

void TForm_OXS::ConfigureForModel(uint32_t value) {
    setWindowTitle(BuildWindowTitle(Orlan_d->DEV()));
    m_lastModel = value;
    const auto buttons = inputButtonControls();
    const int model = Models::ModelIndex(value);
    if (model < 0) {
        for (QToolButton *b : buttons)
            b->setEnabled(false);
        return;
    }
    const Models::ModelLayout &layout = Models::Layout(model);
    const int count = Models::kModels[static_cast<std::size_t>(model)].inputs;
    const Models::ButtonGeometry geometry = Models::InputButtonGeometry(BvlSeparator->x(), count);
    const auto rows = rowControls();
    for (std::size_t i = 0; i < 5; ++i) {
        const bool present = static_cast<int>(i) < count;
        QToolButton *b = buttons[i];
        b->setEnabled(true);
        m_inputHints[i] = QString::fromLatin1(layout.hints[i]);
        b->setGeometry(static_cast<int>(i) * geometry.unit, b->y(), geometry.width, b->height());
        b->setVisible(present);
        rows[i]->setVisible(present);
        audioButtonControls()[i]->setVisible(present);
        inputItemControls()[i]->setVisible(present);
        audioItemControls()[i]->setVisible(present);

        const Models::InputRowLayout &row = layout.rows[i];
        TFrameInput *frame = rows[i];
        frame->CboSignalType->clear();
        frame->CboSignalType->setVisible(row.signalTypes != Models::SignalList::None);
        frame->CboSignalType->addItems(Models::SignalTypes(row.signalTypes));
        frame->CboSignalType->setCurrentIndex(-1);
        frame->CboStandard->clear();
        frame->CboStandard->setVisible(row.standards);
        if (row.standards) frame->CboStandard->addItems(Models::Standards());
        frame->CboStandard->setCurrentIndex(-1);
        frame->ChkVCR->setVisible(row.vcr);
    }
    PnlInputs->resize(PnlInputs->width(), layout.inputPanelHeight);
    RdoIPMODEM->move(RdoIPMODEM->x(), PnlInputs->y() + layout.inputPanelHeight + 4);
    fitInputNames();
    RdoOutputType->setVisible(layout.outputType);
    MenuMachineLANSetup->setVisible(layout.lanSetup);
    // A list shows what the scaler reported, so a list just filled selects nothing until it reports.
    CboOutputFormat->clear();
    CboOutputFormat->addItems(Models::OutputFormats());
    CboOutputFormat->setCurrentIndex(-1);
    CboOutputRate->clear();
    CboOutputRate->addItems(Models::OutputRates(layout.rates));
    CboOutputRate->setCurrentIndex(-1);
}

bool TForm_OXS::computerInput() const {
    const uint32_t ichm = Orlan_d->ICHM();
    return ichm < TOrlan_d::kInputSlots &&
           Orlan_d->InputPRGBI(static_cast<int>(ichm)) == Models::kComputerInput;
}

void TForm_OXS::RefreshPageAvailability() {
    if (computerInput()) {
        GrpOutput->hide();
        LblOutputNotAvailableComputerInput->show();
        GrpSizePos->hide();
        GrpPicture->hide();
        LblImageNotAvailableComputerInput->show();
        LblImageNoInputSignal->hide();
        return;
    }
    GrpOutput->show();
    LblOutputNotAvailableComputerInput->hide();
    LblImageNotAvailableComputerInput->hide();
    const uint32_t family = Orlan_d->IFAMM();
    if (family <= 1) {
        GrpSizePos->hide();
        GrpPicture->hide();
        LblImageNoInputSignal->show();
    } else if (family <= 10) {
        GrpSizePos->show();
        GrpPicture->show();
        LblImageNoInputSignal->hide();
        FrameScrollColor->setVisible(family != 5 && family != 6);
        FrameScrollHue->setVisible(family == 2);
    }
}

void TForm_OXS::RefreshReferenceLabel() {
    if (Orlan_d->REFREQ() == Orlan_d->REFSTA()) {
        RefreqM_Label_no_signal_Main_refreq->hide();
    } else {
        const uint32_t ichm = Orlan_d->ICHM();
        RefreqM_Label_no_signal_Main_refreq->setText(
            computerInput()
                ? QStringLiteral("No input signal")
                : QStringLiteral("No signal at %1").arg(SourceName(ichm <= 5 ? static_cast<int>(ichm) : -1)));
        RefreqM_Label_no_signal_Main_refreq->show();
    }
    RefreshStatusGrid();
}

void TForm_OXS::RefreshOutputRate() {
    RefreshReferenceLabel();
    const int count = CboOutputRate->count();
    if (Orlan_d->REFREQ() == 1) {
        if (count > 0) CboOutputRate->setCurrentIndex(count - 1);
        return;
    }
    // A rate the list does not offer, or one at the place of "Follow Input" while the lock is off, shows no
    // selection rather than a rate the scaler did not report.
    const uint32_t rate = Orlan_d->ORATEM();
    CboOutputRate->setCurrentIndex(rate + 1 < static_cast<uint32_t>(count) ? static_cast<int>(rate) : -1);
}

void TForm_OXS::RefreshFrameRecording() {
    const bool recording = Orlan_d->FAMODEM_() == 1 && Orlan_d->FAEXEC();
    LblWaitRecordingFrame->setVisible(recording);
    GrpFrameMemory->setEnabled(!recording);
    BtnTransferFrame->setEnabled(!recording);
    BtnDeleteFrame->setEnabled(!recording);
}

void TForm_OXS::PageControlChanging(int leaving) {
    if (leaving < 0 || leaving >= PageControl->count()) return;
    m_tabHighlighted[static_cast<std::size_t>(leaving)] = false;
    PageControl->tabBar()->setTabTextColor(leaving, QColor());
}

void TForm_OXS::PageControlChange(int current) {
    RefreshPageAvailability();
    if (current < 0 || current >= PageControl->count()) return;
    m_tabHighlighted[static_cast<std::size_t>(current)] = true;
    PageControl->tabBar()->setTabTextColor(current, palette().color(QPalette::Active, QPalette::Highlight));
}

bool TForm_OXS::TabHighlighted(int page) const {
    return page >= 0 && page < 5 && m_tabHighlighted[static_cast<std::size_t>(page)];
}

// ---------------------------------------------------------------------------------------------------------
// Driver events

void TForm_OXS::Orlan_dDEVchange(TOrlan_d *, int32_t) {
    const uint32_t dev = Orlan_d->DEV();
    About_OXS->Label_D->setText(QStringLiteral("D = %1").arg(TAbout_OXS::Hex(dev)));
    if (dev != m_lastModel) {
        if (Models::IsKnownModel(dev)) LoadInputNames(dev);
        ConfigureForModel(dev);
    }
    if (Models::IsKnownModel(dev)) Orlan_dICHMchange(Orlan_d, Orlan_d->Tag());
}

void TForm_OXS::Orlan_dICHMchange(TOrlan_d *, int32_t) {
    RefreshStatusGrid();
    const uint32_t dev = Orlan_d->DEV();
    if (!Models::IsKnownModel(dev) || !m_inputButtons[0]) return;
    const uint32_t ichm = Orlan_d->ICHM();
    const int count = Models::InputCount(dev);
    for (int n = 1; n <= count; ++n) {
        QToolButton *b = m_inputButtons[static_cast<std::size_t>(n - 1)];
        const bool selected = ichm == static_cast<uint32_t>(n);
        b->setIcon(m_bitmapList[selected ? 1 : 0]);
        QFont font = b->font();
        font.setBold(selected);
        b->setFont(font);
    }
    if (ichm >= 1 && ichm <= 5) m_inputButtons[ichm - 1]->setChecked(true);
    RefreshPageAvailability();
    RefreshReferenceLabel();
}

void TForm_OXS::Orlan_dSTOREchange(TOrlan_d *, int32_t) {
    RefreshStatusBar();
}

void TForm_OXS::Orlan_dFARECchange(TOrlan_d *, int32_t) {
    GrdStatus->item(RowRecorded, 1)->setText(YesNo(Orlan_d->FAREC()));
}

void TForm_OXS::Orlan_dFASTATchange(TOrlan_d *, int32_t) {
    GrdStatus->item(RowDisplayed, 1)->setText(YesNo(Orlan_d->FASTAT()));
}

void TForm_OXS::Orlan_dFrameRecordingchange(TOrlan_d *, int32_t) {
    RefreshFrameRecording();
}

void TForm_OXS::Orlan_dStatusGridchange(TOrlan_d *, int32_t) {
    RefreshStatusGrid();
}

void TForm_OXS::Orlan_dPageAvailabilitychange(TOrlan_d *, int32_t) {
    RefreshPageAvailability();
    RefreshStatusGrid();
}

void TForm_OXS::Orlan_dREFSTAchange(TOrlan_d *, int32_t) {
    RefreshReferenceLabel();
}

void TForm_OXS::Orlan_dOutputRatechange(TOrlan_d *, int32_t) {
    RefreshOutputRate();
    RefreshStatusGrid();
}
