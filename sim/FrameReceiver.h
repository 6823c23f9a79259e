#pragma once

#include "Session.h"

#include <QElapsedTimer>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

namespace OxsSim {

// How the simulated frame memory takes an upload, and how it misbehaves on request.
struct UploadSettings {
    int lineRateBaud = 0;       // emulate a line of this rate (10 bits a byte); 0: as fast as bytes come
    int holdAfterChunks = -1;   // after this many chunks hold the host with ESC DC3 ...
    int holdMs = 1000;          // ... and release it with ESC DC1 this much later
    int abortAfterChunks = -1;  // answer chunk N with ESC CAN instead of an acknowledgement
    int silentAfterChunks = -1; // stop acknowledging after this many chunks
    bool rawUntilCan = false;   // never give up: everything is picture data until ESC CAN or ESC EOT
};

// The raw phase of a frame upload over a serial session: receives escaped RGB bytes in acknowledged chunks,
// rows ended by ESC CR and the field by ESC EOT, and hands the finished 720 x 288 field over. It offers
// itself with ESC DC1, repeated until the first data arrives, since the host switches to raw mode only after
// it has read the command phase's last reply. An upload from which nothing arrives for kIdleMs is given up
// and the session speaks the text protocol again, unless the settings say to wait for ESC CAN.
class FrameReceiver : public QObject, public ProtocolHandler {
    Q_OBJECT
  public:
    static constexpr int kWidth = 720;
    static constexpr int kHeight = 288;
    static constexpr int kIdleMs = 10000;

    // Called once with the field when the host ends the picture, or with a null image when it aborts or the
    // scaler does; the receiver then hands the session back to the text protocol by itself.
    using Finished = std::function<void(const QImage &field)>;

    FrameReceiver(Session &session, const UploadSettings &settings, std::function<void()> backToText,
                  Finished finished);
    ~FrameReceiver() override;

    void received(Session &session, const QByteArray &data) override;

    int chunksReceived() const { return m_chunks; }

  private:
    void dataByte(unsigned char byte);
    void control(unsigned char code);
    void chunkEnd();
    void finish(bool stored);
    // Sends a control code once the emulated line would have carried everything before it.
    void sendControl(unsigned char code, int extraDelayMs = 0);
    void sendDue();
    qint64 nowUs() const;
    qint64 lineTimeAfter(qint64 freeUs, qint64 bytes) const;
    qint64 replyDueUs(qint64 bytes);

    QPointer<Session> m_session;
    UploadSettings m_settings;
    std::function<void()> m_backToText;
    Finished m_finished;
    QImage m_field;
    bool m_escaped = false;
    bool m_offered = false; // ESC DC1 has gone out: bytes from now on are the upload's
    bool m_started = false; // data has arrived: no more offers
    bool m_done = false;
    unsigned char m_rgb[3]{};
    int m_rgbCount = 0;
    int m_column = 0;
    int m_row = 0;
    int m_chunks = 0;

    QTimer m_offer;
    QTimer m_idle;
    QElapsedTimer m_clock;
    qint64 m_inFreeUs = 0;  // when the emulated line has carried everything the host sent so far
    qint64 m_outFreeUs = 0; // ... and everything sent to the host
    struct Pending {
        qint64 dueUs;
        QByteArray bytes;
        bool last; // hand the session back once sent
    };
    QList<Pending> m_out;
    QTimer m_sendTimer;
};

} // namespace OxsSim
