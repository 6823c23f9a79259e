#include "HintBubble.h"

THintBubble::THintBubble(QWidget *owner) : QLabel(owner, Qt::ToolTip | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("HintBubble"));
    setStyleSheet(QStringLiteral("QLabel { color: red; background: palette(tooltip-base); "
                                 "border: 1px solid red; border-radius: 4px; padding: 3px 6px; }"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    hide();
}

void THintBubble::ShowAt(const QString &text, const QPoint &globalPos) {
    setText(text);
    adjustSize();
    move(globalPos + QPoint(8, 12));
    show();
    raise();
}
