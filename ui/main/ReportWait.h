#pragma once

#include <QHash>
#include <QObject>
#include <QSet>

#include <functional>
#include <initializer_list>

class QAbstractButton;
class QTimer;

// A page's controls show what the scaler reported, never what the operator merely asked for. After a gesture
// on a control the page waits for the scaler's report; when none arrives within a second (the scaler ignored
// the command, or the link is down) the control shows the stored value again. Controls set from a report or
// by that return send nothing back.
class TReportWait : public QObject {
    Q_OBJECT
  public:
    static constexpr int kWaitMs = 1000;

    explicit TReportWait(QObject *parent = nullptr);

    // Runs `write` with the new state whenever the operator changes the button's checked state, by mouse,
    // keyboard or an accessibility action; a state set inside Show() sends nothing. A radio button writes
    // only when it becomes checked.
    void WriteOnToggle(QAbstractButton *button, std::function<void(bool checked)> write);

    // An operator's pick on `control` has gone out: unless a report is shown on the control within kWaitMs,
    // `reshow` shows the stored value again. A drop-down list that no report has set yet selects nothing
    // instead.
    void Expect(QObject *control, std::function<void()> reshow);

    // Shows a report on the controls: their waits end, and whatever `show` sets sends nothing back.
    void Show(std::initializer_list<QObject *> controls, const std::function<void()> &show);
    void Show(QObject *control, const std::function<void()> &show) { Show({control}, show); }

    // The control's state at start counts as reported (a list that starts with a selection of its own).
    void Known(QObject *control) { m_reported.insert(control); }

    bool Waiting(QObject *control) const;
    bool Waiting() const;
    // True while a report or a return is being shown: state changes now are the program's, not the
    // operator's.
    bool Showing() const { return m_showing > 0; }

  private:
    struct Wait {
        QTimer *timer = nullptr;
        std::function<void()> reshow;
    };
    void expired(QObject *control);

    QHash<QObject *, Wait> m_waits;
    QSet<QObject *> m_reported;
    int m_showing = 0;
};
