#include "TransferFrame.h"

#include "FrameDebug.h"
#include "FrameFormat.h"
#include "Gradient.h"
#include "GradientWindow.h"
#include "Orlan_d.h"
#include "Prompts.h"
#include "ThreadFrameRaw.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMutexLocker>
#include <QSaveFile>
#include <QTimer>

#include <cmath>
#include <exception>

namespace {
constexpr int kTimerInterval = 500;
constexpr int kMinimumWidth = 592; // the smallest window, borders included, is 600 x 400
constexpr int kMinimumHeight = 366;
const QString kBitmapFilter = QStringLiteral("Bitmaps (*.bmp)");
const QString kUserAborted = QStringLiteral("Transfer aborted by user.");
} // namespace

TFormTransferFrame::TFormTransferFrame(QWidget *parent) : QDialog(parent) {
    setupUi(this);
    // No close box: the window closes through "Close" (or Escape), which asks first during an upload.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setMaximumSize(size());
    setMinimumSize(kMinimumWidth, kMinimumHeight);

    m_statusText = new QLabel(StatusBar);
    StatusBar->addWidget(m_statusText, 1);
    ImgDisplay->setFixedSize(kFrameWidth, kFrameHeight);
    ScrollBox->setBackgroundRole(QPalette::Dark);
    PnlControls->installEventFilter(this);

    FormFrameFormat = new TFormFrameFormat(this);
    FormGradient = new TFormGradient(this);
    FormFrameDebug = new TFormFrameDebug(this);
    TimerUpdate = new QTimer(this);
    TimerUpdate->setInterval(kTimerInterval);
    NowMs = [] { return QDateTime::currentMSecsSinceEpoch(); };

    connect(BtnDownload, &QPushButton::clicked, this, &TFormTransferFrame::BtnDownloadClick);
    connect(BtnLoad, &QPushButton::clicked, this, &TFormTransferFrame::BtnLoadClick);
    connect(BtnSave, &QPushButton::clicked, this, &TFormTransferFrame::BtnSaveClick);
    connect(BtnGradient, &QPushButton::clicked, this, &TFormTransferFrame::BtnGradientClick);
    connect(BtnAbortClose, &QPushButton::clicked, this, &TFormTransferFrame::BtnAbortCloseClick);
    connect(TimerUpdate, &QTimer::timeout, this, &TFormTransferFrame::OnTimerUpdate);

    PreviewMenu = new QMenu(this);
    ActGradient = PreviewMenu->addAction(QStringLiteral("&Gradient..."));
    ActGradient->setStatusTip(QStringLiteral("Generate a two-colour gradient picture"));
    ActSavePreview = PreviewMenu->addAction(QStringLiteral("&Save preview..."));
    ActSavePreview->setStatusTip(QStringLiteral("Save the preview as a Windows bitmap"));
    connect(ActGradient, &QAction::triggered, this, [this] {
        if (idle()) BtnGradientClick();
    });
    connect(ActSavePreview, &QAction::triggered, this, [this] {
        if (idle() && pictureLoaded()) BtnSaveClick();
    });
    ScrollBox->installEventFilter(this);
    ScrollBox->viewport()->installEventFilter(this);
    refreshDisplay();
}

TFormTransferFrame::~TFormTransferFrame() {
    Shutdown();
}

// ---------------------------------------------------------------------------------------------------------
// Status, progress and statistics

void TFormTransferFrame::SetStatus(int mode, const QString &text) {
    m_statusText->setText(text);
    if (mode == 0) {
        m_transferActive = false;
        m_processing = false;
        BtnAbortClose->setText(QStringLiteral("Close"));
        ProgressBar->setValue(ProgressBar->minimum());
    } else {
        BtnAbortClose->setText(QStringLiteral("Abort"));
    }
    refreshEnabled();
    if (m_statusText->isVisible()) m_statusText->repaint();
}

QString TFormTransferFrame::StatusText() const {
    return m_statusText->text();
}

bool TFormTransferFrame::idle() const {
    return !m_transferActive && !m_processing;
}

bool TFormTransferFrame::pictureLoaded() const {
    return m_pictures.Source.Width() > 0 && m_pictures.Source.Height() > 0;
}

void TFormTransferFrame::refreshEnabled() {
    for (QWidget *control : {static_cast<QWidget *>(BtnDownload), static_cast<QWidget *>(BtnUpload),
                             static_cast<QWidget *>(BtnLoad), static_cast<QWidget *>(BtnSave),
                             static_cast<QWidget *>(BtnGradient), static_cast<QWidget *>(CmbTransferMode)})
        control->setEnabled(idle());
    ActGradient->setEnabled(idle());
    ActSavePreview->setEnabled(idle() && pictureLoaded());
}

void TFormTransferFrame::ShowPreviewMenu(const QPoint &globalPos) {
    refreshEnabled();
    PreviewMenu->popup(globalPos);
}

void TFormTransferFrame::SetProgress(int minimum, int maximum, int position) {
    ProgressBar->setRange(minimum, maximum);
    ProgressBar->setValue(position);
    if (ProgressBar->isVisible()) ProgressBar->repaint();
}

int TFormTransferFrame::TransferSpeed(qint64 pixels, qint64 milliseconds) {
    if (milliseconds <= 0) return 0;
    const qint64 speed = std::llround(3.0 * double(pixels) * 1000.0 / double(milliseconds));
    return int(uint16_t(speed));
}

void TFormTransferFrame::UpdateStatistics() {
    if (!m_transferActive) return;
    ProgressBar->setValue(m_worker ? m_worker->PixelsSent() : 0);
    const qint64 elapsed = NowMs() - m_startMs;
    FormFrameDebug->SetElapsed(elapsed);
    FormFrameDebug->SetProgress(ProgressBar->value(), ProgressBar->maximum());
    FormFrameDebug->SetSpeed(TransferSpeed(ProgressBar->value(), elapsed));
}

// ---------------------------------------------------------------------------------------------------------
// Pictures

void TFormTransferFrame::ProcessPicture(int mode) {
    TFramePictures::Observer observer;
    observer.processingStarted = [this] {
        m_processing = true;
        refreshEnabled();
    };
    observer.progress = [this](int minimum, int maximum, int position) {
        SetProgress(minimum, maximum, position);
    };
    observer.status = [this](int statusMode, const QString &text) { SetStatus(statusMode, text); };
    observer.sourceSize = [this](int width, int height) {
        FormFrameDebug->SetSourceWidth(width);
        FormFrameDebug->SetSourceHeight(height);
    };
    if (m_pictures.ProcessPicture(mode, observer)) refreshDisplay();
}

void TFormTransferFrame::refreshDisplay() {
    QMutexLocker lock(&m_pictures.Display.Surface());
    ImgDisplay->setPixmap(QPixmap::fromImage(m_pictures.Display.image));
}

// A picture that cannot be read leaves the previous one in place and says why.
void TFormTransferFrame::BtnLoadClick() {
    const QString name = Prompts::instance().openFileName(QStringLiteral("Load picture"), kBitmapFilter);
    if (name.isEmpty()) return;
    m_fileName = name;
    QString error;
    QImage picture = LoadPicture(name, &error);
    if (picture.isNull()) {
        Prompts::instance().message(QStringLiteral("The picture cannot be loaded.\n%1").arg(error),
                                    Prompts::Icon::Error);
        return;
    }
    {
        QMutexLocker lock(&m_pictures.Source.Surface());
        m_pictures.Source.image = std::move(picture);
    }
    const TFitMode mode =
        FormFrameFormat->ChooseFitMode(m_pictures.Source.Width(), m_pictures.Source.Height());
    if (mode != FIT_CANCELLED) ProcessPicture(mode);
}

// The preview is written whole or not at all, so an older file of that name survives a failure.
void TFormTransferFrame::BtnSaveClick() {
    const QString name = Prompts::instance().saveFileName(QStringLiteral("Save picture"), kBitmapFilter);
    if (name.isEmpty()) return;
    QSaveFile file(name);
    bool saved = file.open(QIODevice::WriteOnly);
    if (saved) {
        QMutexLocker lock(&m_pictures.Display.Surface());
        saved = m_pictures.Display.image.save(&file, "BMP");
    }
    saved = saved && file.commit();
    if (!saved)
        Prompts::instance().message(
            QStringLiteral("The picture cannot be saved to %1.\n%2").arg(name, file.errorString()),
            Prompts::Icon::Error);
}

void TFormTransferFrame::BtnGradientClick() {
    if (!FormGradient->Execute()) return;
    {
        QMutexLocker lock(&m_pictures.Source.Surface());
        m_pictures.Source.image = QImage(kFrameWidth, kFrameHeight, QImage::Format_RGB32);
    }
    SetProgress(0, kFrameWidth * kFrameHeight, 0);
    SetStatus(1, QStringLiteral("Generating..."));
    {
        QMutexLocker lock(&m_pictures.Source.Surface());
        m_pictures.Source.image =
            GradientPicture(FormGradient->Direction(), FormGradient->StartColor(), FormGradient->EndColor());
    }
    ProcessPicture(FIT_EXACT);
}

// ---------------------------------------------------------------------------------------------------------
// Upload

void TFormTransferFrame::BtnDownloadClick() {
    if (!m_driver || !m_driver->Connected()) {
        Prompts::instance().message(QStringLiteral("Device NOT connected"));
        return;
    }
    if (m_pictures.Source.Width() == 0 || m_pictures.Source.Height() == 0) {
        BtnLoadClick();
        if (m_pictures.Source.Width() <= 0 && m_pictures.Source.Height() <= 0) return;
    }
    m_worker.reset();
    if (CmbTransferMode->currentIndex() != 0) {
        Prompts::instance().message(QStringLiteral("Bad transfer mode !"));
        return;
    }
    try {
        m_worker = std::make_unique<TThreadFrameRaw>();
        m_worker->SetTiming(FrameTiming);
        m_startMs = NowMs();
        m_transferActive = true;
        SetStatus(1, QStringLiteral("Transferring frame..."));
        SetProgress(0, kFrameWidth * kFieldHeight, 0);
        UpdateStatistics();
        m_worker->Prepare(&m_pictures.Field, m_driver);
        m_worker->Reset();
        TimerUpdate->start();
        m_worker->Resume();
        m_worker->Start();
    } catch (const std::exception &e) {
        Prompts::instance().message(QString::fromLocal8Bit(e.what()), Prompts::Icon::Error);
    }
}

void TFormTransferFrame::OnTimerUpdate() {
    if (m_waitingForWorker) return;
    if (!m_worker) {
        SetStatus(0, QStringLiteral("Idle"));
        TimerUpdate->stop();
        return;
    }
    if (m_worker->IsRunning()) {
        UpdateStatistics();
        return;
    }
    if (m_worker->TransferResult() == TRANSFER_NONE) return;
    finishWorker();
}

// The worker has returned the link to the text protocol: its thread ends at once.
void TFormTransferFrame::finishWorker() {
    m_transferActive = false;
    const int result = m_worker->TransferResult();
    m_worker->WaitFor();
    TimerUpdate->stop();
    SetStatus(0, kUserAborted);
    // A time-out has a text of its own: the operator learns that the scaler stopped answering.
    if (const QString text = TransferResultText(result); !text.isEmpty()) SetStatus(0, text);
    m_worker.reset();
    BtnAbortClose->setEnabled(true);
}

void TFormTransferFrame::abortTransfer() {
    BtnAbortClose->setEnabled(false);
    if (m_worker) m_worker->UserAbort();
    OnTimerUpdate();
}

void TFormTransferFrame::BtnAbortCloseClick() {
    if (m_transferActive)
        abortTransfer();
    else
        close();
}

void TFormTransferFrame::Shutdown() {
    TimerUpdate->stop();
    if (m_worker) {
        m_waitingForWorker = true;
        m_worker->AbortAndWait();
        m_waitingForWorker = false;
        finishWorker();
    }
    FormFrameDebug->hide();
    hide();
}

// ---------------------------------------------------------------------------------------------------------
// Window

// A worker still ending an upload aborted at the last close keeps the window busy until the timer takes
// its end over.
void TFormTransferFrame::showEvent(QShowEvent *event) {
    GrpPicture->hide();
    GrpTransferMode->hide();
    BtnSave->hide();
    if (!m_worker) SetStatus(0, QStringLiteral("Idle"));
    QDialog::showEvent(event);
}

void TFormTransferFrame::closeEvent(QCloseEvent *event) {
    if (m_transferActive) {
        const Prompts::Answer answer = Prompts::instance().question(
            QStringLiteral("Transfer is still active.\r\nDo you want to abort ?"));
        if (answer != Prompts::Answer::Yes) {
            event->ignore();
            return;
        }
        abortTransfer();
    }
    FormFrameDebug->hide();
    setResult(QDialog::Rejected);
    event->accept();
}

void TFormTransferFrame::reject() {
    close();
}

bool TFormTransferFrame::eventFilter(QObject *watched, QEvent *event) {
    if (watched == PnlControls && event->type() == QEvent::Resize) layoutControls();
    // A right click on the picture reaches the viewport; the menu key reaches the focused scroll box.
    if ((watched == ScrollBox || watched == ScrollBox->viewport()) && event->type() == QEvent::ContextMenu) {
        ShowPreviewMenu(static_cast<QContextMenuEvent *>(event)->globalPos());
        return true;
    }
    if (watched == ScrollBox && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Menu ||
            (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier)) {
            ShowPreviewMenu(ScrollBox->mapToGlobal(ScrollBox->rect().center()));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// The progress bar takes the width the abort button leaves.
void TFormTransferFrame::layoutControls() {
    const int width = PnlControls->width();
    BtnAbortClose->move(width - BtnAbortClose->width() - 8, BtnAbortClose->y());
    ProgressBar->resize(BtnAbortClose->x() - 10 - ProgressBar->x(), ProgressBar->height());
}
