#pragma once

#include "CommandBuffer.h"
#include "CommandProgress.h"
#include "DebugFiles.h"
#include "LinkRecorder.h"
#include "ReceptionLog.h"
#include "TextSender.h"
#include "WatchList.h"
#include "ui_Debug.h"

#include <QMainWindow>
#include <QTimer>

#include <array>
#include <cstdint>
#include <optional>

class TOrlan_d;
class QLabel;
class QLineEdit;
class QPushButton;

// "DEBUG": the engineers' console. Raw commands typed or picked from the mnemonic list go to the scaler
// unchanged; every reply the driver recognises is logged with its value in hexadecimal and binary,
// filtered by a watch list of up to five reply mnemonics; 26 programmable buttons keep their commands in
// Debug.ini. Its value converter edits a received value in decimal, hexadecimal or bit by bit and sends
// it back, and its text-file sender plays a file to the scaler line by line or character by character.
//
// Made hidden at program start, before any reply can arrive, and kept until the program ends: it logs
// from the start whether or not it has been shown. The log is kept as compact bytes and rendered into
// Memo_recu only while the window is shown: once when it is shown, then in batches.
class TForm_debug : public QMainWindow, public Ui::TForm_debug {
    Q_OBJECT
  public:
    static constexpr int kWidth = 605;
    // The reception log keeps this many lines, the oldest going first.
    static constexpr int kMaxLogLines = 100000;
    // While shown, new log lines reach Memo_recu together at this pace.
    static constexpr int kLogFlushMs = 100;

    // Debug.ini is read from and written to `settingsDir`.
    TForm_debug(TOrlan_d &driver, const QString &settingsDir, QWidget *parent = nullptr);
    ~TForm_debug() override;

    QString ButtonFilePath() const { return m_buttonFilePath; }

    // ---- Sending and receiving ----
    void Driver_envoie(const QString &text);
    void Driver_envoie(const QByteArray &bytes);
    QByteArray driver_receive_string() const;
    void RecString(TOrlan_d *Sender, int32_t nroOcto);
    // The reception log as Memo_recu shows it while the window is shown, one text per line.
    QStringList LogLines() const;
    const ReceptionLog &Log() const { return m_log; }
    // Shows the lines logged since the last batch now (the batch timer does it while shown).
    void FlushLog();

    // ---- Composing ----
    // A character typed in Memo_env or in the mnemonic list.
    void KeyPress(QChar key);
    void _Click(int line);
    void CheckListBox_bloque_reception_rsClick(int line);
    void CheckListBox_bloque_reception_rsDblClick(int line);
    void CheckListBox_bloque_reception_rsClickCheck(int line, bool checked);
    void SpeedButton_Disable_allClick(bool down);
    void BitBtn_clearClick();

    // ---- Programmable buttons (index 0 to 25) ----
    void BitBtn_ADBG_Click(int index);
    void BitBtn_ADBG_MouseUp(int index);
    QList<QPushButton *> ButtonList() const { return m_buttonList; }
    QString ButtonCommand(int index) const { return m_buttons.at(static_cast<std::size_t>(index)).command; }

    // ---- Force Connect ----
    void Force_ConnectPopup();
    void OnClick();
    void OffClick();

    // ---- Value converter ----
    void BitBtn_Operation_logiqueClick();
    // Return whether the key goes on to the edit.
    bool Edit_valeur_decKeyPress(QChar key);
    bool Edit_valeur_hexKeyPress(QChar key);
    void EditClick(QLineEdit *edit);
    void Edittext(const QString &decimal);
    void BitBtn_OKClick();
    void BitBtn_AnnulerClick();
    void Button_envoieClick();
    void BitBtn_desactive_varClick();
    QList<QLineEdit *> BitEdits() const { return m_bitEdits; }

    // ---- Text-file sender ----
    void Envoyer_un_fichier_texteClick();
    void StopClick();
    void evenement_tempo();
    void ScrollBar_durationScroll(int position);
    QTimer &SenderTimer() { return m_tempo; }
    const TextSender &Sender() const { return m_sender; }

    // ---- Recording the link ----
    // "Record link..." asks for a file and starts; while recording the entry reads "Stop recording".
    void MenuRecordLinkClick();
    bool StartRecording(const QString &path, QString *error = nullptr);
    void StopRecording();
    LinkRecorder &Recorder() { return m_recorder; }
    // Beside the menu: the file being recorded, or why the last recording ended on its own.
    QLabel *RecordingLabel() const { return m_recordingLabel; }

    // ---- State, for tests ----
    QString CommandText() const { return m_command.text(); }
    const WatchList &Watch() const { return m_watch; }

  protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void FormCreate();
    void FormClose();
    void loadButtons();
    bool saveButtons();
    void showCommand();
    void syncWatch();
    void fillConverter(const QString &selection);
    void layoutHeights();
    void firstActivation();
    bool panelMouse(QEvent *event);
    std::optional<QChar> typedChar(const QKeyEvent &key) const;
    bool mnemonicListKey(const QKeyEvent &key);
    void senderSent(const QByteArray &bytes);
    void senderStopped();
    void recordingStopped(const QString &reason);
    void showRecording();

    TOrlan_d &m_driver;
    QString m_buttonFilePath;
    CommandBuffer m_command;
    QStringList m_commands; // the mnemonic table: command mnemonics, by line
    WatchList m_watch{QStringList()};
    QList<QPushButton *> m_buttonList;
    DebugFiles::Buttons m_buttons;
    bool m_buttonsChanged = false; // edited since last written
    bool m_fileUnreadable = false; // an existing Debug.ini that could not be read is not overwritten
    QList<QLineEdit *> m_bitEdits;
    TextSender m_sender;
    QTimer m_tempo;
    CommandProgress m_progress{QStringList()}; // what the sender has sent of the current command
    ReceptionLog m_log{kMaxLogLines};
    QTimer m_logFlush;
    qint64 m_logShown = 0; // messages of m_log in Memo_recu (counted as ReceptionLog::appended)
    bool m_firstActivation = true;
    bool m_syncing = false;
    LinkRecorder m_recorder;
    QLabel *m_recordingLabel = nullptr;
    std::optional<QPoint> m_dragFrom; // pointer position in the panel when the drag began
    QPoint m_dragTo;
};
