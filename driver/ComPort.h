#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <stdexcept>

class QSerialPort;
class QTimer;

// Raised when the port cannot be opened or the terminator text is malformed.
class EComError : public std::runtime_error {
  public:
    using runtime_error::runtime_error;
};

enum TParity { ptNONE = 0, ptODD, ptEVEN, ptMARK, ptSPACE };
enum TStopBit { sbONE = 0, sbONE5, snTWO };
enum TReceiveMode { rmRAW, rmTERM };

class TComPort;

using TReceiveProc = std::function<void(const QByteArray &Data)>;
using TComNotifyEvent = std::function<void(TComPort *Sender)>;
using TStatusChanged = std::function<void(bool Status)>;

// Serial port on the calling (user-interface) thread. Everything it reports (received data, modem line
// changes, errors, open and close) is delivered on that thread. Handlers must not throw, and must not
// destroy the component from inside one of its own events.
class TComPort : public QObject {
    Q_OBJECT

  public:
    explicit TComPort(QObject *owner = nullptr);
    ~TComPort() override; // closes the port first

    // Device name as given; resolved to a device path only when opening (see ResolvePortName).
    QString Port() const { return m_portName; }
    void SetPort(const QString &name) { m_portName = name; }

    bool Opened() const { return m_opened; }

    // Applied at once while open.
    uint32_t Baud() const { return m_baud; }
    void SetBaud(uint32_t baud);

    // These take effect at the next open.
    uint8_t DataBits() const { return m_dataBits; }
    void SetDataBits(uint8_t bits) { m_dataBits = bits; }
    TParity Parity() const { return m_parity; }
    void SetParity(TParity parity) { m_parity = parity; }
    TStopBit StopBits() const { return m_stopBits; }
    void SetStopBits(TStopBit stopBits) { m_stopBits = stopBits; }
    uint32_t WinQSizeIn() const { return m_qSizeIn; }
    void SetWinQSizeIn(uint32_t size) { m_qSizeIn = size; }
    uint32_t WinQSizeOut() const { return m_qSizeOut; }
    void SetWinQSizeOut(uint32_t size) { m_qSizeOut = size; }

    TReceiveMode ReceiveMode() const { return m_receiveMode; }
    void SetReceiveMode(TReceiveMode mode) { m_receiveMode = mode; }

    // Textual form: "#" + decimal character code per character, e.g. "#13#10".
    QString Terminator() const;
    // Accepts "#code#code..." with decimal or "$"-prefixed hexadecimal codes. Throws EComError on a
    // malformed item (the terminator becomes CR LF) or when nothing is left (the terminator stays empty).
    void SetTerminator(const QString &text);

    // Throws EComError("TCOMPORT : cannot open <Port>\r<system error text>") when the device cannot be
    // opened. Does nothing when already open.
    void Open();
    // Returns once reading has stopped. Does nothing when closed.
    void Close();
    // Queues the bytes for sending and returns; dropped while closed. No terminator is added.
    void Write(const QByteArray &data);

    TComNotifyEvent OnPortOpen;
    TComNotifyEvent OnPortClose;
    // The device failed or went away while open; the port is closed right after.
    TComNotifyEvent OnError;
    TReceiveProc ReceiveCallBack;
    // Status is true when the line is inactive.
    TStatusChanged OnCTSChanged;
    TStatusChanged OnDSRChanged;
    TStatusChanged OnRingChanged;
    TStatusChanged OnRLSDChanged;

    // Device path for a port name. On Windows the name is unchanged. Elsewhere "COMn" (also written
    // "\\.\COMn") becomes $OXS_COMn when that is set, else /dev/ttyS(n-1); any other text is a path.
    static QString ResolvePortName(const QString &name);

  private:
    void applyLineSettings();
    void onReadyRead();
    void onPortError(int error);
    void pollModemLines();

    QSerialPort *m_port;
    QTimer *m_modemPoll;

    QString m_portName;
    bool m_opened = false;
    uint32_t m_baud = 9600;
    uint8_t m_dataBits = 8;
    TParity m_parity = ptNONE;
    TStopBit m_stopBits = sbONE;
    uint32_t m_qSizeIn = 8192;
    uint32_t m_qSizeOut = 8192;
    TReceiveMode m_receiveMode = rmTERM;
    QByteArray m_terminator{"\r\n"};
    QByteArray m_lineBuffer;

    // Counts opens, so that deferred work queued for one session never touches a later one.
    quint64 m_session = 0;
    bool m_lossPending = false;
    bool m_modemKnown = false;
    int m_modemLines = 0;
};
