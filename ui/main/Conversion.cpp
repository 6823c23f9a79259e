#include "Conversion.h"

#include <cmath>

namespace {
// Halves away from zero.
int roundHalfAway(double x) {
    return static_cast<int>(std::round(x));
}
} // namespace

void TConversion::PositionDriver(int value, QString &text) const {
    if (m_maxDriver == m_minDriver) {
        text = QStringLiteral("0");
        return;
    }
    const double shown =
        static_cast<double>(value) * (m_maxShown - m_minShown) / (m_maxDriver - m_minDriver) + m_minShown;
    text = QString::number(roundHalfAway(shown));
}

int TConversion::PositionAffichage(int shown) const {
    if (shown < m_minShown || shown > m_maxShown)
        shown = roundHalfAway((m_maxShown - m_minShown) / 2.0 + m_minShown);
    if (m_maxShown == m_minShown) return 0;
    const long long span = static_cast<long long>(shown - m_minShown) * (m_maxDriver - m_minDriver);
    return roundHalfAway(static_cast<double>(span) / (m_maxShown - m_minShown));
}
