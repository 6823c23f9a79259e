#include "FrameReceiver.h"

#include <algorithm>

namespace OxsSim {

namespace {
constexpr unsigned char kEsc = 0x1B;
constexpr unsigned char kDc1 = 0x11;
constexpr unsigned char kDc3 = 0x13;
constexpr unsigned char kAck = 0x06;
constexpr unsigned char kEtb = 0x17;
constexpr unsigned char kCr = 0x0D;
constexpr unsigned char kEot = 0x04;
constexpr unsigned char kCan = 0x18;
constexpr int kOfferFirstMs = 100;

QByteArray escaped(unsigned char code) {
    QByteArray bytes;
    bytes.append(char(kEsc)).append(char(code));
    return bytes;
}
constexpr int kOfferRepeatMs = 500;
} // namespace

FrameReceiver::FrameReceiver(Session &session, const UploadSettings &settings,
                             std::function<void()> backToText, Finished finished)
    : m_session(&session), m_settings(settings), m_backToText(std::move(backToText)),
      m_finished(std::move(finished)), m_field(kWidth, kHeight, QImage::Format_RGB32) {
    m_field.fill(Qt::black);
    m_clock.start();
    m_sendTimer.setSingleShot(true);
    m_sendTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_sendTimer, &QTimer::timeout, this, &FrameReceiver::sendDue);
    connect(&m_offer, &QTimer::timeout, this, [this] {
        if (m_started || !m_session) return;
        m_session->sendRaw(escaped(kDc1));
        m_offered = true;
        m_offer.start(kOfferRepeatMs);
    });
    m_offer.setSingleShot(true);
    m_offer.start(kOfferFirstMs);
    m_idle.setSingleShot(true);
    m_idle.setInterval(kIdleMs + std::max(0, m_settings.holdMs));
    connect(&m_idle, &QTimer::timeout, this, [this] {
        if (!m_done) finish(false);
    });
    if (!m_settings.rawUntilCan) m_idle.start();
}

FrameReceiver::~FrameReceiver() = default;

void FrameReceiver::received(Session &, const QByteArray &data) {
    m_inFreeUs = lineTimeAfter(m_inFreeUs, data.size());
    if (m_idle.isActive()) m_idle.start();
    // Before the offer the frame memory is not listening: what comes is the tail of the text protocol
    // (a keep-alive "?"), not picture data.
    if (!m_offered) return;
    for (const char c : data) {
        if (m_done) return;
        const auto byte = static_cast<unsigned char>(c);
        if (m_escaped) {
            m_escaped = false;
            if (byte == kEsc)
                dataByte(byte);
            else
                control(byte);
        } else if (byte == kEsc) {
            m_escaped = true;
        } else {
            dataByte(byte);
        }
    }
}

void FrameReceiver::dataByte(unsigned char byte) {
    m_started = true;
    m_rgb[m_rgbCount++] = byte;
    if (m_rgbCount < 3) return;
    m_rgbCount = 0;
    if (m_column < kWidth && m_row < kHeight)
        m_field.setPixel(m_column, m_row, qRgb(m_rgb[0], m_rgb[1], m_rgb[2]));
    ++m_column;
}

void FrameReceiver::control(unsigned char code) {
    m_started = true;
    switch (code) {
    case kEtb:
        chunkEnd();
        break;
    case kCr:
        ++m_row;
        m_column = 0;
        m_rgbCount = 0;
        sendControl(kAck);
        break;
    case kEot:
        finish(true);
        break;
    case kCan:
        finish(false);
        break;
    default:
        break;
    }
}

void FrameReceiver::chunkEnd() {
    ++m_chunks;
    if (m_chunks == m_settings.abortAfterChunks) {
        m_done = true;
        m_out.append({replyDueUs(2), escaped(kCan), true});
        sendDue();
        if (m_finished) m_finished(QImage());
        return;
    }
    if (m_settings.silentAfterChunks >= 0 && m_chunks > m_settings.silentAfterChunks) return;
    sendControl(kAck);
    if (m_chunks == m_settings.holdAfterChunks) {
        sendControl(kDc3);
        sendControl(kDc1, m_settings.holdMs);
    }
}

// The last acknowledgement goes out, then the session speaks the text protocol again.
void FrameReceiver::finish(bool stored) {
    m_done = true;
    if (stored) {
        m_out.append({replyDueUs(2), escaped(kAck), true});
        sendDue();
    } else {
        m_out.append({replyDueUs(0), QByteArray(), true});
        sendDue();
    }
    if (m_finished) m_finished(stored ? m_field : QImage());
}

qint64 FrameReceiver::nowUs() const {
    return m_clock.nsecsElapsed() / 1000;
}

// The emulated line is full duplex, 10 bits a byte each way. Bytes in one direction take it from when it is
// free; a reply starts once what it answers has fully arrived and reaches the host when its last byte has.
qint64 FrameReceiver::lineTimeAfter(qint64 freeUs, qint64 bytes) const {
    const qint64 start = std::max(freeUs, nowUs());
    return m_settings.lineRateBaud > 0 ? start + bytes * 10 * 1000000 / m_settings.lineRateBaud : start;
}

qint64 FrameReceiver::replyDueUs(qint64 bytes) {
    m_outFreeUs = lineTimeAfter(std::max(m_outFreeUs, m_inFreeUs), bytes);
    return m_outFreeUs;
}

void FrameReceiver::sendControl(unsigned char code, int extraDelayMs) {
    if (extraDelayMs > 0) m_outFreeUs = std::max(m_outFreeUs, nowUs()) + qint64(extraDelayMs) * 1000;
    m_out.append({replyDueUs(2), escaped(code), false});
    sendDue();
}

void FrameReceiver::sendDue() {
    const qint64 now = nowUs();
    // Due within half a millisecond counts as due: the timer's millisecond steps would otherwise add half a
    // millisecond to every acknowledgement on average.
    while (!m_out.isEmpty() && m_out.first().dueUs - now < 500) {
        const Pending next = m_out.takeFirst();
        if (m_session && !next.bytes.isEmpty()) m_session->sendRaw(next.bytes);
        if (next.last) {
            m_out.clear();
            // Leave from the event loop: the session destroys this handler when it takes the new one.
            if (m_session) QTimer::singleShot(0, m_session.data(), m_backToText);
            return;
        }
    }
    if (!m_out.isEmpty())
        m_sendTimer.start(static_cast<int>(std::max<qint64>(0, (m_out.first().dueUs - now + 500) / 1000)));
}

} // namespace OxsSim
