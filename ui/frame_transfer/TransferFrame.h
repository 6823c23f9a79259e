#pragma once

#include "PictureFitting.h"
#include "ThreadFrame.h"
#include "ui_TransferFrame.h"

#include <QDialog>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QTimer;
class TFormFrameDebug;
class TFormFrameFormat;
class TFormGradient;
class TOrlan_d;

// The frame transfer window: loads a picture (or generates a gradient), fits it to the scaler's frame,
// shows the field that will be stored and uploads it into the frame memory over the serial link, following
// the upload worker with a 500 ms timer. It is made once and shown modally again and again.
class TFormTransferFrame : public QDialog, public Ui::TFormTransferFrame {
    Q_OBJECT
  public:
    explicit TFormTransferFrame(QWidget *parent = nullptr);
    // Ends an upload in progress first (ESC CAN, back to the text protocol at 9600 baud).
    ~TFormTransferFrame() override;

    void SetDriver(TOrlan_d *driver) { m_driver = driver; }
    TOrlan_d *Driver() const { return m_driver; }

    // Status line: mode 0 idle (no transfer, no processing, "Close", progress 0), 1 busy ("Abort").
    void SetStatus(int mode, const QString &text);
    void SetProgress(int minimum, int maximum, int position);
    // Progress, elapsed time and speed, while a transfer is active.
    void UpdateStatistics();
    // Fits the source picture (mode 1 to 5), makes the field and refreshes the preview.
    void ProcessPicture(int mode);

    void BtnLoadClick();
    void BtnDownloadClick();
    void BtnAbortCloseClick();
    void BtnSaveClick();
    void BtnGradientClick();
    void OnTimerUpdate();

    // The program is ending: an upload in progress is aborted and waited for, the worker freed, the window
    // hidden.
    void Shutdown();

    // Bytes per second for so many pixels (three bytes each) in so many milliseconds, as the 16-bit value
    // the debug view shows; 0 for no time.
    static int TransferSpeed(qint64 pixels, qint64 milliseconds);

    // ---- Companion windows, made with this one ----
    TFormFrameFormat *FormFrameFormat;
    TFormGradient *FormGradient;
    TFormFrameDebug *FormFrameDebug;
    QTimer *TimerUpdate;

    // The preview's context menu (right click, the menu key or Shift+F10): the gradient generator and the
    // preview save, whose buttons the dialog keeps hidden. Enabled as those buttons would be usable: neither
    // while busy, the save only with a picture loaded.
    QMenu *PreviewMenu;
    QAction *ActGradient;
    QAction *ActSavePreview;
    // Opens the menu at a point of the screen (a keyboard request passes the preview's middle).
    void ShowPreviewMenu(const QPoint &globalPos);

    // The waits of the uploads this window starts (tests shorten them).
    TFrameTiming FrameTiming;
    // Milliseconds of the wall clock; tests may replace it.
    std::function<qint64()> NowMs;

    // ---- State, for tests ----
    QString StatusText() const;
    bool TransferActive() const { return m_transferActive; }
    bool Processing() const { return m_processing; }
    TThreadFrame *Worker() const { return m_worker.get(); }
    TFramePictures &Pictures() { return m_pictures; }
    QString FileName() const { return m_fileName; }

  public slots:
    // Escape closes through the same question as the window's close.
    void reject() override;

  protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    bool idle() const;
    bool pictureLoaded() const;
    void refreshEnabled();
    void refreshDisplay();
    void abortTransfer();
    // Takes over a worker that has reported its end: waits for its thread, shows the result, frees it.
    void finishWorker();
    void layoutControls();

    TOrlan_d *m_driver = nullptr;
    std::unique_ptr<TThreadFrame> m_worker;
    bool m_processing = false;
    bool m_transferActive = false;
    bool m_waitingForWorker = false; // AbortAndWait runs: the timer must not free the worker
    TFramePictures m_pictures;
    qint64 m_startMs = 0;
    QString m_fileName;
    QLabel *m_statusText;
};
