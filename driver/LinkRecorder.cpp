#include "LinkRecorder.h"

#include "DeviceVariables.h"
#include "Orlan_d.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>

#include <chrono>

namespace {
constexpr qint64 kEntryOverhead = 64; // queue bytes counted per entry besides its data
constexpr qint64 kEndReserve = 64;    // file bytes kept for the end line
constexpr qint64 kMinFileLimit = 1024;
constexpr char kEsc = 0x1B;

// Seconds with six decimals, without going through floating point.
QByteArray seconds(qint64 micros) {
    if (micros < 0) micros = 0;
    QByteArray fraction = QByteArray::number(micros % 1000000);
    return QByteArray::number(micros / 1000000) + '.' + QByteArray(6 - fraction.size(), '0') + fraction;
}

// Text (not bytes) as a JSON string with its quotes.
QByteArray jsonText(const QString &text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

// In raw mode the upload sends each control sequence (ESC and one code: ETB, CR, EOT, CAN) on its own and
// picture data in chunks of at least three bytes, so a chunk of exactly ESC and another code is control.
bool isControlSequence(const QByteArray &bytes) {
    return bytes.size() == 2 && bytes[0] == kEsc && bytes[1] != kEsc;
}
} // namespace

struct LinkRecorder::File {
    QFile file;
    qint64 written = 0;
    qint64 limit = kDefaultFileLimit;
};

LinkRecorder::LinkRecorder(TOrlan_d &driver, QObject *parent)
    : QObject(parent), m_driver(driver), m_program(QStringLiteral("oxs-remote-control")) {}

LinkRecorder::~LinkRecorder() {
    Stop();
}

QString LinkRecorder::LinkDescription(const TOrlan_d &driver) {
    switch (driver.ConType()) {
    case CON_RS232:
        return QStringLiteral("RS232 %1").arg(driver.Port());
    case CON_UDP:
        return QStringLiteral("UDP %1:%2").arg(driver.IpRemoteAddress()).arg(driver.IpRemotePort());
    case CON_TCP:
        return QStringLiteral("TCP %1:%2").arg(driver.IpRemoteAddress()).arg(driver.IpRemotePort());
    }
    return {};
}

QByteArray LinkRecorder::JsonBytes(const QByteArray &bytes) {
    static const char hex[] = "0123456789abcdef";
    QByteArray out;
    out.reserve(bytes.size() + bytes.size() / 4 + 2);
    out.append('"');
    for (const char c : bytes) {
        const auto b = static_cast<uint8_t>(c);
        switch (b) {
        case '"':
            out.append("\\\"");
            continue;
        case '\\':
            out.append("\\\\");
            continue;
        case '\r':
            out.append("\\r");
            continue;
        case '\n':
            out.append("\\n");
            continue;
        case '\t':
            out.append("\\t");
            continue;
        default:
            break;
        }
        if (b < 0x20 || (b >= 0x7F && b < 0xA0)) {
            // Control bytes (C0, DEL and C1) are escaped so the file stays readable.
            out.append("\\u00").append(hex[b >> 4]).append(hex[b & 0xF]);
        } else if (b < 0x80) {
            out.append(c);
        } else {
            // U+00A0 to U+00FF in UTF-8.
            out.append(char(0xC0 | (b >> 6))).append(char(0x80 | (b & 0x3F)));
        }
    }
    out.append('"');
    return out;
}

bool LinkRecorder::Start(const QString &path, QString *error) {
    Stop();
    auto file = std::make_unique<File>();
    file->file.setFileName(path);
    file->limit = qMax(m_fileLimit, kMinFileLimit);
    if (!file->file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error) *error = file->file.errorString();
        return false;
    }
    const QDateTime started = QDateTime::currentDateTimeUtc();
    m_clock.start();
    const QByteArray header = "{\"oxsRecording\": 1, \"program\": " + jsonText(m_program) +
                              ", \"started\": \"" + started.toString(Qt::ISODateWithMs).toLatin1() +
                              "\", \"link\": " + jsonText(LinkDescription(m_driver)) + "}\n";
    if (file->file.write(header) != header.size() || !file->file.flush()) {
        if (error) *error = file->file.errorString();
        file->file.remove();
        return false;
    }
    file->written = header.size();

    m_path = path;
    m_file = std::move(file);
    {
        std::lock_guard lock(m_mutex);
        m_queue.clear();
        m_queued = 0;
        m_dropped = 0;
        m_stopping = false;
        m_writerReason.clear();
    }
    m_writerDone = false;
    m_recording = true;
    m_connections = {connect(&m_driver, &TOrlan_d::linkBytesOut, this, &LinkRecorder::linkOut),
                     connect(&m_driver, &TOrlan_d::linkBytesIn, this, &LinkRecorder::linkIn),
                     connect(&m_driver, &TOrlan_d::connectedChanged, this, &LinkRecorder::connectedChanged)};
    m_wasConnected = false;
    connectedChanged(); // a scaler already found is named at once
    m_thread.reset(QThread::create([this] { writerLoop(); }));
    m_thread->setObjectName(QStringLiteral("LinkRecorder"));
    m_thread->start(QThread::LowPriority);
    return true;
}

void LinkRecorder::Stop() {
    if (!m_recording) return;
    push({Kind::End, false, nowMicros(), 0, {}}, 0);
    finish(QStringLiteral("stopped"));
}

// Ends the recording on the user-interface thread: the writer has written what was queued (and the end
// line) or has closed the file on its own.
void LinkRecorder::finish(const QString &reason) {
    if (!m_recording) return;
    for (const auto &c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_held = false;
    }
    m_wake.notify_all();
    m_thread->wait();
    m_thread.reset();
    m_recording = false;
    QString why = reason;
    {
        // The writer's last act is under this mutex: what it did to the file is seen from here on.
        std::lock_guard lock(m_mutex);
        if (m_writerDone) why = m_writerReason;
        m_queue.clear();
        m_queued = 0;
    }
    m_file.reset();
    emit stopped(why);
}

void LinkRecorder::HoldWriter() {
    std::lock_guard lock(m_mutex);
    m_held = true;
}

void LinkRecorder::ReleaseWriter() {
    {
        std::lock_guard lock(m_mutex);
        m_held = false;
    }
    m_wake.notify_all();
}

qint64 LinkRecorder::nowMicros() const {
    return m_clock.nsecsElapsed() / 1000;
}

void LinkRecorder::linkOut(const QByteArray &bytes) {
    if (m_driver.ConMode() == MODE_RAW && !isControlSequence(bytes)) {
        push({Kind::PictureBytes, true, nowMicros(), bytes.size(), {}}, 0);
        return;
    }
    push({Kind::Data, true, nowMicros(), 0, bytes}, bytes.size());
}

void LinkRecorder::linkIn(const QByteArray &bytes) {
    push({Kind::Data, false, nowMicros(), 0, bytes}, bytes.size());
}

// Named once each time the scaler is found; a forced connection over one already found is not news.
void LinkRecorder::connectedChanged() {
    const bool connected = m_driver.Connected() && m_driver.Value(OrlanVars::VAR_DEV) != 0;
    if (connected && !m_wasConnected)
        push({Kind::Model, false, nowMicros(), qint64(m_driver.Value(OrlanVars::VAR_DEV)), {}}, 0);
    m_wasConnected = m_driver.Connected();
}

// Data (droppableBytes > 0) that does not fit is counted instead; the count goes into the file before the
// next entry that fits. Other entries are small and always kept.
void LinkRecorder::push(Entry entry, qint64 droppableBytes) {
    if (m_writerDone) return;
    bool wake = false;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping) return;
        const qint64 cost = entry.data.size() + kEntryOverhead;
        if (droppableBytes > 0 && m_queued + cost > m_queueLimit) {
            m_dropped += droppableBytes;
            return;
        }
        if (m_dropped > 0) {
            m_queue.push_back({Kind::NotRecorded, false, entry.micros, m_dropped, {}});
            m_queued += kEntryOverhead;
            m_dropped = 0;
        }
        if (entry.kind == Kind::End) m_stopping = true;
        m_queue.push_back(std::move(entry));
        m_queued += cost;
        // The writer takes the queue at its own pace; it is woken early only when the queue fills up.
        wake = m_stopping || m_queued > m_queueLimit / 2;
    }
    if (wake) m_wake.notify_all();
}

void LinkRecorder::writerLoop() {
    File &f = *m_file;
    auto lastFlush = std::chrono::steady_clock::now();
    bool done = false;
    QString reason;
    QByteArray text;
    while (!done) {
        std::deque<Entry> batch;
        bool stopping = false;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait_for(lock, std::chrono::milliseconds(kFlushMs),
                            [this] { return m_stopping && !m_held; });
            stopping = m_stopping && !m_held;
            if (m_held && !m_stopping) continue;
            batch.swap(m_queue);
            m_queued = 0;
        }
        text.clear();
        for (const Entry &e : batch) {
            QByteArray line = "{\"t\": " + seconds(e.micros);
            switch (e.kind) {
            case Kind::Data:
                line += e.out ? ", \"dir\": \"out\", \"data\": " : ", \"dir\": \"in\", \"data\": ";
                line += JsonBytes(e.data);
                break;
            case Kind::Model:
                line += ", \"model\": " + QByteArray::number(e.count);
                break;
            case Kind::PictureBytes:
                line += ", \"dir\": \"out\", \"pictureBytes\": " + QByteArray::number(e.count);
                break;
            case Kind::NotRecorded:
                line += ", \"notRecorded\": " + QByteArray::number(e.count);
                break;
            case Kind::End:
                line += ", \"end\": \"stopped\"";
                done = true;
                break;
            }
            line += "}\n";
            if (e.kind != Kind::End && f.written + text.size() + line.size() + kEndReserve > f.limit) {
                text += "{\"t\": " + seconds(e.micros) + ", \"end\": \"size limit\"}\n";
                reason = QStringLiteral("size limit");
                done = true;
                break;
            }
            text += line;
            if (done) break;
        }
        if (!text.isEmpty()) {
            if (f.file.write(text) != text.size()) {
                reason = f.file.errorString();
                done = true;
            } else {
                f.written += text.size();
            }
        }
        const auto now = std::chrono::steady_clock::now();
        if (!text.isEmpty() || now - lastFlush >= std::chrono::seconds(1)) {
            f.file.flush();
            lastFlush = now;
        }
        if (stopping) done = true;
    }
    f.file.close();
    const bool onItsOwn = !reason.isEmpty();
    {
        std::lock_guard lock(m_mutex);
        if (onItsOwn) m_writerReason = reason;
        m_writerDone = onItsOwn;
    }
    // Closed on its own (cap or write error): the user-interface thread ends the recording.
    if (onItsOwn)
        QMetaObject::invokeMethod(
            this, [this] { finish(QString()); }, Qt::QueuedConnection);
}
