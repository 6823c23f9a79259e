#include "WidgetPrompts.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

QWidget *WidgetPrompts::parent() {
    return QApplication::activeWindow();
}

void WidgetPrompts::message(const QString &text, Icon icon, const QString &title) {
    QMessageBox::Icon boxIcon = QMessageBox::Information;
    switch (icon) {
    case Icon::Information:
        boxIcon = QMessageBox::Information;
        break;
    case Icon::Warning:
        boxIcon = QMessageBox::Warning;
        break;
    case Icon::Error:
        boxIcon = QMessageBox::Critical;
        break;
    case Icon::Question:
        boxIcon = QMessageBox::Question;
        break;
    }
    QMessageBox box(boxIcon, titleOr(title), text, QMessageBox::Ok, parent());
    box.exec();
}

Prompts::Answer WidgetPrompts::question(const QString &text, const QString &title) {
    const auto button =
        QMessageBox::question(parent(), titleOr(title), text, QMessageBox::Yes | QMessageBox::No);
    return button == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

Prompts::Answer WidgetPrompts::confirm(const QString &text, const QString &title) {
    QMessageBox box(QMessageBox::Question, titleOr(title), text, QMessageBox::Ok | QMessageBox::Cancel,
                    parent());
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok ? Answer::Ok : Answer::Cancel;
}

bool WidgetPrompts::inputText(const QString &title, const QString &label, QString &value) {
    bool ok = false;
    const QString answer =
        QInputDialog::getText(parent(), titleOr(title), label, QLineEdit::Normal, value, &ok);
    if (ok) value = answer;
    return ok;
}

QString WidgetPrompts::openFileName(const QString &title, const QString &filter, const QString &dir) {
    return QFileDialog::getOpenFileName(parent(), titleOr(title), dir, filter);
}

QString WidgetPrompts::saveFileName(const QString &title, const QString &filter, const QString &dir) {
    return QFileDialog::getSaveFileName(parent(), titleOr(title), dir, filter);
}

bool WidgetPrompts::chooseColor(uint32_t &rgb, const QString &title) {
    const QColor chosen = QColorDialog::getColor(QColor::fromRgb(QRgb(rgb)), parent(), titleOr(title));
    if (!chosen.isValid()) return false;
    rgb = chosen.rgb() & 0xFFFFFFu;
    return true;
}
