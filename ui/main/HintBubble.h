#pragma once

#include <QLabel>

// A red message bubble shown at the mouse pointer; a new message replaces the one still shown.
class THintBubble : public QLabel {
    Q_OBJECT
  public:
    explicit THintBubble(QWidget *owner);

    void ShowAt(const QString &text, const QPoint &globalPos);
};
