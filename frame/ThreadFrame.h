#pragma once

#include "NamedEvent.h"
#include "Picture.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QPointer>
#include <QString>
#include <QThread>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class TOrlan_d;

// How an upload ended (TransferResult).
enum TTransferResult : uint8_t {
    TRANSFER_NONE = 0,         // not ended yet
    TRANSFER_DONE = 1,         // the picture is complete and its end was sent
    TRANSFER_SCALER_ABORT = 2, // the scaler aborted
    TRANSFER_USER_ABORT = 3,   // the operator aborted
    TRANSFER_TIMEOUT = 4,      // the scaler stopped answering
};

// The status line's text for an upload's result; empty for a result that has no text of its own.
QString TransferResultText(int result);

// The raw upload's wire format.
namespace FrameWire {
inline constexpr char kEsc = 0x1B;
inline constexpr char kEtb = 0x17; // end of a chunk
inline constexpr char kCr = 0x0D;  // end of a row
inline constexpr char kEot = 0x04; // end of the picture
inline constexpr char kCan = 0x18; // abort
inline constexpr char kDc1 = 0x11; // the scaler takes data
inline constexpr char kDc3 = 0x13; // the scaler holds the data
inline constexpr char kAck = 0x06;
inline constexpr char kNul = 0x00;
inline constexpr int kChunkPixels = 70;
inline constexpr uint32_t kRawBaud = 57600;
inline constexpr uint32_t kTextBaud = 9600;

// Appends a data byte, doubling the escape code.
inline void AppendEscaped(QByteArray &out, uint8_t byte) {
    if (byte == uint8_t(kEsc)) out.append(kEsc);
    out.append(char(byte));
}
} // namespace FrameWire

// The upload's waits. Tests shorten them; the clock is a 32-bit millisecond tick that may wrap.
struct TFrameTiming {
    uint32_t waitLimitMs = 5000;         // a reply or a variable must come within this
    uint32_t pauseMs = 1000;             // before the link returns to the text protocol
    int pollMs = 15;                     // how often the command phase reads the variables it waits for
    std::function<uint32_t()> tickCount; // empty: a steady clock
};

// One upload of a picture into the scaler's frame memory, on a thread of its own. The owner (on the
// user-interface thread, where the driver lives) calls Prepare, Reset, Resume and Start, watches IsRunning,
// TransferResult and PixelsSent, may call UserAbort, and once IsRunning is false with a result other than 0
// calls WaitFor and frees the worker.
//
// Every call the worker makes into the driver is carried to the user-interface thread and waits there for
// its turn, so the user-interface thread must keep running its event loop during an upload and must not
// block on the worker before it has reported its end; AbortAndWait ends an upload without that hazard.
class TThreadFrame : public QThread {
    Q_OBJECT
  public:
    enum TEventId {
        EventStart,
        EventRunning,
        EventUserAbort,
        EventAbort,
        EventReset,
        EventTerminateSend,
        EventACKReceived,
        EventOXSReady,
        EventEscaped,
        EventCount
    };
    static const char *EventName(TEventId id);

    // Created suspended: the thread runs from Resume.
    explicit TThreadFrame(QObject *parent = nullptr);
    // Ends a running upload first (AbortAndWait) and takes the reply handler off the driver.
    ~TThreadFrame() override;

    // The picture to send (its surface lock is taken for every chunk read) and the driver; neither is owned.
    // Installs the worker's reply decoder as the driver's OnRecData and sets the result to 0.
    void Prepare(TPicture *picture, TOrlan_d *driver);
    // Back to the idle state on the next pass.
    void Reset();
    // Starts the thread.
    void Resume();
    // Begins the upload.
    void Start();
    // Asks for an abort: ESC CAN, then the return to the text protocol.
    void UserAbort();

    // True from the moment the worker leaves its idle state (Start, or an abort before it) until it has
    // returned the link to the text protocol and makes no more calls on the user-interface thread.
    bool IsRunning() const;
    uint8_t TransferResult() const { return m_result.load(); }
    int32_t PixelsSent() const { return m_pixelCount.load(); }
    // Waits for the thread to end; only after IsRunning has turned false with a result.
    bool WaitFor(unsigned long timeoutMs = ULONG_MAX);

    // Ends the worker whatever it is doing and returns once its thread has ended: an upload in progress is
    // aborted as by UserAbort (ESC CAN, back to MODE_VAR and 9600 baud), one that is already ending is let
    // end, an idle worker just stops. Runs a local event loop meanwhile (user input excluded) so that the
    // worker's calls into the driver and the scaler's replies are served. Call it on the user-interface
    // thread, not from a handler the worker's own upload calls, and keep other owners' timers from freeing
    // the worker meanwhile.
    void AbortAndWait();

    // Before Resume.
    void SetTiming(const TFrameTiming &timing);
    // The upload state, 0 to 16 (diagnostics and tests).
    int UploadState() const { return m_state.load(); }
    const TNamedEvent &Event(TEventId id) const { return *m_events[std::size_t(id)]; }

    // Shows a picture read error on the user-interface thread; empty: a message box through the prompts seam.
    std::function<void(const QString &text)> OnPictureError;

  protected:
    void run() final;
    // The upload's state machine, on the worker thread. Runs until Terminate. A class that implements it
    // calls AbortAndWait in its own destructor, so that Execute has returned before its class is gone.
    virtual void Execute() = 0;

    // ---- For Execute, on the worker thread ----
    TNamedEvent &Ev(TEventId id) { return *m_events[std::size_t(id)]; }
    TEventGroup &Events() { return m_group; }
    void Terminate() { m_terminated.store(true); }
    bool Terminated() const { return m_terminated.load(); }
    // Handles a pending AbortAndWait; false when the worker should stop at once.
    bool TakeQuitRequest();
    uint32_t Now() const;
    bool TimedOut() const { return uint32_t(Now() - m_stepTime) > m_timing.waitLimitMs; }
    // Milliseconds until TimedOut turns true.
    int RemainingMs() const;
    void SetState(int state);
    int State() const { return m_state.load(); }
    // Runs `call` on the user-interface thread with the driver and waits for it; skipped without a driver.
    void OnDriver(const std::function<void(TOrlan_d &driver)> &call);
    // The picture's size, at most 65535 each way (column and row are 16-bit); 0 without a picture.
    int PictureWidth() const;
    int PictureHeight() const;
    // Reads the next chunk (at most 70 pixels of the current row) into the chunk buffer.
    int ReadChunk();
    // Encodes the chunk's pixels (three bytes each, escaped), counts them and flushes.
    void EncodeChunk(int pixels);
    void EncodeByte(uint8_t byte);
    void SendControl(char code);
    // Hands the send buffer to the driver as one SendText. Without `wake` the call is held back until the
    // next flush that wakes the user-interface thread, so a chunk's data and its ESC ETB cost one wake-up.
    void Flush(bool wake = true);
    void Pause(uint32_t ms);
    // On the user-interface thread, right after the driver has entered MODE_RAW: decodes what the scaler sent
    // behind its reply to the execute command before the switch (its first ESC DC1 may be waiting there).
    void DecodeWaitingReplies() { decodeReplies(); }

    uint16_t m_column = 0;
    uint16_t m_row = 0;
    TPicture *m_picture = nullptr;
    uint32_t m_stepTime = 0;
    TFrameTiming m_timing;
    std::atomic<uint8_t> m_result{TRANSFER_NONE};

  private:
    // Runs the calls the worker has handed to the user-interface thread, in order.
    Q_INVOKABLE void serveCalls();
    // Hands a call to the user-interface thread; with `wait`, returns once it has run there. Without
    // `wake` it runs with the next call that wakes the user-interface thread.
    void post(std::function<void()> call, bool wait, bool wake = true);
    // Makes everything the ended thread did visible to the caller (the thread is detached, so this takes
    // the place of a join).
    void joined();
    void decodeReplies(); // user-interface thread
    void reportPictureError(int column, int row);

    std::mutex m_callMutex;
    std::condition_variable m_callServed;
    std::deque<std::function<void()>> m_calls; // guarded by m_callMutex, as are the two counts
    uint64_t m_callsPosted = 0;
    bool m_wakePending = false; // a serveCalls is on its way
    uint64_t m_callsServed = 0;

    std::atomic<int32_t> m_pixelCount{0};
    QPointer<TOrlan_d> m_driver; // touched on the user-interface thread only
    QByteArray m_replyBuffer;    // user-interface thread
    QByteArray m_sendBuffer;     // worker thread
    QByteArrayList m_staged;     // worker thread: flushed, held back for the next wake-up
    std::array<uint32_t, FrameWire::kChunkPixels> m_chunk{};
    bool m_pictureErrorShown = false;
    TEventGroup m_group;
    std::array<std::unique_ptr<TNamedEvent>, EventCount> m_events;
    std::atomic<uint8_t> m_state{0};
    std::atomic<bool> m_terminated{false};
    std::atomic<bool> m_quit{false};
    bool m_quitTaken = false;

    friend struct TThreadFrameReplyHandler;
};
