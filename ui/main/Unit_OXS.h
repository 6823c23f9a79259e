#pragma once

#include "Conversion.h"
#include "Orlan_d.h"
#include "StatusTexts.h"
#include "ui_Unit_OXS.h"

#include <QMainWindow>
#include <QPixmap>

#include <array>
#include <functional>

class QAction;
class QActionGroup;
class QDialog;
class QMenu;
class QPainter;
class QRadioButton;
class QShortcut;
class QTimer;
class QToolButton;
class TAbout_OXS;
class TForm_Standby;
class TForm_Sync_Time;
class TFormTransferFrame;
class TFrameInput;
class TIPConfigDlg;
class TLinkSilence;
class TRs232LanDlg;

// The operator's window: status grid and status bar, input buttons, five pages and the menus. It drives
// the scaler through its driver `Orlan_d`, writing driver properties from controls and updating controls
// from the driver's change events, and reshapes itself for the model that answers.
class TForm_OXS : public QMainWindow, public Ui::TForm_OXS {
    Q_OBJECT
  public:
    // Settings files live in `settingsDir`.
    explicit TForm_OXS(const QString &settingsDir, QWidget *parent = nullptr);
    ~TForm_OXS() override;

    // The font the window's sizes are made for: a compact 8-point sans-serif with Arial metrics.
    static QFont ApplicationFont();

    // ---- Non-visual members ----
    TOrlan_d *Orlan_d;
    TConversion Conversion;
    QTimer *Timer1;
    QTimer *TimerStatus;
    QMenu *PopMenuRename;
    QAction *MenuItemRename;
    QShortcut *DebugHotKey;

    // ---- Companion windows, made once with the window ----
    TIPConfigDlg *IPConfigDlg;             // the program's own network link
    TRs232LanDlg *Rs232LanDlg;             // the scaler's LAN module
    TAbout_OXS *About_OXS;                 // versions and the model's picture
    TForm_Standby *Form_Standby;           // standby timer
    TForm_Sync_Time *Form_Sync_Time;       // black delay, drawn inside this window
    TFormTransferFrame *FormTransferFrame; // picture upload, opened from the Frame Alert page
    // Shows a dialog modally. Tests replace it to answer the dialog without a modal loop.
    std::function<void(QDialog &)> RunModal;

    // ---- Start, settings and connection ----
    void InitMainWindow();
    void LoadConnectionSettings();
    void SaveConnectionSettings();
    void MenuCOMClick(int tag);
    // Controls > Serial port also lists the serial devices found, refreshed as the menu opens; choosing one
    // opens it by its stable name, and a device that cannot be opened says why.
    void RefreshSerialDevices();
    void MenuSerialDeviceClick(const QString &path);
    QList<QAction *> SerialDeviceEntries() const { return m_deviceEntries; }
    QString SerialDevice() const { return m_serialDevice; }
    void MenuMIPConfigClick();
    void LoadInputNames(uint32_t model);
    void ApplyInputNames();
    void SaveInputNames(uint32_t model);
    void MenuInputClick(int n);
    void MenuAudioClick(int n);
    void MenuCustomizeDefaultClick();
    void MenuItemRenameClick();
    void MenuFileExitClick();
    void DebugHotKeyPressed();
    // The window shown by the debug hot key over the first status bar panel (none until one is given).
    void SetDebugConsole(QWidget *console) { m_debugConsole = console; }
    // Whether a point in status bar coordinates lies over the first panel (where the hot key acts).
    bool IsOverFirstStatusPanel(const QPoint &statusBarPos) const;

    // ---- Status grid, status bar and timers ----
    void SetupStatusGrid();
    void ClearStatusGrid();
    void RefreshStatusGrid();
    void RefreshStatusBar();
    void StatusBarDrawPanel(QPainter &painter, int panel, const QRect &rect);
    void GrdStatusDrawCell(QPainter &painter, int row, int column, const QRect &rect);
    void ShowFrameNotAvailable(const QString &text);
    void Timer1Timer();
    void TimerStatusTimer();
    void BtnOkUpdaterClick();
    // Shows the update notice with its caption for its full time.
    void ShowUpdateNotice(const QString &caption);

    // ---- Driver state to view ----
    QString BuildWindowTitle(uint32_t value);
    void ConfigureForModel(uint32_t value);
    void RefreshPageAvailability();
    void RefreshReferenceLabel();
    void RefreshOutputRate();
    void RefreshFrameRecording();
    void PageControlChanging(int leaving);
    void PageControlChange(int current);

    // ---- Driver event handlers ----
    void Orlan_dDEVchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dICHMchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dSTOREchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dFARECchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dFASTATchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dFrameRecordingchange(TOrlan_d *Sender, int32_t nroOcto);   // FAMODEM_ and FAEXEC
    void Orlan_dStatusGridchange(TOrlan_d *Sender, int32_t nroOcto);       // measurements shown in the grid
    void Orlan_dPageAvailabilitychange(TOrlan_d *Sender, int32_t nroOcto); // IFAMM and per-input values
    void Orlan_dREFSTAchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dOutputRatechange(TOrlan_d *Sender, int32_t nroOcto); // REFREQ and ORATEM

    // ---- State, for the window's companions and for tests ----
    QString SettingsDir() const { return m_settingsDir; }
    int LastConfiguredModel() const { return static_cast<int>(m_lastModel); }
    bool BlinkPhase() const { return m_blinkPhase; }
    // From the loss of a scaler until it is found again the grid and the pages show its last values, greyed.
    TLinkSilence &LinkSilence() const { return *m_silence; }
    void ShowStaleness();
    int UpdaterCountdown() const { return m_updaterCountdown; }
    QString SourceName(int index) const;
    QString StatusCell(int row) const;
    // The whole text of a value cell when it does not fit the cell (the cell shows it elided); else empty.
    QString StatusCellHint(int row) const;
    int RowFlag(int row) const;
    // What a status bar panel shows: its text, colour and font.
    QString StatusPanelText(int panel) const;
    QColor StatusPanelColor(int panel) const;
    QFont StatusPanelFont(int panel) const;
    bool TabHighlighted(int page) const;
    // The serial port submenu entry ticked now (1..16), 17 for "LAN/Setup", 0 for none.
    int TickedSerialEntry() const;
    // Position n - 1 of a control list stands for input n.
    std::array<TFrameInput *, 5> FrameInputs() const { return m_frameInputs; }
    std::array<QToolButton *, 5> InputButtons() const { return m_inputButtons; }
    std::array<QRadioButton *, 5> AudioButtons() const { return m_audioButtons; }
    std::array<QAction *, 5> InputNameItems() const { return m_menuInputs; }
    std::array<QAction *, 5> AudioNameItems() const { return m_menuAudios; }
    // An input's whole name (its button and row label show it elided when it does not fit).
    QString InputName(int input) const { return m_inputNames.at(static_cast<std::size_t>(input - 1)); }
    // LED pictures: 0 off, 1 selected input, 2 and 3 the two phases of a blinking glyph.
    QPixmap LedPicture(int index) const { return m_bitmapList.at(static_cast<std::size_t>(index)); }

  signals:
    // The window has closed and saved its settings; the program ends.
    void closed();

  protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    // The window's per-input controls, position n - 1 standing for input n. Unlike the control lists
    // these always exist; the lists live from start-up to shutdown.
    std::array<TFrameInput *, 5> rowControls() const;
    std::array<QToolButton *, 5> inputButtonControls() const;
    std::array<QRadioButton *, 5> audioButtonControls() const;
    std::array<QAction *, 5> inputItemControls() const;
    std::array<QAction *, 5> audioItemControls() const;

    void FormCreate();
    void FormClose();
    void bindDriverEvents();
    // The pages and menus that plug into the window (WindowPages.cpp).
    void CreatePages();
    void unbindDriverEvents();
    void tickSerialEntry(QAction *entry);
    void renameItem(QAction *item, int n);
    void fitInputNames();
    void setConType(tConnectionType type);
    bool computerInput() const;
    // A settings file that could not be written: said once per file on standard error and in the status bar.
    void reportUnsaved(const QString &path);
    void centreOnPage(QWidget *label);
    void layoutStatusHeadings();
    QFont statusCellFont(int row, int column) const;
    StatusTexts::Snapshot statusSnapshot() const;

    QString m_settingsDir;
    QStringList m_unsavedFiles;
    uint32_t m_lastModel = 0;
    bool m_blinkPhase = false;
    int m_updaterCountdown = 0;
    std::array<int, StatusTexts::kRows> m_rowFlags{};
    std::array<QString, 6> m_sourceNames;
    std::array<QString, 5> m_inputNames; // whole, as the buttons and row labels may show them elided
    std::array<QString, 5> m_audioNames;
    std::array<QString, 5> m_inputHints;
    std::array<TFrameInput *, 5> m_frameInputs{};
    std::array<QToolButton *, 5> m_inputButtons{};
    std::array<QRadioButton *, 5> m_audioButtons{};
    std::array<QAction *, 5> m_menuInputs{};
    std::array<QAction *, 5> m_menuAudios{};
    std::array<QAction *, 17> m_serialEntries{}; // COM1..COM16, LAN/Setup
    QAction *m_tickedEntry = nullptr;
    QActionGroup *m_serialGroup = nullptr;
    QList<QAction *> m_deviceEntries; // the serial devices found, after COM16
    QAction *m_deviceSeparator = nullptr;
    QString m_serialDevice; // the device chosen by name, empty while a COM entry is used
    int m_renameInput = 0;  // input button that last saw a mouse button released over it
    int m_currentPage = 0;
    std::array<bool, 5> m_tabHighlighted{};
    std::array<QPixmap, 4> m_bitmapList;
    std::array<QPixmap, 2> m_imgListConnect;
    QWidget *m_debugConsole = nullptr;
    TLinkSilence *m_silence = nullptr;
    QPalette m_livePagePalette; // the pages' own colours, back once the values are live again
    bool m_closed = false;
};
