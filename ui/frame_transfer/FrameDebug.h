#pragma once

#include "ui_FrameDebug.h"

#include <QWidget>

#include <cstdint>

// The frame debug view: elapsed time, progress and speed of the upload, and the size of the source picture,
// one row each. The transfer dialog writes it; it moves to the screen's top right corner when shown.
class TFormFrameDebug : public QWidget, public Ui::TFormFrameDebug {
    Q_OBJECT
  public:
    enum Row { RowElapsed, RowProgress, RowSpeed, RowWidth, RowHeight, RowCount };

    explicit TFormFrameDebug(QWidget *parent = nullptr);

    // The upload's elapsed time, shown as a time of day.
    void SetElapsed(qint64 milliseconds);
    void SetProgress(int sent, int total);
    void SetSpeed(int bytesPerSecond);
    void SetSourceWidth(int width);
    void SetSourceHeight(int height);

    QString Label(int row) const;
    QString Value(int row) const;

  protected:
    void showEvent(QShowEvent *event) override;

  private:
    void setValue(int row, const QString &text);
};
