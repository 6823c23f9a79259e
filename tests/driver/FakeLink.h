#pragma once

#include "Link.h"

#include <QByteArrayList>

// A transport that records what the driver writes; tests flip it open or closed and make sends fail.
class FakeLink : public TLink {
  public:
    struct State {
        bool active = true;
        bool openResult = true;
        bool failSends = false;
        int opens = 0;
        int closes = 0;
        QByteArrayList sent;
        QByteArray joined() const { return sent.join(); }
    };

    explicit FakeLink(State &state) : m_state(state) {}

    bool Open() override {
        ++m_state.opens;
        m_state.active = m_state.openResult;
        return m_state.openResult;
    }
    void Close() override {
        ++m_state.closes;
        m_state.active = false;
    }
    bool IsActive() const override { return m_state.active; }
    bool Send(const QByteArray &data) override {
        if (m_state.failSends) return false;
        m_state.sent << data;
        return true;
    }
    QString ErrorString() const override { return QStringLiteral("Network unreachable"); }

  private:
    State &m_state;
};
