#include "FrameFormat.h"

#include <QLabel>
#include <QStyle>
#include <QStyleOptionButton>

namespace {
// A label over the radio button's text area: Qt's radio buttons do not wrap their text.
QLabel *wrappedText(QRadioButton *button) {
    QStyleOptionButton option;
    option.initFrom(button);
    const int indent = button->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, &option, button) +
                       button->style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, &option, button);
    auto *label = new QLabel(button);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setGeometry(indent, 0, button->width() - indent, button->height());
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}
} // namespace

TFormFrameFormat::TFormFrameFormat(QWidget *parent) : QDialog(parent) {
    setupUi(this);
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    m_text1 = wrappedText(RdoFormat1);
    m_text2 = wrappedText(RdoFormat2);
    connect(BtnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    RunModal = [](QDialog &dialog) { return dialog.exec(); };
}

void TFormFrameFormat::setChoiceText(QRadioButton *button, QLabel *label, const QString &text) {
    label->setText(text);
    button->setAccessibleName(text);
}

QString TFormFrameFormat::ChoiceText(int choice) const {
    return (choice == 1 ? m_text1 : m_text2)->text();
}

TFitMode TFormFrameFormat::ChooseFitMode(int width, int height) {
    return ::ChooseFitMode(width, height, [this](const TFitChoice &choice) {
        QString label = choice.label;
        LblFormat->setText(label.replace(QLatin1String("\r\n"), QLatin1String("\n")));
        setChoiceText(RdoFormat1, m_text1, choice.first);
        setChoiceText(RdoFormat2, m_text2, choice.second);
        RdoFormat1->setChecked(true);
        if (RunModal(*this) != QDialog::Accepted) return TFitAnswer::Cancel;
        return RdoFormat1->isChecked() ? TFitAnswer::First : TFitAnswer::Second;
    });
}
