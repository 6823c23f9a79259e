#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

class QDialogButtonBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;

// Loading a scaler settings file: first what it would change (each setting with the scaler's value and the
// file's), then, once the operator writes it, each setting's answer and the outcome. Not modal: the window
// stays usable while the scaler is written.
class TScalerSettingsDlg : public QDialog {
    Q_OBJECT
  public:
    struct Change {
        QString name;
        QString scalerValue;
        QString fileValue;
    };
    enum class Outcome { Pending, Taken, NotTaken, NotWritten };

    explicit TScalerSettingsDlg(QWidget *parent = nullptr);

    // The preview: the changes, the file's values that stay as the scaler has them, and whether writing is
    // possible (else why not).
    void ShowPreview(const QString &heading, const QList<Change> &changes, const QStringList &notes,
                     const QString &blocked = {});
    // Writing has started: the list keeps its rows and fills in their answers.
    void StartProgress(const QString &heading);
    // A setting answered; `reported` is what the scaler reports.
    void SetOutcome(const QString &name, Outcome outcome, const QString &reported = {});
    // The end, with the summary; ok when everything was written and taken.
    void Finish(const QString &summary, bool ok);

    bool Writing() const { return m_writing; }
    QPushButton *WriteButton() const { return m_write; }
    QPushButton *CloseButton() const { return m_close; }
    QTreeWidget *List() const { return m_list; }
    QProgressBar *Progress() const { return m_progress; }
    QString StatusText() const;
    // The rows as shown: setting, scaler, file, result.
    QList<QStringList> Rows() const;

  signals:
    void writeRequested();
    void cancelled(); // closed before writing

  private:
    void closeClicked();
    void fitColumns();
    void reject() override;

    QLabel *m_heading = nullptr;
    QTreeWidget *m_list = nullptr;
    QLabel *m_notes = nullptr;
    QProgressBar *m_progress = nullptr;
    QLabel *m_status = nullptr;
    QDialogButtonBox *m_buttons = nullptr;
    QPushButton *m_write = nullptr;
    QPushButton *m_close = nullptr;
    bool m_writing = false;
    bool m_finished = false;
};
