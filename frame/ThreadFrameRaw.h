#pragma once

#include "ThreadFrame.h"

// The "RAW" transfer mode: the scaler is prepared through FAMODEM_, FATRMODE and FAEXEC in the text
// protocol, then takes the picture over the serial link at 57600 baud as escaped RGB bytes in acknowledged
// chunks of at most 70 pixels, after which the link returns to the text protocol at 9600 baud.
class TThreadFrameRaw final : public TThreadFrame {
    Q_OBJECT
  public:
    using TThreadFrame::TThreadFrame;
    ~TThreadFrameRaw() override;

  protected:
    void Execute() override;

  private:
    void takeEvents();
    void step();
    void waitForNextPass(uint64_t seen);
};
