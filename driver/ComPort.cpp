#include "ComPort.h"

#include "Logging.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTimer>

#include <cerrno>
#include <limits>

namespace {

constexpr int kModemPollMs = 250;

const char *const kIllegalTerminator =
    "Illegal terminator string.\rformat : #<asciicode>#<asciicode>#<...>\rexample: #13#10";
const char *const kEmptyTerminator = "Terminator string cannot be empty!";

// Calls a handler through a copy, so that a handler which reassigns itself stays alive while it runs.
template <typename Fn, typename... Args> void raise(const Fn &handler, Args... args) {
    if (!handler) return;
    const Fn copy = handler;
    copy(args...);
}

// One terminator item: optional sign, then decimal digits or "$" and hexadecimal digits, within the
// 32-bit integer range. The character code is the value modulo 256.
bool parseTerminatorItem(const QString &item, char &code) {
    int i = 0;
    bool negative = false;
    if (i < item.size() && (item[i] == u'+' || item[i] == u'-')) negative = item[i++] == u'-';
    int base = 10;
    if (i < item.size() && item[i] == u'$') {
        base = 16;
        ++i;
    }
    if (i == item.size()) return false;
    const uint64_t limit = base == 16 ? std::numeric_limits<uint32_t>::max()
                                      : uint64_t(std::numeric_limits<int32_t>::max()) + (negative ? 1 : 0);
    uint64_t value = 0;
    for (; i < item.size(); ++i) {
        const char16_t c = item[i].unicode();
        int d = -1;
        if (c >= u'0' && c <= u'9')
            d = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            d = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            d = c - u'A' + 10;
        if (d < 0) return false;
        value = value * base + uint64_t(d);
        if (value > limit) return false;
    }
    const uint32_t low = negative ? 0u - uint32_t(value) : uint32_t(value);
    code = char(low & 0xFF);
    return true;
}

} // namespace

TComPort::TComPort(QObject *owner)
    : QObject(owner), m_port(new QSerialPort(this)), m_modemPoll(new QTimer(this)) {
    m_modemPoll->setInterval(kModemPollMs);
    m_modemPoll->setTimerType(Qt::CoarseTimer);
    connect(m_modemPoll, &QTimer::timeout, this, &TComPort::pollModemLines);
    connect(m_port, &QSerialPort::readyRead, this, &TComPort::onReadyRead);
    connect(m_port, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) { onPortError(int(error)); });
}

TComPort::~TComPort() {
    Close();
}

QString TComPort::ResolvePortName(const QString &name) {
#ifdef Q_OS_WIN
    return name;
#else
    static const QRegularExpression comName(QStringLiteral(R"(^(?:\\\\\.\\)?COM([0-9]{1,9})$)"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = comName.match(name);
    if (!match.hasMatch()) return name;
    const int number = match.captured(1).toInt();
    if (number < 1) return name;
    const QByteArray variable = "OXS_COM" + QByteArray::number(number);
    const QString override = qEnvironmentVariable(variable.constData());
    if (!override.isEmpty()) return override;
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}

void TComPort::SetBaud(uint32_t baud) {
    m_baud = baud;
    // Only the speed changes; the other settings keep what the open applied.
    if (m_opened && baud <= uint32_t(std::numeric_limits<qint32>::max())) m_port->setBaudRate(qint32(baud));
}

QString TComPort::Terminator() const {
    QString text;
    for (const char c : m_terminator)
        text += u'#' + QString::number(uchar(c));
    return text;
}

void TComPort::SetTerminator(const QString &text) {
    m_terminator.clear();
    // The first character is the leading "#"; it is dropped whatever it is.
    const QString items = text.mid(1);
    qsizetype pos = 0;
    while (pos < items.size()) {
        qsizetype hash = items.indexOf(u'#', pos);
        if (hash < 0) hash = items.size();
        char code = 0;
        if (!parseTerminatorItem(items.mid(pos, hash - pos), code)) {
            m_terminator = QByteArrayLiteral("\r\n");
            throw EComError(kIllegalTerminator);
        }
        m_terminator.append(code);
        pos = hash + 1;
    }
    if (m_terminator.isEmpty()) throw EComError(kEmptyTerminator);
}

void TComPort::applyLineSettings() {
    // A setting the device refuses (a rate it does not support; a pseudo-terminal only does 8 data bits
    // without parity) is left as it was and does not fail the open.
    if (m_baud <= uint32_t(std::numeric_limits<qint32>::max())) m_port->setBaudRate(qint32(m_baud));
    if (m_dataBits >= 5 && m_dataBits <= 8) m_port->setDataBits(QSerialPort::DataBits(m_dataBits));
    switch (m_stopBits) {
    case sbONE:
        m_port->setStopBits(QSerialPort::OneStop);
        break;
    case sbONE5:
        m_port->setStopBits(QSerialPort::OneAndHalfStop);
        break;
    case snTWO:
        m_port->setStopBits(QSerialPort::TwoStop);
        break;
    }
    switch (m_parity) {
    case ptNONE:
        m_port->setParity(QSerialPort::NoParity);
        break;
    case ptODD:
        m_port->setParity(QSerialPort::OddParity);
        break;
    case ptEVEN:
        m_port->setParity(QSerialPort::EvenParity);
        break;
    case ptMARK:
        m_port->setParity(QSerialPort::MarkParity);
        break;
    case ptSPACE:
        m_port->setParity(QSerialPort::SpaceParity);
        break;
    }
}

void TComPort::Open() {
    if (m_opened) return;
    const auto fail = [this](const QString &reason) {
        qCDebug(lcSerial) << "cannot open" << m_portName << "(" << ResolvePortName(m_portName)
                          << "):" << reason;
        throw EComError(
            QStringLiteral("TCOMPORT : cannot open %1\r%2").arg(m_portName, reason).toStdString());
    };

    QString path = ResolvePortName(m_portName);
    if (path.isEmpty()) fail(qt_error_string(ENOENT));
#ifndef Q_OS_WIN
    // QSerialPort would look a relative name up under /dev; we mean it relative to the working folder.
    if (!path.startsWith(u'/')) path = QFileInfo(path).absoluteFilePath();
#endif
    m_port->setPortName(path);
    // The line starts at 9600 8N1 without flow control; the component's own settings follow once open.
    m_port->setBaudRate(9600);
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::NoParity);
    m_port->setStopBits(QSerialPort::OneStop);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    // QSerialPort keeps its own input queue; the output queue has no counterpart and is not limited.
    m_port->setReadBufferSize(qint64(m_qSizeIn));
    // Exclusive: QSerialPort locks the device and sets TIOCEXCL.
    if (!m_port->open(QIODevice::ReadWrite)) {
        const QString reason = m_port->errorString();
        m_port->clearError();
        fail(reason);
    }
    m_port->setDataTerminalReady(false);
    m_port->setRequestToSend(false);
    m_port->clear(QSerialPort::AllDirections);
    applyLineSettings();
    m_port->clearError();

    // Bytes of a line begun in an earlier session must not prefix this session's first line.
    m_lineBuffer.clear();
    ++m_session;
    m_lossPending = false;
    m_modemKnown = false;
    m_opened = true;
    qCDebug(lcSerial) << "opened" << m_portName << "(" << path << ")";
    pollModemLines();
    if (m_modemKnown) m_modemPoll->start();
    raise(OnPortOpen, this);
}

void TComPort::Close() {
    if (!m_opened) return;
    m_opened = false;
    m_modemPoll->stop();
    m_port->flush(); // hands what is still queued to the device, without waiting
    m_port->close();
    m_port->clearError();
    qCDebug(lcSerial) << "closed" << m_portName;
    raise(OnPortClose, this);
}

void TComPort::Write(const QByteArray &data) {
    if (!m_opened || data.isEmpty()) return;
    m_port->write(data);
    m_port->flush();
}

void TComPort::onReadyRead() {
    const QByteArray data = m_port->readAll();
    if (data.isEmpty() || !m_opened || !ReceiveCallBack) return;
    if (m_receiveMode == rmRAW) {
        raise(ReceiveCallBack, data);
    } else {
        // One line per data event; further complete lines wait for the next one.
        m_lineBuffer += data;
        const qsizetype end = m_terminator.isEmpty() ? -1 : m_lineBuffer.indexOf(m_terminator);
        if (end >= 0) {
            const QByteArray line = m_lineBuffer.left(end + m_terminator.size());
            m_lineBuffer.remove(0, line.size());
            raise(ReceiveCallBack, line);
        }
    }
    // QSerialPort does not signal again for data that came in while a handler ran (say, in a modal
    // dialog's event loop), and stops reading once its input queue is full: that data is a new event.
    if (m_opened && m_port->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &TComPort::onReadyRead, Qt::QueuedConnection);
}

void TComPort::onPortError(int error) {
    // Read and write failures of a device that has gone away (unplugged adapter, hung-up terminal)
    // repeat on every notification. Report once and close; the close waits until QSerialPort has left
    // the notification handler it is reporting from.
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError) return;
    if (!m_opened || m_lossPending) return;
    m_lossPending = true;
    const quint64 session = m_session;
    QMetaObject::invokeMethod(
        this,
        [this, session] {
            if (session != m_session) return;
            m_lossPending = false;
            if (!m_opened) return;
            raise(OnError, this);
            if (session == m_session) Close();
        },
        Qt::QueuedConnection);
}

void TComPort::pollModemLines() {
    // QSerialPort has no modem-line notification; a slow poll stands in for it.
    m_port->clearError();
    const int lines = int(m_port->pinoutSignals());
    if (m_port->error() != QSerialPort::NoError) {
        // Not available on this device (a pseudo-terminal has no modem lines): stop asking.
        m_modemPoll->stop();
        m_modemKnown = false;
        m_port->clearError();
        return;
    }
    const int changed = m_modemKnown ? (lines ^ m_modemLines) : 0;
    m_modemLines = lines;
    m_modemKnown = true;
    const quint64 session = m_session;
    const auto report = [&](const TStatusChanged &handler, QSerialPort::PinoutSignal line) {
        if ((changed & line) && m_opened && session == m_session) raise(handler, !(lines & line));
    };
    report(OnCTSChanged, QSerialPort::ClearToSendSignal);
    report(OnDSRChanged, QSerialPort::DataSetReadySignal);
    report(OnRLSDChanged, QSerialPort::DataCarrierDetectSignal);
    report(OnRingChanged, QSerialPort::RingIndicatorSignal);
}
