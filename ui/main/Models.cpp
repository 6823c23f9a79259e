#include "Models.h"

namespace Models {

namespace {

constexpr InputRowLayout kNoRow{SignalList::None, false, false};

const std::array<ModelLayout, kModelCount> kLayouts{{
    // Orlan
    {{"CVBS", "Y/C(S.Video) / CVBS", "Computer", "", ""},
     {{{SignalList::None, true, true},
       {SignalList::Two, true, true},
       {SignalList::None, false, false},
       kNoRow,
       kNoRow}},
     148,
     false,
     false,
     RateList::Short},
    // Orlan Plus
    {{"CVBS", "CVBS", "YUV / RGB", "Y/C(S.Video) / CVBS", "Computer"},
     {{{SignalList::None, true, true},
       {SignalList::None, true, true},
       {SignalList::Four, false, true},
       {SignalList::Two, true, true},
       {SignalList::None, false, false}}},
     225,
     true,
     true,
     RateList::Long},
    // Orlan C
    {{"Video", "Computer", "", "", ""},
     {{{SignalList::Six, true, true}, {SignalList::None, false, false}, kNoRow, kNoRow, kNoRow}},
     106,
     false,
     false,
     RateList::Short},
}};

} // namespace

const ModelLayout &Layout(int modelIndex) {
    return kLayouts.at(static_cast<std::size_t>(modelIndex));
}

const QStringList &Standards() {
    static const QStringList list{QStringLiteral("Auto PAL/SECAM/NTSC"), QStringLiteral("NTSC"),
                                  QStringLiteral("PAL"), QStringLiteral("SECAM"),
                                  QStringLiteral("Black & White 50Hz/60Hz")};
    return list;
}

const QStringList &SignalTypes(SignalList list) {
    static const QStringList none;
    static const QStringList two{QStringLiteral("SDTV Composite"), QStringLiteral("SDTV Y/C")};
    static const QStringList four{QStringLiteral("STDV YUV"), QStringLiteral("SDTV RGB TTL"),
                                  QStringLiteral("SDTV RGB SOG"), QStringLiteral("SDTV RGB Ana.")};
    static const QStringList six = two + four;
    switch (list) {
    case SignalList::None:
        return none;
    case SignalList::Two:
        return two;
    case SignalList::Four:
        return four;
    case SignalList::Six:
        return six;
    }
    return none;
}

uint32_t FirstSignalCode(SignalList list) {
    return list == SignalList::Four ? 2 : 0;
}

uint32_t SignalCode(SignalList list, int position) {
    return FirstSignalCode(list) + static_cast<uint32_t>(position);
}

int SignalPosition(SignalList list, uint32_t code) {
    if (list == SignalList::None) return 0;
    const int count = static_cast<int>(SignalTypes(list).size());
    const uint32_t first = FirstSignalCode(list);
    return code >= first && code - first < static_cast<uint32_t>(count) ? static_cast<int>(code - first) : -1;
}

const std::array<uint32_t, kMaxInputs> &DefaultSignalTypes(int modelIndex) {
    static const std::array<std::array<uint32_t, kMaxInputs>, kModelCount> table{{
        {0, 1, kComputerInput, 0, 0},
        {0, 0, 2, 1, kComputerInput},
        {0, kComputerInput, 0, 0, 0},
    }};
    return table.at(static_cast<std::size_t>(modelIndex));
}

const QStringList &OutputFormats() {
    static const QStringList list{
        QStringLiteral("VGA            640  x480  4/3"),  QStringLiteral("SVGA           800  x600  4/3"),
        QStringLiteral("XGA             1024x768   4/3"), QStringLiteral("SXGA           1280x1024 4/3"),
        QStringLiteral("SXGA+         1400x1050 4/3"),    QStringLiteral("UXGA          1600x1200 4/3"),
        QStringLiteral("WVGA          852x480   16/9"),   QStringLiteral("WXGA          1280x768 15/9"),
        QStringLiteral("SWXGA        1366x768 16/9"),     QStringLiteral("720p            1280x720 16/9")};
    return list;
}

const QStringList &OutputRates(RateList list) {
    static const QStringList shortList{QStringLiteral("50 Hz"), QStringLiteral("60 Hz"),
                                       QStringLiteral("Follow Input")};
    static const QStringList longList{QStringLiteral("50 Hz"), QStringLiteral("60 Hz"),
                                      QStringLiteral("72 Hz"), QStringLiteral("75 Hz"),
                                      QStringLiteral("Follow Input")};
    return list == RateList::Long ? longList : shortList;
}

ButtonGeometry InputButtonGeometry(int separatorLeft, int inputs) {
    const int unit = inputs > 0 ? separatorLeft / inputs : 0;
    return {unit, unit - 4};
}

} // namespace Models
