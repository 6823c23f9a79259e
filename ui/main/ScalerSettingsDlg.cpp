#include "ScalerSettingsDlg.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
enum Column { ColName, ColScaler, ColFile, ColResult, ColumnCount };
}

TScalerSettingsDlg::TScalerSettingsDlg(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ScalerSettingsDlg"));
    setWindowTitle(QStringLiteral("Load scaler settings"));
    setModal(false);
    resize(460, 360);

    m_heading = new QLabel(this);
    m_heading->setWordWrap(true);
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("ChangeList"));
    m_list->setColumnCount(ColumnCount);
    m_list->setHeaderLabels({QStringLiteral("Setting"), QStringLiteral("Scaler"), QStringLiteral("File"),
                             QStringLiteral("Result")});
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(ColResult, QHeaderView::Stretch);
    m_notes = new QLabel(this);
    m_notes->setWordWrap(true);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("WriteProgress"));
    m_status = new QLabel(this);
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_buttons = new QDialogButtonBox(this);
    m_write = m_buttons->addButton(QStringLiteral("Write to the scaler"), QDialogButtonBox::AcceptRole);
    m_close = m_buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    connect(m_write, &QPushButton::clicked, this, [this] {
        if (!m_writing && !m_finished) emit writeRequested();
    });
    connect(m_close, &QPushButton::clicked, this, &TScalerSettingsDlg::closeClicked);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_heading);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_notes);
    layout->addWidget(m_progress);
    layout->addWidget(m_status);
    layout->addWidget(m_buttons);
}

void TScalerSettingsDlg::ShowPreview(const QString &heading, const QList<Change> &changes,
                                     const QStringList &notes, const QString &blocked) {
    m_writing = false;
    m_finished = false;
    m_heading->setText(heading);
    m_list->clear();
    for (const Change &c : changes)
        new QTreeWidgetItem(m_list, {c.name, c.scalerValue, c.fileValue, QString()});
    // Without the result column the file's values take the rest of the width.
    m_list->setColumnHidden(ColResult, true);
    m_list->header()->setSectionResizeMode(ColFile, QHeaderView::Stretch);
    fitColumns();
    m_notes->setText(notes.isEmpty()
                         ? QString()
                         : QStringLiteral("Kept as the scaler has them:\n") + notes.join(QLatin1Char('\n')));
    m_notes->setVisible(!notes.isEmpty());
    m_progress->hide();
    m_status->setText(blocked);
    m_status->setStyleSheet(QString());
    m_status->setVisible(!blocked.isEmpty());
    m_write->setVisible(true);
    m_write->setEnabled(blocked.isEmpty() && !changes.isEmpty());
    m_close->setText(QStringLiteral("Cancel"));
}

void TScalerSettingsDlg::fitColumns() {
    // Room beside the widest text, so the values stand apart.
    for (int c = ColName; c < ColResult; ++c) {
        m_list->resizeColumnToContents(c);
        m_list->setColumnWidth(c, qMax(m_list->columnWidth(c) + 16, c == ColName ? 120 : 80));
    }
}

void TScalerSettingsDlg::StartProgress(const QString &heading) {
    m_writing = true;
    m_heading->setText(heading);
    m_list->setColumnHidden(ColResult, false);
    m_list->header()->setSectionResizeMode(ColFile, QHeaderView::Interactive);
    fitColumns();
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        m_list->topLevelItem(i)->setText(ColResult, QStringLiteral("waiting"));
    m_progress->setRange(0, m_list->topLevelItemCount());
    m_progress->setValue(0);
    m_progress->show();
    m_status->setText(QStringLiteral("Writing the settings; the window stays usable meanwhile."));
    m_status->show();
    m_write->setEnabled(false);
    m_close->setText(QStringLiteral("Hide"));
}

void TScalerSettingsDlg::SetOutcome(const QString &name, Outcome outcome, const QString &reported) {
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = m_list->topLevelItem(i);
        if (item->text(ColName) != name) continue;
        const bool wasPending = item->text(ColResult) == QLatin1String("waiting");
        // A refusal already named with the scaler's value keeps it.
        if (!wasPending && outcome == Outcome::NotTaken && reported.isEmpty()) return;
        switch (outcome) {
        case Outcome::Pending:
            item->setText(ColResult, QStringLiteral("waiting"));
            break;
        case Outcome::Taken:
            item->setText(ColResult, QStringLiteral("written"));
            break;
        case Outcome::NotTaken:
            item->setText(ColResult, reported.isEmpty()
                                         ? QStringLiteral("not taken: no answer in time")
                                         : QStringLiteral("not taken: the scaler reports %1").arg(reported));
            item->setForeground(ColResult, QColor(0xB0, 0, 0));
            break;
        case Outcome::NotWritten:
            item->setText(ColResult, QStringLiteral("not written"));
            item->setForeground(ColResult, QColor(0xB0, 0, 0));
            break;
        }
        if (wasPending && outcome != Outcome::Pending) m_progress->setValue(m_progress->value() + 1);
        return;
    }
}

void TScalerSettingsDlg::Finish(const QString &summary, bool ok) {
    m_writing = false;
    m_finished = true;
    // What got no answer and is neither refused nor lost was skipped: the scaler held it already.
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        if (QTreeWidgetItem *item = m_list->topLevelItem(i);
            item->text(ColResult) == QLatin1String("waiting")) {
            item->setText(ColResult, QStringLiteral("already so"));
            m_progress->setValue(m_progress->value() + 1);
        }
    m_status->setText(summary);
    m_status->setStyleSheet(ok ? QString() : QStringLiteral("color: #b00000"));
    m_status->show();
    m_write->setVisible(false);
    m_close->setText(QStringLiteral("Close"));
}

QString TScalerSettingsDlg::StatusText() const {
    return m_status->text();
}

QList<QStringList> TScalerSettingsDlg::Rows() const {
    QList<QStringList> rows;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = m_list->topLevelItem(i);
        QStringList row;
        for (int c = ColName; c < ColumnCount; ++c)
            row << item->text(c);
        rows << row;
    }
    return rows;
}

void TScalerSettingsDlg::closeClicked() {
    reject();
}

void TScalerSettingsDlg::reject() {
    // While writing, closing only hides the dialog: the restore goes on and still reports its end.
    const bool cancel = !m_writing && !m_finished;
    hide();
    setResult(QDialog::Rejected);
    if (cancel) emit cancelled();
}
