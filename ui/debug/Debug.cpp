#include "Debug.h"

#include "DebugMnemonics.h"
#include "DebugValues.h"
#include "Orlan_d.h"
#include "Prompts.h"

#include <QAbstractItemView>
#include <QActionGroup>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QWheelEvent>

#include <algorithm>

namespace {

const QString kNoValue = QStringLiteral("Conversion (aucune valeur d'entrer)");
const QString kDesignCaption = QStringLiteral("..@..> Click");
// The open dialog's filter: text, Doc, Write, HTML.
const QString kScriptFilter = QStringLiteral("Fichier Text ( *.txt);;Fichier Doc (*.doc);;Fichier Wri "
                                             "(*.wri);;Fichier Html (*.html);;Fichier Htm (*.htm)");

// Margins of the resizable column: "&Clear" sits under Memo_env, 10 pixels above the bottom edge, and
// the check list reaches down to the same line.
constexpr int kBottomMargin = 10;
constexpr int kMinMemoHeight = 40;
// At the first activation the window reaches down to this far above the desktop's bottom, less the
// height of "&Clear".
constexpr int kDesktopMargin = 20;

QString nameUpToSpace(const QString &label) {
    const qsizetype space = label.indexOf(u' ');
    return space < 0 ? label : label.left(space);
}

QFont fixedPitchFont(const QFont &base) {
    QFont font(QStringLiteral("Liberation Mono"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSizeF(base.pointSizeF() > 0 ? base.pointSizeF() : 8);
    return font;
}

} // namespace

TForm_debug::TForm_debug(TOrlan_d &driver, const QString &settingsDir, QWidget *parent)
    : QMainWindow(parent), m_driver(driver),
      m_buttonFilePath(QDir(settingsDir).filePath(QStringLiteral("Debug.ini"))), m_recorder(driver) {
    setupUi(this);
    setFixedWidth(kWidth);
    Panel1->hide();

    const QFont fixed = fixedPitchFont(font());
    Memo_recu->setFont(fixed);
    Memo_recu->setTabStopDistance(6 * QFontMetricsF(fixed).horizontalAdvance(u'0'));
    Memo_recu->setMaximumBlockCount(kMaxLogLines);
    _->setFont(fixed);

    auto *force = new QActionGroup(this);
    force->addAction(MenuForceOn);
    force->addAction(MenuForceOff);

    FormCreate();

    // Composing
    Memo_env->installEventFilter(this);
    _->installEventFilter(this);
    connect(_, qOverload<int>(&QComboBox::activated), this, &TForm_debug::_Click);
    connect(CheckListBox_bloque_reception_rs, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        CheckListBox_bloque_reception_rsClick(CheckListBox_bloque_reception_rs->row(item));
    });
    connect(CheckListBox_bloque_reception_rs, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem *item) {
                CheckListBox_bloque_reception_rsDblClick(CheckListBox_bloque_reception_rs->row(item));
            });
    connect(CheckListBox_bloque_reception_rs, &QListWidget::itemChanged, this, [this](QListWidgetItem *item) {
        if (m_syncing) return;
        const int line = CheckListBox_bloque_reception_rs->row(item);
        const bool checked = item->checkState() == Qt::Checked;
        if (checked != m_watch.isChecked(line)) CheckListBox_bloque_reception_rsClickCheck(line, checked);
    });
    // The toggle's state, however it changed (mouse, keyboard, assistive technology); syncWatch sets it
    // without effect.
    connect(SpeedButton_Disable_all, &QToolButton::toggled, this, [this](bool down) {
        if (!m_syncing) SpeedButton_Disable_allClick(down);
    });
    connect(BitBtn_clear, &QPushButton::clicked, this, &TForm_debug::BitBtn_clearClick);

    // Force Connect
    connect(MenuForceConnect, &QMenu::aboutToShow, this, &TForm_debug::Force_ConnectPopup);
    connect(MenuForceOn, &QAction::triggered, this, &TForm_debug::OnClick);
    connect(MenuForceOff, &QAction::triggered, this, &TForm_debug::OffClick);

    // Value converter
    connect(BitBtn_Operation_logique, &QPushButton::clicked, this,
            &TForm_debug::BitBtn_Operation_logiqueClick);
    connect(BitBtn_OK, &QPushButton::clicked, this, &TForm_debug::BitBtn_OKClick);
    connect(BitBtn_Annuler, &QPushButton::clicked, this, &TForm_debug::BitBtn_AnnulerClick);
    connect(Button_envoie, &QPushButton::clicked, this, &TForm_debug::Button_envoieClick);
    connect(BitBtn_desactive_var, &QPushButton::clicked, this, &TForm_debug::BitBtn_desactive_varClick);
    for (QLineEdit *edit : {Edit_valeur_dec, Edit_valeur_hex}) {
        edit->installEventFilter(this);
        edit->setContextMenuPolicy(Qt::NoContextMenu); // no pasting past the key filters
    }
    m_bitEdits = {Edit1, Edit2,  Edit3,  Edit4,  Edit5,  Edit6,  Edit7,  Edit8,
                  Edit9, Edit10, Edit11, Edit12, Edit13, Edit14, Edit15, Edit16};
    for (QLineEdit *edit : m_bitEdits) {
        edit->installEventFilter(this);
        edit->setContextMenuPolicy(Qt::NoContextMenu);
        edit->setCursor(Qt::PointingHandCursor);
    }
    Panel1->installEventFilter(this);

    // Text-file sender
    connect(MenuEnvoyerFichier, &QAction::triggered, this, &TForm_debug::Envoyer_un_fichier_texteClick);
    connect(MenuStop, &QAction::triggered, this, &TForm_debug::StopClick);
    connect(ScrollBar_duration, &QScrollBar::valueChanged, this, &TForm_debug::ScrollBar_durationScroll);

    // Recording the link
    m_recordingLabel = new QLabel(menuBar());
    m_recordingLabel->setObjectName(QStringLiteral("LabelRecording"));
    m_recordingLabel->setContentsMargins(0, 0, 6, 0);
    menuBar()->setCornerWidget(m_recordingLabel, Qt::TopRightCorner);
    m_recordingLabel->hide();
    connect(MenuRecordLink, &QAction::triggered, this, &TForm_debug::MenuRecordLinkClick);
    connect(&m_recorder, &LinkRecorder::stopped, this, &TForm_debug::recordingStopped);

    setMinimumHeight(menuBar()->sizeHint().height() + Memo_env->y() + kMinMemoHeight +
                     BitBtn_clear->height() + kBottomMargin);
    layoutHeights();
}

TForm_debug::~TForm_debug() {
    m_recorder.Stop();
    senderStopped();
    m_driver.OnRecString = nullptr;
    // Buttons edited while the window stayed open until the program ended are not lost.
    if (m_buttonsChanged) saveButtons();
}

void TForm_debug::FormCreate() {
    // 1. Every recognised reply, from now until the program ends.
    m_driver.OnRecString = [this](TOrlan_d *sender, int32_t nroOcto) { RecString(sender, nroOcto); };

    // 2. The sender's timer and the list of the buttons.
    m_tempo.setTimerType(Qt::PreciseTimer);
    connect(&m_tempo, &QTimer::timeout, this, &TForm_debug::evenement_tempo);
    m_logFlush.setSingleShot(true);
    m_logFlush.setInterval(kLogFlushMs);
    connect(&m_logFlush, &QTimer::timeout, this, &TForm_debug::FlushLog);
    for (int i = 1; i <= DebugFiles::kButtons; ++i) {
        auto *button = findChild<QPushButton *>(QStringLiteral("BitBtn_ADBG_%1").arg(i));
        m_buttonList << button;
        const int index = i - 1;
        connect(button, &QPushButton::clicked, this, [this, index] { BitBtn_ADBG_Click(index); });
        button->installEventFilter(this);
    }
    for (DebugFiles::Button &b : m_buttons)
        b.caption = kDesignCaption;

    // 3. Debug.ini
    loadButtons();

    // 4. The mnemonic list.
    _->addItems(DebugMnemonics::lines());
    _->setCurrentIndex(0);
    _->view()->setMinimumWidth(_->view()->sizeHintForColumn(0) + 24);

    // 5 and 6. The mnemonic table, the sent-command memo and the check list, every line checked and watched.
    QStringList replies;
    m_syncing = true;
    for (int i = 0; i < _->count(); ++i) {
        const DebugMnemonics::Entry e = DebugMnemonics::entryOf(_->itemText(i));
        m_commands << e.command;
        replies << e.reply;
        const QString pair = e.command + QLatin1String("->") + e.reply;
        Memo_env->appendPlainText(pair);
        auto *item = new QListWidgetItem(pair, CheckListBox_bloque_reception_rs);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
    m_syncing = false;
    m_watch = WatchList(replies);
    m_progress = CommandProgress(m_commands);
    syncWatch();
}

// ---------------------------------------------------------------------------------------------------------
// Sending and receiving

void TForm_debug::Driver_envoie(const QString &text) {
    Driver_envoie(text.toLatin1());
}

void TForm_debug::Driver_envoie(const QByteArray &bytes) {
    m_driver.SendText(bytes);
}

QByteArray TForm_debug::driver_receive_string() const {
    return m_driver.receivedString();
}

void TForm_debug::RecString(TOrlan_d *, int32_t) {
    const QByteArray message = driver_receive_string();
    if (!m_watch.shows(DebugValues::splitMessage(QString::fromLatin1(message)).name)) return;
    m_log.append(message);
    if (isVisible() && !isMinimized() && !m_logFlush.isActive()) m_logFlush.start();
}

QStringList TForm_debug::LogLines() const {
    QStringList lines;
    for (const QByteArray &message : m_log.last(m_log.size()))
        lines << DebugValues::receivedLine(QString::fromLatin1(message));
    return lines;
}

void TForm_debug::FlushLog() {
    m_logFlush.stop();
    if (!isVisible() || isMinimized()) return; // the new lines wait until the window is shown again
    const qint64 fresh = m_log.appended() - m_logShown;
    m_logShown = m_log.appended();
    if (fresh <= 0) return;
    // One widget call for the whole batch; each message makes its own line as before.
    QStringList lines;
    for (const QByteArray &message : m_log.last(fresh))
        lines << DebugValues::receivedLine(QString::fromLatin1(message));
    Memo_recu->appendPlainText(lines.join(u'\n'));
}

// Shown: Memo_recu gets the whole log once. Hidden: it lets the text go, the log keeps the messages.
void TForm_debug::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    if (event->spontaneous()) return; // back from minimised: the widget still has its text
    Memo_recu->clear();
    m_logShown = m_log.appended() - m_log.size();
    FlushLog();
}

void TForm_debug::hideEvent(QHideEvent *event) {
    QMainWindow::hideEvent(event);
    if (event->spontaneous()) return; // minimised: still shown, batches go on
    m_logFlush.stop();
    Memo_recu->clear();
}

// ---------------------------------------------------------------------------------------------------------
// Composing

std::optional<QChar> TForm_debug::typedChar(const QKeyEvent &key) const {
    switch (key.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return CommandBuffer::kEnter;
    case Qt::Key_Backspace:
        return CommandBuffer::kBackspace;
    default:
        break;
    }
    // Control with a key is an editing shortcut of the memo (copy, paste, select all), not a character;
    // Control with Alt is AltGr on Windows, which types characters such as "@".
    const Qt::KeyboardModifiers mods = key.modifiers();
    if ((mods & (Qt::ControlModifier | Qt::MetaModifier)) && !(mods & Qt::AltModifier)) return std::nullopt;
    // Keys that type nothing, or only a control character (Delete, Escape, Tab), do their usual work.
    const QString text = key.text();
    if (text.size() != 1 || text.at(0).unicode() < 32 || text.at(0).unicode() == 127) return std::nullopt;
    return text.at(0);
}

void TForm_debug::KeyPress(QChar key) {
    if (const std::optional<QString> command = m_command.type(key)) Driver_envoie(*command);
    showCommand();
}

// Navigation keys on the closed mnemonic list move its selection and add nothing (the list itself would
// take each move for a pick); a click or Enter in the opened list adds the line.
bool TForm_debug::mnemonicListKey(const QKeyEvent &key) {
    if (_->view()->isVisible() || (key.modifiers() & (Qt::AltModifier | Qt::ControlModifier))) return false;
    const int last = _->count() - 1;
    int line = _->currentIndex();
    switch (key.key()) {
    case Qt::Key_Up:
    case Qt::Key_Left:
        line -= 1;
        break;
    case Qt::Key_Down:
    case Qt::Key_Right:
        line += 1;
        break;
    case Qt::Key_PageUp:
        line -= _->maxVisibleItems();
        break;
    case Qt::Key_PageDown:
        line += _->maxVisibleItems();
        break;
    case Qt::Key_Home:
        line = 0;
        break;
    case Qt::Key_End:
        line = last;
        break;
    default:
        return false;
    }
    _->setCurrentIndex(std::clamp(line, 0, last));
    return true;
}

void TForm_debug::showCommand() {
    Label1->setText(m_command.text());
}

void TForm_debug::_Click(int line) {
    if (line < 0 || line >= m_commands.size()) return;
    m_command.append(m_commands.at(line));
    Memo_env->appendPlainText(m_command.text());
    showCommand();
}

void TForm_debug::CheckListBox_bloque_reception_rsClick(int line) {
    if (line >= 0 && line < _->count()) _->setCurrentIndex(line);
}

void TForm_debug::CheckListBox_bloque_reception_rsDblClick(int line) {
    _Click(line);
}

void TForm_debug::CheckListBox_bloque_reception_rsClickCheck(int line, bool checked) {
    m_watch.setChecked(line, checked);
    syncWatch();
}

void TForm_debug::SpeedButton_Disable_allClick(bool down) {
    m_watch.setDisableAll(down);
    syncWatch();
}

void TForm_debug::syncWatch() {
    m_syncing = true;
    for (int i = 0; i < CheckListBox_bloque_reception_rs->count(); ++i)
        CheckListBox_bloque_reception_rs->item(i)->setCheckState(m_watch.isChecked(i) ? Qt::Checked
                                                                                      : Qt::Unchecked);
    SpeedButton_Disable_all->setChecked(m_watch.disableAllDown());
    SpeedButton_Disable_all->setText(m_watch.disableAllCaption());
    BitBtn_desactive_var->setEnabled(m_watch.desactiverEnabled());
    m_syncing = false;
}

void TForm_debug::BitBtn_clearClick() {
    m_command.clear();
    Label1->clear();
    m_logFlush.stop();
    m_log.clear();
    m_logShown = 0;
    Memo_recu->clear();
    Memo_env->clear();
}

// ---------------------------------------------------------------------------------------------------------
// Programmable buttons and Debug.ini

void TForm_debug::loadButtons() {
    const DebugFiles::ButtonFile file = DebugFiles::readButtonFile(m_buttonFilePath);
    m_fileUnreadable = file.status == DebugFiles::ReadStatus::Unreadable;
    if (file.status == DebugFiles::ReadStatus::Read) m_buttons = file.buttons;
    for (int i = 0; i < DebugFiles::kButtons; ++i) {
        const auto &b = m_buttons.at(static_cast<std::size_t>(i));
        m_buttonList.at(i)->setText(b.caption);
        m_buttonList.at(i)->setToolTip(b.command);
    }
}

bool TForm_debug::saveButtons() {
    if (!DebugFiles::writeButtonFile(m_buttonFilePath, m_buttons)) return false;
    m_buttonsChanged = false;
    m_fileUnreadable = false;
    return true;
}

void TForm_debug::BitBtn_ADBG_Click(int index) {
    const QString &command = m_buttons.at(static_cast<std::size_t>(index)).command;
    if (!command.isEmpty()) Driver_envoie(command);
}

void TForm_debug::BitBtn_ADBG_MouseUp(int index) {
    DebugFiles::Button &b = m_buttons.at(static_cast<std::size_t>(index));
    QPushButton *button = m_buttonList.at(index);
    QString caption = b.caption;
    if (Prompts::instance().inputText(QStringLiteral("Entrer description d'addressage"), b.command, caption))
        b.caption = caption.left(DebugFiles::kMaxValueLength);
    button->setText(b.caption);
    QString command = b.command;
    if (Prompts::instance().inputText(QStringLiteral("Entrer l'addresse et/ou la donnée"), b.caption,
                                      command))
        b.command = command.left(DebugFiles::kMaxValueLength);
    button->setToolTip(b.command);
    m_buttonsChanged = true;
}

void TForm_debug::closeEvent(QCloseEvent *event) {
    FormClose();
    QMainWindow::closeEvent(event);
}

void TForm_debug::FormClose() {
    // A Debug.ini that exists but could not be read keeps its content unless the buttons were edited.
    if (m_fileUnreadable && !m_buttonsChanged) return;
    saveButtons(); // a failure leaves the previous file as it was; nothing is reported
}

// ---------------------------------------------------------------------------------------------------------
// Recording the link

void TForm_debug::MenuRecordLinkClick() {
    if (m_recorder.IsRecording()) {
        StopRecording();
        return;
    }
    const QString path = Prompts::instance().saveFileName(
        QStringLiteral("Record link"), QStringLiteral("Link recordings (*.oxsrec);;All files (*)"));
    if (path.isEmpty()) return;
    QString error;
    if (!StartRecording(path, &error))
        Prompts::instance().message(QStringLiteral("Cannot record to %1: %2").arg(path, error),
                                    Prompts::Icon::Error);
}

bool TForm_debug::StartRecording(const QString &path, QString *error) {
    const bool started = m_recorder.Start(path, error);
    showRecording();
    return started;
}

void TForm_debug::StopRecording() {
    m_recorder.Stop();
}

void TForm_debug::recordingStopped(const QString &reason) {
    showRecording();
    // An end the operator did not ask for stays in sight until the next recording.
    if (reason != QLatin1String("stopped")) {
        m_recordingLabel->setText(QStringLiteral("Recording ended (%1): %2")
                                      .arg(reason, QFileInfo(m_recorder.FileName()).fileName()));
        m_recordingLabel->show();
    }
}

void TForm_debug::showRecording() {
    const bool on = m_recorder.IsRecording();
    MenuRecordLink->setText(on ? QStringLiteral("Stop recording") : QStringLiteral("Record link..."));
    m_recordingLabel->setText(
        on ? QStringLiteral("Recording: %1").arg(QFileInfo(m_recorder.FileName()).fileName()) : QString());
    m_recordingLabel->setToolTip(on ? QDir::toNativeSeparators(m_recorder.FileName()) : QString());
    m_recordingLabel->setVisible(on);
}

// ---------------------------------------------------------------------------------------------------------
// Force Connect

void TForm_debug::Force_ConnectPopup() {
    (m_driver.ForceConn() ? MenuForceOn : MenuForceOff)->setChecked(true);
}

void TForm_debug::OnClick() {
    m_driver.SetForceConn(true);
}

void TForm_debug::OffClick() {
    m_driver.SetForceConn(false);
}

// ---------------------------------------------------------------------------------------------------------
// Value converter

void TForm_debug::BitBtn_Operation_logiqueClick() {
    Panel1->setVisible(Panel1->isHidden());
    if (!Panel1->isHidden()) Panel1->raise();
    fillConverter(Memo_recu->textCursor().selectedText());
}

void TForm_debug::fillConverter(const QString &selection) {
    if (selection.isEmpty()) {
        Label_variable->setText(kNoValue);
        Label_valeur_dec->setText(QStringLiteral("0"));
        Label_valeur_hex->setText(QStringLiteral("0"));
        Edit_valeur_dec->setText(QStringLiteral("0"));
        Edit_valeur_hex->setText(QStringLiteral("0"));
        Label_valeur_bin->setText(QStringLiteral("0000.0000.0000.0000b"));
        Edittext(QStringLiteral("0"));
        Button_envoie->setEnabled(false);
        return;
    }
    const DebugValues::Split s = DebugValues::splitMessage(selection);
    Label_variable->setText(s.name + u' ');
    Label_valeur_dec->setText(s.digits + u' ');
    Edit_valeur_dec->setText(s.digits + u' ');
    // Digits that make no 32-bit value (none, or too many) stop the filling here.
    const std::optional<uint32_t> v = DebugValues::decimalValue(s.digits);
    if (!v) return;
    const QString hex = DebugValues::hexText(*v);
    Label_valeur_hex->setText(hex + u' ');
    Edit_valeur_hex->setText(hex + u' ');
    Label_valeur_bin->setText(DebugValues::hextobin(hex) + u' ');
    Edittext(s.digits);
    Button_envoie->setEnabled(true);
}

void TForm_debug::Edittext(const QString &decimal) {
    const std::optional<uint32_t> v = DebugValues::decimalValue(decimal);
    if (!v) return;
    const QString bits = DebugValues::lowBits(*v);
    for (int i = 0; i < m_bitEdits.size(); ++i)
        m_bitEdits.at(i)->setText(bits.at(i));
}

bool TForm_debug::Edit_valeur_decKeyPress(QChar key) {
    if (key == CommandBuffer::kBackspace) return true;
    if (key >= u'0' && key <= u'9') return true;
    if (key != CommandBuffer::kEnter) return false;
    const QString text = Edit_valeur_dec->text();
    if (text.isEmpty()) return false;
    Label_valeur_dec->setText(text);
    const std::optional<uint32_t> v = DebugValues::decimalValue(text);
    if (!v) return false;
    const QString hex = DebugValues::hexText(*v);
    Label_valeur_hex->setText(hex + u' ');
    Edit_valeur_hex->setText(hex + u' ');
    Label_valeur_bin->setText(DebugValues::hextobin(hex));
    Edittext(text);
    return false;
}

bool TForm_debug::Edit_valeur_hexKeyPress(QChar key) {
    if (key == CommandBuffer::kBackspace) return true;
    if (key != CommandBuffer::kEnter) {
        const bool hexDigit =
            (key >= u'0' && key <= u'9') || (key.toUpper() >= u'A' && key.toUpper() <= u'F');
        if (hexDigit && Edit_valeur_hex->text().size() < 4) Edit_valeur_hex->insert(key.toUpper());
        return false; // accepted digits are inserted here, in upper case
    }
    QString text = Edit_valeur_hex->text().toUpper();
    if (text.size() >= 1 && text.size() <= 3) text = text.rightJustified(4, u'0');
    Edit_valeur_hex->setText(text);
    const bool fourDigits = text.size() == 4 && std::all_of(text.begin(), text.end(), [](QChar c) {
                                return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
                            });
    if (!fourDigits) return false;
    const QString binary = DebugValues::hextobin(text);
    const QString decimal = DebugValues::bintodec(binary);
    Label_valeur_hex->setText(text);
    Label_valeur_dec->setText(decimal);
    Edit_valeur_dec->setText(decimal);
    Label_valeur_bin->setText(binary);
    Edittext(decimal);
    return false;
}

void TForm_debug::EditClick(QLineEdit *edit) {
    const bool one = edit->text() == QLatin1String("0");
    const std::optional<QString> binary =
        DebugValues::setBit(Label_valeur_bin->text().trimmed(), edit->property("Tag").toInt(), one);
    if (!binary) return;
    const std::optional<uint32_t> v = DebugValues::binaryValue(*binary);
    if (!v) return;
    edit->setText(one ? QStringLiteral("1") : QStringLiteral("0"));
    Label_valeur_bin->setText(*binary);
    Label_valeur_dec->setText(QString::number(*v));
    Edit_valeur_dec->setText(QString::number(*v));
    Label_valeur_hex->setText(DebugValues::hexText(*v) + u' ');
    Edit_valeur_hex->setText(DebugValues::hexText(*v) + u' ');
}

void TForm_debug::BitBtn_OKClick() {
    Panel1->hide();
    // The value without the label's blank, so that a mnemonic added to it makes a command ("120H").
    m_command.setText(Label_valeur_dec->text().trimmed());
    showCommand();
    Memo_env->appendPlainText(m_command.text());
}

void TForm_debug::BitBtn_AnnulerClick() {
    Panel1->hide();
}

void TForm_debug::Button_envoieClick() {
    const int line = m_watch.find(nameUpToSpace(Label_variable->text()));
    if (line < 0) return;
    // The value goes out as displayed; one that is no number (an unfinished conversion) is not sent.
    // The label's trailing blank stays out: the scaler takes "120 H" for no command at all.
    const QString value = Label_valeur_dec->text().trimmed();
    if (!DebugValues::decimalValue(value)) return;
    Driver_envoie(value + m_commands.at(line));
}

void TForm_debug::BitBtn_desactive_varClick() {
    m_watch.toggle(nameUpToSpace(Label_variable->text()));
    syncWatch();
}

bool TForm_debug::panelMouse(QEvent *event) {
    auto *mouse = static_cast<QMouseEvent *>(event);
    if (event->type() == QEvent::MouseMove) {
        if (!(mouse->buttons() & Qt::LeftButton)) {
            m_dragFrom.reset();
            return false;
        }
        const QPoint at = mouse->position().toPoint();
        if (!m_dragFrom) m_dragFrom = at;
        m_dragTo = Panel1->pos() + at - *m_dragFrom;
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton && m_dragFrom) {
        // The panel stays whole inside the window.
        const QSize room = centralWidget()->size() - Panel1->size();
        Panel1->move(std::clamp(m_dragTo.x(), 0, std::max(0, room.width())),
                     std::clamp(m_dragTo.y(), 0, std::max(0, room.height())));
        m_dragFrom.reset();
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------------------
// Text-file sender

void TForm_debug::Envoyer_un_fichier_texteClick() {
    senderStopped();
    m_tempo.setInterval(ScrollBar_duration->value() + TextSender::kCharIntervalMs);
    ScrollBar_duration->setEnabled(true);
    const QString path =
        Prompts::instance().openFileName(QStringLiteral("Charger script,   Norvane..."), kScriptFilter);
    if (path.isEmpty()) return;
    if (!m_sender.load(path)) return; // unreadable, too large or not text: ignored
    setWindowTitle(QStringLiteral("DEBUG\t") + path);
    m_tempo.setInterval(m_sender.interval(ScrollBar_duration->value()));
    m_tempo.start();
    ScrollBar_duration->setEnabled(false);
}

void TForm_debug::StopClick() {
    senderStopped();
    ScrollBar_duration->setEnabled(true);
}

void TForm_debug::evenement_tempo() {
    if (const std::optional<QByteArray> bytes = m_sender.next()) {
        Driver_envoie(*bytes);
        senderSent(*bytes);
        return;
    }
    senderStopped();
    ScrollBar_duration->setEnabled(true);
}

// The link's keep-alive query waits while the file's current command is partly sent, so that the scaler
// gets each command whole even at a slow character pace.
void TForm_debug::senderSent(const QByteArray &bytes) {
    const bool wasPartial = m_progress.partial();
    const bool partial = m_progress.feed(bytes);
    if (partial && !wasPartial) m_driver.HoldKeepAlive(true);
    if (!partial && wasPartial) m_driver.HoldKeepAlive(false);
}

void TForm_debug::senderStopped() {
    m_tempo.stop();
    if (!m_progress.partial()) return;
    m_progress.reset();
    m_driver.HoldKeepAlive(false);
}

void TForm_debug::ScrollBar_durationScroll(int position) {
    if (!m_sender.loadedOnce()) return;
    m_tempo.setInterval(m_sender.interval(position));
    Label_scroll_timer->setText(QString::number(position));
}

// ---------------------------------------------------------------------------------------------------------
// Window geometry: only the height changes.

void TForm_debug::layoutHeights() {
    const int top = Memo_env->y();
    const int clearHeight = BitBtn_clear->height();
    const int memoHeight =
        std::max(kMinMemoHeight, centralWidget()->height() - top - clearHeight - kBottomMargin);
    Memo_env->resize(Memo_env->width(), memoHeight);
    Memo_recu->resize(Memo_recu->width(), memoHeight);
    CheckListBox_bloque_reception_rs->resize(CheckListBox_bloque_reception_rs->width(),
                                             memoHeight + clearHeight);
    BitBtn_clear->move(BitBtn_clear->x(), top + memoHeight);
}

void TForm_debug::resizeEvent(QResizeEvent *event) {
    QMainWindow::resizeEvent(event);
    layoutHeights();
}

void TForm_debug::firstActivation() {
    m_firstActivation = false;
    const QScreen *s = screen();
    if (!s) return;
    const QRect desktop = s->availableGeometry();
    const int frameExtra = frameGeometry().height() - height();
    const int frameHeight =
        desktop.y() + desktop.height() - frameGeometry().top() - BitBtn_clear->height() - kDesktopMargin;
    resize(kWidth, std::max(minimumSizeHint().height(), frameHeight - frameExtra));
}

void TForm_debug::changeEvent(QEvent *event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && m_firstActivation) firstActivation();
    // Minimised, the console renders nothing; restored, it catches up at once.
    if (event->type() == QEvent::WindowStateChange && isVisible() && !isMinimized()) FlushLog();
}

// ---------------------------------------------------------------------------------------------------------
// Keys and mouse on the controls

bool TForm_debug::eventFilter(QObject *watched, QEvent *event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        const std::optional<QChar> c = typedChar(*key);
        if (watched == _ && !c && mnemonicListKey(*key)) return true;
        if (watched == Memo_env || watched == _) {
            if (c) KeyPress(*c);
            // The memo edits its text as usual; the list takes only its navigation keys.
            return watched == _ && c.has_value();
        }
        if (watched == Edit_valeur_dec || watched == Edit_valeur_hex) {
            if (!c) return false; // navigation and editing keys without a character
            return watched == Edit_valeur_dec ? !Edit_valeur_decKeyPress(*c) : !Edit_valeur_hexKeyPress(*c);
        }
    }
    if (type == QEvent::MouseButtonRelease) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        const auto found = std::find(m_buttonList.cbegin(), m_buttonList.cend(), watched);
        const int button =
            found == m_buttonList.cend() ? -1 : static_cast<int>(found - m_buttonList.cbegin());
        if (button >= 0 && mouse->button() == Qt::RightButton) {
            BitBtn_ADBG_MouseUp(button);
            return true;
        }
        auto *edit = qobject_cast<QLineEdit *>(watched);
        if (edit && m_bitEdits.contains(edit) && mouse->button() == Qt::LeftButton) {
            EditClick(edit);
            return false;
        }
    }
    // The wheel over the closed list moves its selection only, as the arrow keys do.
    if (watched == _ && type == QEvent::Wheel && !_->view()->isVisible()) {
        const int step = static_cast<QWheelEvent *>(event)->angleDelta().y();
        if (step != 0)
            _->setCurrentIndex(std::clamp(_->currentIndex() + (step > 0 ? -1 : 1), 0, _->count() - 1));
        return true;
    }
    if (watched == Panel1 && (type == QEvent::MouseMove || type == QEvent::MouseButtonRelease))
        return panelMouse(event);
    return QMainWindow::eventFilter(watched, event);
}
