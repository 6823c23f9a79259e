#include "StatusTexts.h"

#include "Models.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace StatusTexts {

namespace {

template <std::size_t N> QString pick(const std::array<const char *, N> &table, uint32_t value) {
    return value < N ? QString::fromLatin1(table[value]) : QString();
}

constexpr std::array<const char *, kRows> kLabels{
    "", "Input :",    "Type :",      "Format :", "Line freq. :",    "Frame freq. :", "Sync. :",
    "", "Source :",   "Rate :",      "",         "Output format :", "Frame freq. :", "Output sync. :",
    "", "Recorded :", "Displayed :", ""};

constexpr std::array<const char *, 12> kInputFormats{"No Signal",
                                                     "Wrong Signal",
                                                     "NTSC std(3,58/60)",
                                                     "PAL std(4,43/50)",
                                                     "SECAM (50Hz)",
                                                     "Black and White 50Hz",
                                                     "Black and White 60Hz",
                                                     "YUV 50Hz",
                                                     "YUV 60Hz",
                                                     "RGB 50Hz",
                                                     "RGB 60Hz",
                                                     "Computer"};

constexpr std::array<const char *, 12> kReferenceFamilies{
    "No Signal",       "Wrong Signal", "NTSC", "PAL", "SECAM", "Black and White",
    "Black and White", "YUV",          "YUV",  "RGB", "RGB",   "Computer"};

constexpr std::array<const char *, 11> kOutputFormats{"SVGA  800x600",   "XGA   1024x768",  "SXGA  1280x1024",
                                                      "SXGA+ 1400x1050", "UXGA  1600x1200", "UXGA  1600x1200",
                                                      "WVGA  852x480",   "WXGA  1280x768",  "SWXGA 1366x768",
                                                      "HDTV  720p",      "VGA   640x480"};

constexpr std::array<const char *, 3> kOutputSyncs{"H & V", "Composite TTL", "SOG"};

constexpr std::array<std::array<const char *, 4>, Models::kModelCount> kInternalRates{{
    {"50 Hz", "60 Hz", "", ""},
    {"50 Hz", "60 Hz", "72 Hz", "75 Hz"},
    {"50 Hz", "60 Hz", "", ""},
}};

QString hertz(const QString &number) {
    return number + QLatin1String(" Hz");
}

} // namespace

QString Label(int row) {
    return row >= 0 && row < kRows ? QString::fromLatin1(kLabels[row]) : QString();
}

QString InputFormat(uint32_t ifamm) {
    return pick(kInputFormats, ifamm);
}
QString ReferenceFamily(uint32_t reffam) {
    return pick(kReferenceFamilies, reffam);
}
QString OutputFormat(uint32_t ofmtm) {
    return pick(kOutputFormats, ofmtm);
}
QString OutputSync(uint32_t osyncm) {
    return pick(kOutputSyncs, osyncm);
}

QString InternalRate(int modelIndex, uint32_t oratem) {
    if (modelIndex < 0 || modelIndex >= Models::kModelCount) return {};
    return pick(kInternalRates[static_cast<std::size_t>(modelIndex)], oratem);
}

QString YesNo(bool value) {
    return value ? QStringLiteral("Yes") : QStringLiteral("No");
}

QString ConnectionText(bool connected) {
    return connected ? QStringLiteral("Device connected") : QStringLiteral("Device NOT connected");
}

QString SignalTypeText(const QStringList &listItems, uint32_t code) {
    const uint32_t first = listItems.size() == 4 ? 2 : 0;
    if (code < first || code - first >= static_cast<uint32_t>(listItems.size())) return {};
    return listItems.at(static_cast<qsizetype>(code - first));
}

// The value is first written with 18 significant digits and then rounded to the wanted precision, halves
// going up: the same two steps the format has always taken, so borderline values round the same way.
QString FormatGeneral(long double value, int precision, QChar decimalPoint) {
    if (decimalPoint.isNull()) decimalPoint = QLocale().decimalPoint().at(0);
    if (std::isnan(value)) return QStringLiteral("NAN");
    if (std::isinf(value)) return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    precision = std::clamp(precision, 1, 17);
    if (value == 0) return QStringLiteral("0");
    QString sign;
    if (value < 0) {
        sign = QStringLiteral("-");
        value = -value;
    }

    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17Le", value);
    const QByteArray text(buffer);
    const qsizetype e = text.indexOf('e');
    QByteArray digits = text.left(e);
    digits.remove(1, 1);                        // the decimal point after the first digit
    int exponent = text.mid(e + 1).toInt() + 1; // digits before the decimal point

    const bool roundUp = digits.at(precision) >= '5';
    digits.truncate(precision);
    if (roundUp) {
        int i = precision - 1;
        while (i >= 0 && digits[i] == '9')
            digits[i--] = '0';
        if (i >= 0) {
            ++digits[i];
        } else {
            digits.prepend('1');
            digits.chop(1);
            ++exponent;
        }
    }
    while (digits.size() > 1 && digits.endsWith('0'))
        digits.chop(1);

    QString out = sign;
    const QString d = QString::fromLatin1(digits);
    if (exponent > precision || exponent < -3) {
        out += d.left(1);
        if (d.size() > 1) out += decimalPoint + d.mid(1);
        out += u'E' + QString::number(exponent - 1);
    } else if (exponent <= 0) {
        out += u'0' + QString(decimalPoint) + QString(-exponent, u'0') + d;
    } else {
        const QString whole = d.left(exponent).leftJustified(exponent, u'0');
        out += whole;
        if (d.size() > exponent) out += decimalPoint + d.mid(exponent);
    }
    return out;
}

QString FrameRate(uint32_t unity, uint32_t ildm, uint32_t ifdm, bool interlaced, QChar decimalPoint) {
    if (ildm == 0 || ifdm == 0) return QStringLiteral("Not measured");
    const uint32_t lineTicks = unity * 10u; // 32-bit, as the scaler's counters are
    const long double duration = interlaced ? ifdm + 0.525L : static_cast<long double>(ifdm);
    const long double rate = static_cast<long double>(lineTicks) / ildm * 1000.0L / duration;
    const int precision = interlaced ? 4 : (rate >= 100 ? 3 : 2);
    return hertz(FormatGeneral(rate, precision, decimalPoint));
}

Update Compute(const Snapshot &s) {
    Update u;
    const int model = Models::ModelIndex(s.dev);
    if (model < 0) {
        u.clear = true;
        return u;
    }
    auto &cell = u.cells;
    const bool computer = s.selectedType == Models::kComputerInput;
    const bool selectable = s.ichm >= 1 && s.ichm <= 5;
    const QString selectedName = selectable ? s.sourceNames[s.ichm] : QString();

    // Input
    if (s.ichm == 0)
        cell[RowInput] = QStringLiteral("No input");
    else
        cell[RowInput] = selectable ? s.inputCaptions[s.ichm - 1] : QString();
    if (s.ichm > 0)
        cell[RowType] = selectable ? SignalTypeText(s.selectedSignalTypes, s.selectedType) : QString();

    QString sync;
    if (s.ipsigm && !s.ioorm) {
        switch (s.isyncm) {
        case 0:
            sync = QStringLiteral("H & V   (%1 %2)")
                       .arg(s.ihpolm ? QStringLiteral("H+") : QStringLiteral("H-"),
                            s.ivpolm ? QStringLiteral("V+") : QStringLiteral("V-"));
            break;
        case 1:
            sync = QStringLiteral("TTL Composite");
            break;
        case 2:
            sync = QStringLiteral("Sync. On Green");
            break;
        case 3:
            sync = QStringLiteral("Analog Composite");
            break;
        default:
            sync = QStringLiteral("Sync. error !");
            break;
        }
    }
    cell[RowFormat] = InputFormat(s.ifamm);

    QString frameRate;
    if (!s.ipsigm || s.ioorm) {
        cell[RowFormat] = cell[RowLineFreq] = cell[RowFrameFreq] = QString();
        sync = s.ipsigm ? QStringLiteral("Out of range") : QStringLiteral("No synchro");
    } else {
        if (s.ildm != 0) {
            const uint32_t kiloHertz = s.unity * 10u / s.ildm;
            cell[RowLineFreq] =
                QStringLiteral("%1 kHz %2").arg(kiloHertz).arg(s.iintm ? QStringLiteral("i") : QString());
        }
        frameRate = FrameRate(s.unity, s.ildm, s.ifdm, s.iintm, s.decimalPoint);
        cell[RowFrameFreq] = frameRate;
    }
    cell[RowSync] = sync;

    const QString referenceRate = hertz(FormatGeneral(s.reffrq / 100.0L, 4, s.decimalPoint));

    // Reference
    if (computer) {
        u.flags[RowSource] = 0;
        cell[RowSource] = cell[RowRate] = QStringLiteral("Loopthrough");
    } else if (s.refsta != s.refreq) {
        u.flags[RowSource] = -1;
        cell[RowSource] = QStringLiteral("No input signal");
        cell[RowRate] = QStringLiteral("Rate error");
    } else {
        u.flags[RowSource] = 0;
        if (s.refsta == 0) {
            cell[RowSource] = s.sourceNames[0];
            cell[RowRate] = InternalRate(model, s.oratem);
        } else {
            cell[RowSource] = selectedName + QLatin1String("  ") + ReferenceFamily(s.reffam);
            cell[RowRate] = referenceRate;
        }
    }

    // Output
    if (computer) {
        u.flags[RowOutputFrameFreq] = 0;
        u.flags[RowOutputFormat] = s.ipsigm ? 0 : -1;
        cell[RowOutputFormat] = s.ipsigm ? QStringLiteral("Loopthrough") : QStringLiteral("No input signal");
        cell[RowOutputFrameFreq] = s.ipsigm ? frameRate : QString();
        cell[RowOutputSync] = sync;
    } else {
        u.flags[RowOutputFormat] = 0;
        cell[RowOutputFormat] = OutputFormat(s.ofmtm);
        cell[RowOutputSync] = OutputSync(s.osyncm);
        if (s.refsta != s.refreq) {
            u.flags[RowOutputFrameFreq] = -1;
            cell[RowOutputFrameFreq] = s.refreq == 0 ? QStringLiteral("Rate error")
                                                     : QStringLiteral("No signal at %1").arg(selectedName);
        } else {
            u.flags[RowOutputFrameFreq] = 0;
            cell[RowOutputFrameFreq] = s.refsta == 0 ? InternalRate(model, s.oratem) : referenceRate;
        }
    }
    return u;
}

} // namespace StatusTexts
