#pragma once

#include <QObject>

// Turns SIGINT and SIGTERM into a Qt signal delivered on the user-interface thread, so that the program
// can shut down the normal way (windows closed, settings saved) instead of dying mid-run.
class UnixSignals : public QObject {
    Q_OBJECT
  public:
    explicit UnixSignals(QObject *parent = nullptr);
    ~UnixSignals() override;

  signals:
    void terminationRequested(int signalNumber);

  private:
    void readPending();
};
