#pragma once

#include "Prompts.h"

#include <utility>

class QWidget;

// The prompts of an interactive program: message boxes, a one-line input box, file and colour choosers, each
// modal over the active window.
class WidgetPrompts : public Prompts {
  public:
    // Title used when a caller gives none.
    explicit WidgetPrompts(QString defaultTitle = {}) : m_defaultTitle(std::move(defaultTitle)) {}

    void message(const QString &text, Icon icon, const QString &title) override;
    Answer question(const QString &text, const QString &title) override;
    Answer confirm(const QString &text, const QString &title) override;
    bool inputText(const QString &title, const QString &label, QString &value) override;
    QString openFileName(const QString &title, const QString &filter, const QString &dir = {}) override;
    QString saveFileName(const QString &title, const QString &filter, const QString &dir = {}) override;
    bool chooseColor(uint32_t &rgb, const QString &title) override;

  private:
    QString titleOr(const QString &title) const { return title.isEmpty() ? m_defaultTitle : title; }
    static QWidget *parent();

    QString m_defaultTitle;
};
