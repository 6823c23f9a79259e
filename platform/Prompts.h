#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

// The one seam for every modal interaction (message boxes, input boxes, file and colour choosers), so the
// driver stays free of widget code and tests can answer prompts without a modal loop.
class Prompts {
  public:
    enum class Icon { Information, Warning, Error, Question };
    enum class Answer { Ok, Cancel, Yes, No };

    virtual ~Prompts() = default;

    // A message with one OK button.
    virtual void message(const QString &text, Icon icon = Icon::Information, const QString &title = {}) = 0;
    // A Yes/No question.
    virtual Answer question(const QString &text, const QString &title = {}) = 0;
    // A confirmation with OK and Cancel; closing the box counts as Cancel.
    virtual Answer confirm(const QString &text, const QString &title = {}) = 0;
    // A one-line input box; returns false when cancelled, otherwise sets value.
    virtual bool inputText(const QString &title, const QString &label, QString &value) = 0;
    // File choosers, starting in `dir` (a folder, or a file name to suggest; empty: the chooser's own
    // choice); an empty result means cancelled.
    virtual QString openFileName(const QString &title, const QString &filter, const QString &dir = {}) = 0;
    virtual QString saveFileName(const QString &title, const QString &filter, const QString &dir = {}) = 0;
    // A colour chooser starting at `rgb` (0xRRGGBB); returns false when cancelled, otherwise sets rgb.
    virtual bool chooseColor(uint32_t &rgb, const QString &title = {}) = 0;

    // The process-wide instance. Defaults to a console implementation (standard error, cancels every
    // question) until a program or test installs its own.
    static Prompts &instance();
    static void install(std::unique_ptr<Prompts> prompts);
};

// Writes messages to standard error and declines every question: for tools and services without windows.
class ConsolePrompts : public Prompts {
  public:
    void message(const QString &text, Icon icon, const QString &title) override;
    Answer question(const QString &text, const QString &title) override;
    Answer confirm(const QString &text, const QString &title) override;
    bool inputText(const QString &title, const QString &label, QString &value) override;
    QString openFileName(const QString &title, const QString &filter, const QString &dir = {}) override;
    QString saveFileName(const QString &title, const QString &filter, const QString &dir = {}) override;
    bool chooseColor(uint32_t &rgb, const QString &title) override;
};

// Records what was asked and answers from a script: for tests.
class RecordingPrompts : public Prompts {
  public:
    struct Entry {
        QString kind; // "message", "question", "confirm", "input", "open", "save", "color"
        QString text;
        Icon icon = Icon::Information;
        QString dir; // the file choosers' start folder
    };
    QList<Entry> asked;
    QList<Answer> answers;  // consumed by question() and confirm(); Cancel when exhausted
    QStringList inputs;     // consumed by inputText(); cancels when exhausted
    QStringList fileNames;  // consumed by the file choosers; empty when exhausted
    QList<uint32_t> colors; // consumed by chooseColor() (0xRRGGBB); cancels when exhausted

    void message(const QString &text, Icon icon, const QString &title) override;
    Answer question(const QString &text, const QString &title) override;
    Answer confirm(const QString &text, const QString &title) override;
    bool inputText(const QString &title, const QString &label, QString &value) override;
    QString openFileName(const QString &title, const QString &filter, const QString &dir = {}) override;
    QString saveFileName(const QString &title, const QString &filter, const QString &dir = {}) override;
    bool chooseColor(uint32_t &rgb, const QString &title) override;
    QStringList messages() const;
};
