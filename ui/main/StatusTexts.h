#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

// What the status grid shows, computed from driver values without any widget.
namespace StatusTexts {

constexpr int kRows = 18;
enum Row {
    RowInput = 1,
    RowType = 2,
    RowFormat = 3,
    RowLineFreq = 4,
    RowFrameFreq = 5,
    RowSync = 6,
    RowSource = 8,
    RowRate = 9,
    RowOutputFormat = 11,
    RowOutputFrameFreq = 12,
    RowOutputSync = 13,
    RowRecorded = 15,
    RowDisplayed = 16,
    RowLast = 17,
};
// Rows covered by a heading bar, with the bar's caption.
struct Heading {
    int row;
    const char *caption;
};
inline constexpr std::array<Heading, 4> kHeadings{
    {{0, "Input"}, {7, "Reference"}, {10, "Output"}, {14, "Frame alert"}}};

// Column-0 label of a row.
QString Label(int row);

// Constant text tables; a value outside a table gives the empty text.
QString InputFormat(uint32_t ifamm);
QString ReferenceFamily(uint32_t reffam);
QString OutputFormat(uint32_t ofmtm);
QString OutputSync(uint32_t osyncm);
QString InternalRate(int modelIndex, uint32_t oratem);
QString YesNo(bool value);
QString ConnectionText(bool connected);

// The entry of a signal-type list standing for a signal type code ("" when the list has none).
QString SignalTypeText(const QStringList &listItems, uint32_t code);

// A number in the general format: the shorter of fixed and scientific notation with the given
// number of significant digits, trailing zeros removed, the locale's decimal separator.
QString FormatGeneral(long double value, int precision, QChar decimalPoint = {});

// Frame rate of the measured input: "Not measured" or "<rate> Hz".
QString FrameRate(uint32_t unity, uint32_t ildm, uint32_t ifdm, bool interlaced, QChar decimalPoint = {});

// The driver values a refresh reads, and the names it shows.
struct Snapshot {
    uint32_t dev = 0;
    uint32_t ichm = 0;
    uint32_t selectedType = 0; // signal type of input ICHM
    uint32_t ifamm = 0;
    uint32_t isyncm = 0;
    uint32_t unity = 0;
    uint32_t ildm = 0;
    uint32_t ifdm = 0;
    uint32_t refreq = 0;
    uint32_t refsta = 0;
    uint32_t reffam = 0;
    uint32_t reffrq = 0;
    uint32_t oratem = 0;
    uint32_t ofmtm = 0;
    uint32_t osyncm = 0;
    bool ipsigm = false;
    bool ioorm = false;
    bool ihpolm = false;
    bool ivpolm = false;
    bool iintm = false;
    std::array<QString, 6> sourceNames;   // 0 "Internal Rate", 1..5 input names
    std::array<QString, 5> inputCaptions; // captions of the input buttons
    QStringList selectedSignalTypes;      // items of the signal-type list of input ICHM's row
    QChar decimalPoint;                   // null: the locale's
};

// Cells and highlight flags to change; an empty optional leaves the cell or flag as it is.
struct Update {
    bool clear = false; // no known model: every value cell back to "...", row 17 empty
    std::array<std::optional<QString>, kRows> cells;
    std::array<std::optional<int>, kRows> flags;
};

Update Compute(const Snapshot &s);

} // namespace StatusTexts
