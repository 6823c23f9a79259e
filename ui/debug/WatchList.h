#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <array>

// Which received messages the console shows: every one ("all", more than five lines watched), or only
// those of up to five watched reply mnemonics ("list"). Each line of the check list has a check state
// and a watch entry (its reply mnemonic, or empty); DEV replies can be hidden on their own through the
// DEV block. The state of the "Disable all" toggle and of "Desactiver reception" follows from it.
class WatchList {
  public:
    static constexpr int kSlots = 5;

    // Every line checked and watched; the watch count starts above five, so everything is shown.
    explicit WatchList(QStringList replies);

    int size() const { return static_cast<int>(m_replies.size()); }
    QString reply(int line) const { return m_replies.value(line); }
    // The first line with this reply mnemonic, or -1.
    int find(const QString &reply) const { return static_cast<int>(m_replies.indexOf(reply)); }

    bool isChecked(int line) const { return m_checked.value(line); }
    QString watchEntry(int line) const { return m_watch.value(line); }
    int count() const { return m_count; }
    QString slot(int i) const { return m_slots.at(static_cast<std::size_t>(i)); }
    QString devBlock() const { return m_devBlock; }

    bool disableAllDown() const { return m_disableAllDown; }
    QString disableAllCaption() const { return m_disableAllCaption; }
    bool desactiverEnabled() const { return m_desactiverEnabled; }

    // Whether a received message with this name (its characters other than digits) is shown.
    bool shows(const QString &name) const;

    // The operator checked or unchecked a line.
    void setChecked(int line, bool checked);
    // The operator pressed (down) or released the "Disable all" toggle.
    void setDisableAll(bool down);
    // "Desactiver reception" for the variable whose reply mnemonic is `reply`: flips its line. False
    // when no line has that reply mnemonic (nothing changes then).
    bool toggle(const QString &reply);

    // Checks every line but DEV's and watches every line.
    void checkedlisttouttrue();
    // Recounts the watched lines into the slots; a sixth goes back to "all".
    void var_retirer_reception();

  private:
    void check(int line, bool checked);

    QStringList m_replies;
    QList<bool> m_checked;
    QStringList m_watch;
    int m_count = kSlots + 1;
    std::array<QString, kSlots> m_slots;
    QString m_devBlock;
    bool m_disableAllDown = false;
    QString m_disableAllCaption = QStringLiteral("Disable all");
    bool m_desactiverEnabled = false;
};
