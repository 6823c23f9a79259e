#pragma once

#include <QString>

// Scales values between the scaler's units and the signed values the operator sees. Value 0 in the
// scaler's units stands for the lowest displayed value; only the spans of the two ranges scale.
class TConversion {
  public:
    int ValMinDriver() const { return m_minDriver; }
    void SetValMinDriver(int v) { m_minDriver = v; }
    int ValMaxDriver() const { return m_maxDriver; }
    void SetValMaxDriver(int v) { m_maxDriver = v; }
    int ValMinAffichage() const { return m_minShown; }
    void SetValMinAffichage(int v) { m_minShown = v; }
    int ValMaxAffichage() const { return m_maxShown; }
    void SetValMaxAffichage(int v) { m_maxShown = v; }

    // The displayed text for a value in the scaler's units, rounded to a whole number (halves away from
    // zero). Any stored value is accepted, also one far outside the range: its text is simply longer.
    void PositionDriver(qint64 value, QString &text) const;
    // The value in the scaler's units for a displayed value, rounded likewise; a displayed value outside
    // the range counts as the middle of the range. Results beyond the int range saturate.
    int PositionAffichage(int shown) const;

  private:
    int m_minDriver = 0;
    int m_maxDriver = 255;
    int m_minShown = -128;
    int m_maxShown = 127;
};
