#pragma once

#include "FakeLink.h"
#include "Orlan_d.h"

#include <QStringList>

#include <memory>

// A driver with fake transports on all three link types and its timer stopped, stepped by hand.
struct DriverFixture {
    FakeLink::State links[3];
    std::unique_ptr<TOrlan_d> drv = std::make_unique<TOrlan_d>();
    QStringList events; // names of raised events, in order

    DriverFixture() {
        drv->SetLinkTimerEnabled(false);
        links[CON_UDP].active = links[CON_TCP].active = false; // network links start closed
        for (int t = 0; t < 3; ++t)
            drv->ReplaceLink(static_cast<tConnectionType>(t), std::make_unique<FakeLink>(links[t]));
    }

    FakeLink::State &serial() { return links[CON_RS232]; }

    // Records the named event into `events`.
    void record(TOrlanNotifyEvent &event, const QString &name) {
        event = [this, name](TOrlan_d *, int32_t) { events << name; };
    }

    // Steps the state machine until the driver reports Connected (scaler answering DEV33).
    void connect() {
        drv->StepLink(); // RESET -> PROBE
        drv->SerialReceive("DEV33\r\n");
        drv->StepLink(); // CONNECT -> QUERYALL
        serial().sent.clear();
    }
};
