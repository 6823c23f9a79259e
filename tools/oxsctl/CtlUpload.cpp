#include "CtlUpload.h"

#include "Gradient.h"
#include "Orlan_d.h"
#include "PictureFitting.h"
#include "ThreadFrameRaw.h"

namespace OxsCtl {

int prepareField(const Options &options, QImage &field, QString *why) {
    if (options.gradient) {
        // Made and fitted as the window's Gradient button makes it.
        TFramePictures pictures;
        pictures.Source.image =
            GradientPicture(GRADIENT_HORIZONTAL, kGradientInitialStart, kGradientInitialEnd);
        pictures.ProcessPicture(FIT_EXACT);
        field = pictures.Field.image;
        return kExitOk;
    }
    const QString path = options.arguments.value(0);
    QString error;
    const QImage picture = LoadPicture(path, &error);
    if (picture.isNull()) {
        *why = error;
        return kExitBadPicture;
    }
    int mode = options.fitMode;
    if (mode == 0) {
        if (picture.width() == kFrameWidth && picture.height() == kFieldHeight) {
            field = picture; // already one field
            return kExitOk;
        }
        if (picture.width() != kFrameWidth || picture.height() != kFrameHeight) {
            *why =
                QStringLiteral("%1 is %2 x %3 pixels: give --fit crop, shrink, center or zoom to fit it to "
                               "720 x 576 (or use a picture of 720 x 576 or 720 x 288)")
                    .arg(path)
                    .arg(picture.width())
                    .arg(picture.height());
            return kExitUsage;
        }
        mode = FIT_EXACT;
    }
    TFramePictures pictures;
    pictures.Source.image = picture;
    pictures.ProcessPicture(mode);
    field = pictures.Field.image;
    return kExitOk;
}

int uploadExitCode(int transferResult) {
    switch (transferResult) {
    case TRANSFER_DONE:
        return kExitOk;
    case TRANSFER_SCALER_ABORT:
        return kExitScalerAborted;
    case TRANSFER_USER_ABORT:
        return kExitInterrupted;
    case TRANSFER_TIMEOUT:
        return kExitUploadTimeout;
    default:
        return kExitFailure;
    }
}

UploadRunner::UploadRunner(TOrlan_d &driver, Request request, Writer out, Writer err, Writer progress,
                           QObject *parent)
    : QObject(parent), m_driver(driver), m_request(std::move(request)), m_out(std::move(out)),
      m_err(std::move(err)), m_progress(std::move(progress)) {
    m_field.image = m_request.field;
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, [this] {
        m_err(QStringLiteral("oxsctl: no scaler answered on %1 within %2 s\n")
                  .arg(describeLink(m_request.options))
                  .arg(m_request.options.timeoutMs / 1000.0));
        finish(kExitNoScaler);
    });
    connect(&m_watch, &QTimer::timeout, this, &UploadRunner::watch);
}

UploadRunner::~UploadRunner() {
    m_driver.OnConnected = nullptr;
    m_worker.reset(); // aborts an upload still under way, back to the text protocol
}

void UploadRunner::start() {
    m_driver.OnConnected = [this](TOrlan_d *, int32_t) {
        if (m_driver.Connected() && !m_worker && !m_finished) beginUpload();
    };
    m_timeout.start(m_request.options.timeoutMs);
    QTimer::singleShot(0, this, [this] {
        if (m_driver.Connected() && !m_worker && !m_finished) beginUpload();
    });
}

void UploadRunner::interrupt() {
    if (m_finished) return;
    if (!m_worker) {
        finish(kExitInterrupted);
        return;
    }
    m_interrupted = true;
    m_worker->UserAbort();
}

void UploadRunner::beginUpload() {
    m_timeout.stop();
    m_clock.start();
    auto worker = std::make_unique<TThreadFrameRaw>();
    worker->SetTiming(m_timing);
    worker->Prepare(&m_field, &m_driver);
    worker->Reset();
    worker->Resume();
    worker->Start();
    m_worker = std::move(worker);
    m_watch.start(kWatchMs);
}

void UploadRunner::watch() {
    const int total = m_field.Width() * m_field.Height();
    const int sent = m_worker->PixelsSent();
    if (m_worker->IsRunning()) {
        if (!m_progress) return;
        const QString line = QStringLiteral("uploading: %1/%2 pixels (%3%)")
                                 .arg(sent)
                                 .arg(total)
                                 .arg(total > 0 ? qint64(sent) * 100 / total : 0);
        if (line != m_lastProgress) m_progress(m_lastProgress = line);
        return;
    }
    const int result = m_worker->TransferResult();
    if (result == TRANSFER_NONE) return; // not begun yet
    m_watch.stop();
    m_worker->WaitFor();
    m_worker.reset();
    const QString seconds = QString::number(m_clock.elapsed() / 1000.0, 'f', 1);
    switch (result) {
    case TRANSFER_DONE:
        m_out(QStringLiteral("stored %1 pixels in %2 s\n").arg(sent).arg(seconds));
        break;
    case TRANSFER_SCALER_ABORT:
        m_err(QStringLiteral("oxsctl: the scaler aborted the upload after %1 of %2 pixels\n")
                  .arg(sent)
                  .arg(total));
        break;
    case TRANSFER_USER_ABORT:
        m_err(
            QStringLiteral("oxsctl: upload interrupted after %1 of %2 pixels; the scaler was told to abort\n")
                .arg(sent)
                .arg(total));
        break;
    default:
        m_err(
            QStringLiteral("oxsctl: the scaler stopped answering during the upload (%1 of %2 pixels sent)\n")
                .arg(sent)
                .arg(total));
        break;
    }
    // An abort asked for by a signal ends as interrupted, whatever the worker was doing when it came.
    finish(m_interrupted && result != TRANSFER_DONE ? kExitInterrupted : uploadExitCode(result));
}

void UploadRunner::finish(int code) {
    if (m_finished) return;
    m_finished = true;
    m_timeout.stop();
    m_watch.stop();
    if (finished) finished(code);
}

} // namespace OxsCtl
