#include "Conversion.h"

#include <cmath>
#include <limits>

namespace {
// std::round rounds halves away from zero; adding 0.0 turns a negative zero into 0.
double roundHalfAway(double x) {
    return std::round(x) + 0.0;
}

int saturate(double x) {
    if (x >= std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (x <= std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    return static_cast<int>(x);
}
} // namespace

void TConversion::PositionDriver(qint64 value, QString &text) const {
    if (m_maxDriver == m_minDriver) {
        text = QStringLiteral("0");
        return;
    }
    // Spans in floating point: no int overflow whatever the properties hold.
    const double shownSpan = static_cast<double>(m_maxShown) - m_minShown;
    const double driverSpan = static_cast<double>(m_maxDriver) - m_minDriver;
    const double shown = static_cast<double>(value) * shownSpan / driverSpan + m_minShown;
    text = QString::number(roundHalfAway(shown), 'f', 0);
}

int TConversion::PositionAffichage(int shown) const {
    qint64 a = shown;
    if (a < m_minShown || a > m_maxShown)
        a = static_cast<qint64>(
            roundHalfAway((static_cast<double>(m_maxShown) - m_minShown) / 2.0 + m_minShown));
    if (m_maxShown == m_minShown) return 0;
    // The product in integers (exact in a double for any range up to 2^53), the division in floating point.
    const qint64 offset = a - m_minShown;
    const qint64 driverSpan = static_cast<qint64>(m_maxDriver) - m_minDriver;
    const double product = static_cast<double>(offset) * static_cast<double>(driverSpan);
    const double shownSpan = static_cast<double>(m_maxShown) - m_minShown;
    return saturate(roundHalfAway(product / shownSpan));
}
