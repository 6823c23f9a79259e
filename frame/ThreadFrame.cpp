#include "ThreadFrame.h"

#include "Logging.h"

#include "Orlan_d.h"
#include "Prompts.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaMethod>
#include <QMutexLocker>
#include <QTimer>

#include <algorithm>
#include <chrono>

using namespace FrameWire;

namespace {

constexpr int kMaxSide = 0xFFFF; // column and row are 16-bit

constexpr const char *kEventNames[TThreadFrame::EventCount] = {
    "EventStart",         "EventRunning",     "EventUserAbort", "EventAbort",  "EventReset",
    "EventTerminateSend", "EventACKReceived", "EventOXSReady",  "EventEscaped"};

uint32_t steadyTick() {
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// The colour of one pixel as a colour value; false when the picture cannot tell (a palette index
// beyond its colour table).
bool readPixel(const QImage &picture, int x, int y, uint32_t &colour) {
    QRgb rgb;
    switch (picture.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        rgb = reinterpret_cast<const QRgb *>(picture.constScanLine(y))[x];
        break;
    case QImage::Format_Indexed8:
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        if (picture.pixelIndex(x, y) >= picture.colorCount()) return false;
        rgb = picture.pixel(x, y);
        break;
    default:
        rgb = picture.pixel(x, y);
        break;
    }
    colour = ColorRefFromRgb(rgb);
    return true;
}

} // namespace

// The worker's reply decoder as the driver's OnRecData; a type of its own so the worker can tell it apart
// from another owner's handler when it leaves.
struct TThreadFrameReplyHandler {
    TThreadFrame *frame;
    void operator()(TOrlan_d *, int32_t) const { frame->decodeReplies(); }
};

QString TransferResultText(int result) {
    switch (result) {
    case TRANSFER_DONE:
        return QStringLiteral("Command successfull.");
    case TRANSFER_SCALER_ABORT:
        return QStringLiteral("Failure.");
    case TRANSFER_USER_ABORT:
        return QStringLiteral("Transfer aborted by user.");
    case TRANSFER_TIMEOUT:
        return QStringLiteral("Failure: the scaler stopped answering.");
    default:
        return {};
    }
}

const char *TThreadFrame::EventName(TEventId id) {
    return id >= 0 && id < EventCount ? kEventNames[id] : "";
}

TThreadFrame::TThreadFrame(QObject *parent) : QThread(parent) {
    for (int i = 0; i < EventCount; ++i)
        m_events[std::size_t(i)] =
            std::make_unique<TNamedEvent>(m_group, QLatin1String(kEventNames[i]), i == EventReset);
}

TThreadFrame::~TThreadFrame() {
    AbortAndWait();
    if (m_driver) {
        const auto *handler = m_driver->OnRecData.target<TThreadFrameReplyHandler>();
        if (handler && handler->frame == this) m_driver->OnRecData = nullptr;
    }
}

void TThreadFrame::Prepare(TPicture *picture, TOrlan_d *driver) {
    m_picture = picture;
    m_driver = driver;
    if (driver) driver->OnRecData = TThreadFrameReplyHandler{this};
    Ev(EventEscaped).Reset();
    m_result.store(TRANSFER_NONE);
}

void TThreadFrame::Reset() {
    Ev(EventOXSReady).Reset();
    Ev(EventACKReceived).Reset();
    Ev(EventReset).Set();
}

void TThreadFrame::Resume() {
    start();
}

void TThreadFrame::Start() {
    Ev(EventStart).Set();
}

void TThreadFrame::UserAbort() {
    Ev(EventUserAbort).Set();
}

bool TThreadFrame::IsRunning() const {
    return Event(EventRunning).IsSet();
}

void TThreadFrame::SetTiming(const TFrameTiming &timing) {
    m_timing = timing;
}

void TThreadFrame::run() {
    Execute();
    std::lock_guard<std::mutex> lock(m_callMutex); // see joined()
}

void TThreadFrame::joined() {
    std::lock_guard<std::mutex> lock(m_callMutex);
}

bool TThreadFrame::WaitFor(unsigned long timeoutMs) {
    if (!wait(timeoutMs)) return false;
    joined();
    return true;
}

void TThreadFrame::post(std::function<void()> call, bool wait, bool wake) {
    std::unique_lock<std::mutex> lock(m_callMutex);
    m_calls.push_back(std::move(call));
    const uint64_t ticket = ++m_callsPosted;
    wake = (wake || wait) && !std::exchange(m_wakePending, true);
    lock.unlock();
    // One wake-up serves every call queued until the queue runs dry. Posted without the lock held, so that
    // the user-interface thread does not wake only to wait for it.
    if (wake) {
        static const QMetaMethod serve =
            staticMetaObject.method(staticMetaObject.indexOfMethod("serveCalls()"));
        serve.invoke(this, Qt::QueuedConnection);
    }
    if (!wait) return;
    lock.lock();
    m_callServed.wait(lock, [&] { return m_callsServed >= ticket; });
}

void TThreadFrame::serveCalls() {
    std::unique_lock<std::mutex> lock(m_callMutex);
    m_wakePending = false;
    while (!m_calls.empty()) {
        std::function<void()> call = std::move(m_calls.front());
        m_calls.pop_front();
        lock.unlock();
        call();
        call = nullptr;
        lock.lock();
        ++m_callsServed;
        lock.unlock();
        m_callServed.notify_all();
        lock.lock();
    }
}

void TThreadFrame::AbortAndWait() {
    if (!isRunning()) {
        wait();
        joined();
        return;
    }
    m_quit.store(true);
    m_group.Wake();
    QEventLoop loop;
    QTimer check;
    connect(&check, &QTimer::timeout, &loop, [this, &loop] {
        if (isFinished()) loop.quit();
    });
    check.start(10);
    while (!isFinished()) {
        if (loop.exec(QEventLoop::ExcludeUserInputEvents) < 0) {
            // No event loop can run (the application is quitting): serve the worker's calls by hand.
            serveCalls();
            wait(10);
        }
    }
    wait();
    joined();
}

bool TThreadFrame::TakeQuitRequest() {
    if (!m_quit.load()) return true;
    const int state = State();
    if (state == 0 && !Ev(EventRunning).IsSet()) {
        Terminate(); // nothing under way
        return false;
    }
    // An upload in progress is aborted once; one that is ending (states 9 to 16) ends by itself.
    if (!m_quitTaken && state >= 1 && state <= 8) {
        m_quitTaken = true;
        Ev(EventUserAbort).Set();
    }
    return true;
}

uint32_t TThreadFrame::Now() const {
    return m_timing.tickCount ? m_timing.tickCount() : steadyTick();
}

int TThreadFrame::RemainingMs() const {
    const uint32_t elapsed = Now() - m_stepTime;
    if (elapsed > m_timing.waitLimitMs) return 0;
    return int(m_timing.waitLimitMs - elapsed) + 1;
}

void TThreadFrame::OnDriver(const std::function<void(TOrlan_d &)> &call) {
    auto run = [this, &call] {
        if (m_driver) call(*m_driver);
    };
    if (QThread::currentThread() == thread())
        run();
    else
        post(run, true);
}

int TThreadFrame::PictureWidth() const {
    if (!m_picture) return 0;
    QMutexLocker surface(&m_picture->Surface());
    return std::min(m_picture->image.width(), kMaxSide);
}

int TThreadFrame::PictureHeight() const {
    if (!m_picture) return 0;
    QMutexLocker surface(&m_picture->Surface());
    return std::min(m_picture->image.height(), kMaxSide);
}

int TThreadFrame::ReadChunk() {
    if (!m_picture) return 0;
    int taken = 0;
    int errorColumn = -1;
    {
        QMutexLocker surface(&m_picture->Surface());
        const QImage &picture = m_picture->image;
        const int width = std::min(picture.width(), kMaxSide);
        const int height = std::min(picture.height(), kMaxSide);
        while (m_column < width && m_row < height && taken < kChunkPixels) {
            uint32_t colour = 0;
            // A pixel that cannot be read goes out black: ending the chunk there would read it again and
            // again without end.
            if (!readPixel(picture, m_column, m_row, colour) && errorColumn < 0) errorColumn = m_column;
            m_chunk[std::size_t(taken++)] = colour;
            ++m_column;
        }
    }
    if (errorColumn >= 0) reportPictureError(errorColumn, m_row);
    return taken;
}

void TThreadFrame::reportPictureError(int column, int row) {
    if (std::exchange(m_pictureErrorShown, true)) return; // once per upload
    const QString text = QStringLiteral("%1 %2").arg(column).arg(row);
    // Shown without waiting: the upload goes on meanwhile.
    post(
        [this, text] {
            if (OnPictureError)
                OnPictureError(text);
            else
                Prompts::instance().message(text, Prompts::Icon::Error);
        },
        false);
}

void TThreadFrame::EncodeChunk(int pixels) {
    for (int i = 0; i < pixels; ++i) {
        const uint32_t colour = m_chunk[std::size_t(i)];
        EncodeByte(uint8_t(colour & 0xFF));
        EncodeByte(uint8_t((colour >> 8) & 0xFF));
        EncodeByte(uint8_t((colour >> 16) & 0xFF));
        m_pixelCount.fetch_add(1);
    }
    Flush(false); // goes with the ESC ETB that follows
}

void TThreadFrame::EncodeByte(uint8_t byte) {
    AppendEscaped(m_sendBuffer, byte);
}

void TThreadFrame::SendControl(char code) {
    m_sendBuffer.append(kEsc).append(code);
    Flush();
}

// Hands the send buffer to the driver without waiting: the user-interface thread writes it in order with
// every other call the worker makes.
void TThreadFrame::Flush(bool wake) {
    if (!m_sendBuffer.isEmpty()) m_staged.append(std::exchange(m_sendBuffer, QByteArray()));
    if (!wake) return;
    // Once the scaler has aborted nothing more goes out, neither data nor control codes.
    if (Ev(EventAbort).IsSet()) m_staged.clear();
    // Each flush is one SendText; the user-interface thread is woken once, for the last.
    for (qsizetype i = 0; i < m_staged.size(); ++i)
        post(
            [this, bytes = m_staged[i]] {
                if (m_driver) m_driver->SendText(bytes);
            },
            false, i + 1 == m_staged.size());
    m_staged.clear();
}

void TThreadFrame::Pause(uint32_t ms) {
    QThread::msleep(ms);
}

// The reply decoder: runs on the user-interface thread for every OnRecData. All changes of one delivery
// appear to the worker at once, so an acknowledgement followed by ESC DC3 never lets it see the one
// without the other.
void TThreadFrame::decodeReplies() {
    if (!m_driver) return;
    QByteArray data;
    m_driver->ReadRawData(data);
    m_replyBuffer += data;
    TEventGroup::Batch batch(m_group);
    for (const char c : std::as_const(m_replyBuffer)) {
        if (!batch.IsSet(Ev(EventEscaped))) {
            if (c == kEsc) batch.Set(Ev(EventEscaped));
            continue;
        }
        batch.Reset(Ev(EventEscaped));
        switch (c) {
        case kDc1:
            batch.Set(Ev(EventOXSReady));
            break;
        case kDc3:
            batch.Reset(Ev(EventOXSReady));
            break;
        case kAck:
            batch.Set(Ev(EventACKReceived));
            break;
        case kEot:
            batch.Set(Ev(EventTerminateSend));
            break;
        case kEsc:
        case kNul:
            break;
        default:
            batch.Set(Ev(EventAbort));
            break;
        }
    }
    m_replyBuffer.clear();
}

void TThreadFrame::SetState(int state) {
    if (state != m_state.load())
        qCDebug(lcUpload) << "state" << m_state.load() << "->" << state << "pixels" << m_pixelCount.load()
                          << "result" << m_result.load();
    m_state.store(uint8_t(state));
}
