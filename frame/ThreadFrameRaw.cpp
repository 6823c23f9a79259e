#include "ThreadFrameRaw.h"

#include "Orlan_d.h"

#include <algorithm>

using namespace FrameWire;

TThreadFrameRaw::~TThreadFrameRaw() {
    // Here, not in the base: Execute belongs to this class and must have returned before it goes.
    AbortAndWait();
}

void TThreadFrameRaw::Execute() {
    while (!Terminated()) {
        const uint64_t seen = Events().Generation();
        if (!TakeQuitRequest()) break;
        takeEvents();
        // Whatever leaves the idle state ends through state 16, which reports the end: until then the
        // upload counts as running, so that its owner does not wait for the thread while it still needs
        // the user-interface thread.
        if (State() != 0 && !Ev(EventRunning).IsSet()) Ev(EventRunning).Set();
        step();
        if (!Terminated()) waitForNextPass(seen);
    }
}

// The first event found set, in this order, is consumed and chooses the state.
void TThreadFrameRaw::takeEvents() {
    if (Ev(EventReset).Take()) {
        SetState(0);
    } else if (Ev(EventStart).Take()) {
        SetState(1);
    } else if (Ev(EventTerminateSend).Take()) {
        SetState(9);
    } else if (Ev(EventAbort).Take()) {
        if (Ev(EventRunning).IsSet()) SetState(13);
    } else if (Ev(EventUserAbort).Take()) {
        SetState(12);
    }
}

void TThreadFrameRaw::step() {
    switch (State()) {
    case 0: // idle
        break;
    case 1:
        Ev(EventRunning).Set();
        OnDriver([](TOrlan_d &d) { d.SetFAMODEM_(2); });
        m_stepTime = Now();
        SetState(2);
        break;
    case 2: {
        bool confirmed = false;
        OnDriver([&](TOrlan_d &d) {
            confirmed = d.FAMODEM_() == 2;
            if (confirmed) d.SetFATRMODE(0);
        });
        if (confirmed) {
            m_stepTime = Now();
            SetState(3);
        } else if (TimedOut()) {
            SetState(15);
        }
        break;
    }
    case 3: {
        bool confirmed = false;
        OnDriver([&](TOrlan_d &d) {
            confirmed = d.FATRMODE() == 0;
            if (confirmed) d.SetFAEXEC(true);
        });
        if (confirmed) {
            m_stepTime = Now();
            SetState(4);
        } else if (TimedOut()) {
            SetState(15);
        }
        break;
    }
    case 4: {
        bool confirmed = false;
        OnDriver([&](TOrlan_d &d) {
            confirmed = d.FAEXEC();
            if (!confirmed) return;
            d.SetForceConn(true);
            d.SetBaudRate(kRawBaud);
            d.SetConMode(MODE_RAW);
            d.SetRawReceive(true);
            // Bytes that came with or after the reply, while the text parser still read them, wait in the
            // receive buffer; the scaler may not offer again.
            DecodeWaitingReplies();
        });
        if (confirmed)
            SetState(5);
        else if (TimedOut())
            SetState(15);
        break;
    }
    case 5:
        m_column = 0;
        m_row = 0;
        m_stepTime = Now();
        SetState(6);
        break;
    case 6:
        if (Ev(EventOXSReady).IsSet()) {
            EncodeChunk(ReadChunk());
            SendControl(kEtb);
            m_stepTime = Now();
            SetState(7);
        } else if (TimedOut()) {
            SetState(11);
        }
        break;
    case 7:
        if (Ev(EventACKReceived).Take()) {
            m_stepTime = Now();
            SetState(8);
        } else if (TimedOut()) {
            SetState(11);
        }
        break;
    case 8:
        if (m_row >= PictureHeight()) {
            SetState(9);
        } else if (m_column >= PictureWidth()) {
            SendControl(kCr);
            m_column = 0;
            ++m_row;
            SetState(7);
        } else {
            SetState(6);
        }
        break;
    case 9:
        SendControl(kEot);
        m_result.store(TRANSFER_DONE);
        SetState(10);
        break;
    case 10:
        // The final acknowledgement is timed from the last row's acknowledgement.
        if (Ev(EventACKReceived).Take())
            SetState(14);
        else if (TimedOut())
            SetState(11);
        break;
    case 11:
        SendControl(kCan);
        m_result.store(TRANSFER_TIMEOUT);
        SetState(14);
        break;
    case 12:
        SendControl(kCan);
        m_result.store(TRANSFER_USER_ABORT);
        SetState(14);
        break;
    case 13:
        m_result.store(TRANSFER_SCALER_ABORT);
        SetState(14);
        break;
    case 14:
        Pause(m_timing.pauseMs);
        OnDriver([](TOrlan_d &d) {
            d.SetForceConn(false);
            d.SetConMode(MODE_VAR);
            d.SetBaudRate(kTextBaud);
        });
        SetState(16);
        break;
    case 15:
        // A lost reply does not mean a command was lost: the scaler may have taken the execute command and
        // now take everything as picture data. ESC CAN ends that before the text protocol goes on, and the
        // execute command is never written again (it would start another raw receive). The other two go
        // back in the reverse order.
        SendControl(kCan);
        OnDriver([](TOrlan_d &d) {
            d.SetFATRMODE(0);
            d.SetFAMODEM_(2);
        });
        m_result.store(TRANSFER_TIMEOUT);
        SetState(16);
        break;
    case 16:
        Ev(EventRunning).Reset();
        Terminate();
        SetState(0);
        break;
    default:
        SetState(0);
        break;
    }
}

// Sleeps until something can change the next pass: an event set by the owner or the reply decoder, the
// time-out of the current wait, or (in the command phase) the next look at the variables.
void TThreadFrameRaw::waitForNextPass(uint64_t seen) {
    for (const TEventId id : {EventReset, EventStart, EventTerminateSend, EventAbort, EventUserAbort})
        if (Ev(id).IsSet()) return;
    int timeoutMs = 0;
    switch (State()) {
    case 0:
        timeoutMs = -1;
        break;
    case 2:
    case 3:
    case 4:
        timeoutMs = std::min(m_timing.pollMs, RemainingMs());
        break;
    case 6:
        timeoutMs = Ev(EventOXSReady).IsSet() ? 0 : RemainingMs();
        break;
    case 7:
    case 10:
        timeoutMs = Ev(EventACKReceived).IsSet() ? 0 : RemainingMs();
        break;
    default:
        break;
    }
    if (timeoutMs != 0) Events().WaitForChange(seen, timeoutMs);
}
