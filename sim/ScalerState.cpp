#include "ScalerState.h"

#include "DeviceVariables.h"
#include "ScalerModels.h"

#include <QHash>

#include <algorithm>
#include <utility>

namespace OxsSim {

using namespace OrlanVars;

namespace {

enum class Rule : quint8 {
    Query,   // reported by the scaler only: a command just asks for the value
    Clamp,   // stored, brought into [min, max]
    Reject,  // stored only when within [min, max]; otherwise the old value stays and is reported
    Flag,    // Boolean: any non-zero value stores 1
    Special, // handled by hand in execute()
};

struct VarRule {
    int index;
    Rule rule;
    quint32 min;
    quint32 max;
    bool persistent; // a change makes the scaler store its settings
};

// Settable variables; everything not listed is reported by the scaler only.
constexpr VarRule kRules[] = {
    {VAR_ADDRDBG, Rule::Special, 0, ScalerState::kDebugRegisters - 1, false},
    {VAR_DATADBG, Rule::Special, 0, 0xFFFFFFFFu, false},
    {VAR_FRESET, Rule::Special, 0, 1, true},
    {VAR_ICHNM, Rule::Special, 1, ScalerState::kMaxInputs, true},
    {VAR_IPMODEM, Rule::Reject, 0, 2, true},
    {VAR_HPOS, Rule::Clamp, 0, 255, true},
    {VAR_VPOS, Rule::Clamp, 0, 255, true},
    {VAR_HSIZ, Rule::Clamp, 0, 255, true},
    {VAR_VSIZ, Rule::Clamp, 0, 255, true},
    {VAR_BRGT, Rule::Clamp, 0, 255, true},
    {VAR_CONTR, Rule::Clamp, 0, 255, true},
    {VAR_COLOR, Rule::Clamp, 0, 255, true},
    {VAR_HUE, Rule::Clamp, 0, 255, true},
    {VAR_PROC, Rule::Clamp, 0, 7, true},
    {VAR_OVER, Rule::Flag, 0, 1, true},
    {VAR_IASP, Rule::Reject, 0, 2, true},
    {VAR_OFMTM, Rule::Special, 0, 10, true},
    {VAR_ORATEM, Rule::Special, 0, 3, true},
    {VAR_OSYNCM, Rule::Reject, 0, 2, true},
    {VAR_OBLACK, Rule::Flag, 0, 1, false},
    {VAR_OASP, Rule::Reject, 0, 2, true},
    {VAR_OSCREENM, Rule::Reject, 0, 3, true},
    {VAR_ACHANM, Rule::Special, 0, ScalerState::kMaxInputs, true},
    {VAR_AMODEM, Rule::Reject, 0, 1, true},
    {VAR_REFREQ, Rule::Special, 0, 1, true},
    {VAR_FAAUTO, Rule::Flag, 0, 1, true},
    {VAR_FASHOW, Rule::Special, 0, 1, false},
    {VAR_PCHAN, Rule::Special, 0, ScalerState::kMaxInputs, false},
    {VAR_PENA, Rule::Special, 0, 1, true},
    {VAR_PRGBI, Rule::Special, 0, 7, true},
    {VAR_PISTD, Rule::Special, 0, 4, true},
    {VAR_PPROC, Rule::Special, 0, 1, true},
    {VAR_PRESETM, Rule::Special, 0, 1, true},
    {VAR_ERAPOS, Rule::Special, 0, 1, true},
    {VAR_AUTOCAD, Rule::Special, 0, 1, true},
    {VAR_IFRZM, Rule::Flag, 0, 1, false},
    {VAR_EPD, Rule::Flag, 0, 1, true},
    {VAR_LOCK, Rule::Reject, 0, 3, true},
    {VAR_OSYNCTIME, Rule::Clamp, 0, 30, true},
    {VAR_OTYPEM, Rule::Reject, 1, 3, true},
    {VAR_STBTIME, Rule::Clamp, 0, 255, true},
    {VAR_STANDBY, Rule::Flag, 0, 1, false},
    {VAR_FAMODEM_, Rule::Reject, 0, 3, false},
    {VAR_FAEXEC, Rule::Special, 0, 1, false},
    {VAR_FANUMBER, Rule::Clamp, 0, 9, false},
    {VAR_FATRMODE, Rule::Clamp, 0, 255, false},
    {VAR_OPAT, Rule::Flag, 0, 1, false},
    {VAR_LANENABLE, Rule::Flag, 0, 1, true},
    {VAR_LANRESET, Rule::Flag, 0, 1, false},
    {VAR_LANSTORE, Rule::Flag, 0, 1, true},
    {VAR_PADIP, Rule::Reject, 0, ScalerState::kSlots, false},
    {VAR_IP4, Rule::Special, 0, 255, false},
    {VAR_IP3, Rule::Special, 0, 255, false},
    {VAR_IP2, Rule::Special, 0, 255, false},
    {VAR_IP1, Rule::Special, 0, 255, false},
    {VAR_PORT, Rule::Special, 0, 65535, false},
    {VAR_NETMASK, Rule::Reject, 0, 32, false},
    {VAR_DHCPENABLE, Rule::Flag, 0, 1, false},
    {VAR_TCPIP, Rule::Flag, 0, 1, false},
    {VAR_queryall, Rule::Special, 0, 1, false},
};

const VarRule &ruleOf(int index) {
    static const std::array<VarRule, VAR_COUNT> table = [] {
        std::array<VarRule, VAR_COUNT> t{};
        for (int i = 0; i < VAR_COUNT; ++i)
            t[std::size_t(i)] = {i, Rule::Query, 0, 0xFFFFFFFFu, false};
        for (const VarRule &r : kRules)
            t[std::size_t(r.index)] = r;
        return t;
    }();
    return table[std::size_t(index)];
}

int indexOfCommand(const QByteArray &mnemonic) {
    static const QHash<QByteArray, int> table = [] {
        QHash<QByteArray, int> t;
        for (const Row &row : kRows)
            t.insert(QByteArray(row.command), row.index);
        return t;
    }();
    return table.value(mnemonic, -1);
}

bool isLanVariable(int index) {
    return index >= VAR_LANENABLE && index <= VAR_TCPIP;
}

// Factory values shared by all models; the model-specific ones are set in restoreDefaults().
constexpr struct {
    int index;
    quint32 value;
} kDefaults[] = {
    {VAR_VERI, 0x0102}, {VAR_VERK, 0x0104}, {VAR_VERS, 0x0211}, {VAR_VERV, 8},    {VAR_VERUPD, 123},
    {VAR_ICHM, 1},      {VAR_ICHNM, 1},     {VAR_UNITy, 2700},  {VAR_HPOS, 128},  {VAR_VPOS, 128},
    {VAR_HSIZ, 128},    {VAR_VSIZ, 128},    {VAR_BRGT, 128},    {VAR_CONTR, 128}, {VAR_COLOR, 128},
    {VAR_HUE, 128},     {VAR_OFMTM, 1},     {VAR_ACHANM, 1},    {VAR_REFREQ, 1},  {VAR_PCHAN, 1},
    {VAR_EPD, 1},       {VAR_TAKEEVA, 1},   {VAR_OSYNCTIME, 1}, {VAR_OTYPEM, 1},  {VAR_PADIP, 1},
};

// Picture adjustments that the one-shot commands put back.
constexpr int kPictureVars[] = {VAR_HPOS, VAR_VPOS,  VAR_HSIZ,  VAR_VSIZ,
                                VAR_BRGT, VAR_CONTR, VAR_COLOR, VAR_HUE};
constexpr int kCentreVars[] = {VAR_HPOS, VAR_VPOS};

// The measurement variables in reporting order, matched with the fields of a signal.
constexpr int kMeasurementVars[] = {VAR_ILDM,   VAR_ILSDM,  VAR_IFDM,  VAR_IFSDM, VAR_IPSIGM, VAR_IHPOLM,
                                    VAR_IVPOLM, VAR_ISYNCM, VAR_IINTM, VAR_IOORM, VAR_IFAMM};

constexpr int kPerInputVars[] = {VAR_PENA, VAR_PRGBI, VAR_PISTD, VAR_PPROC};
constexpr int kOctetVars[] = {VAR_IP4, VAR_IP3, VAR_IP2, VAR_IP1};

// Reference frequency (1/100 Hz) by input format family, and the internal rates by ORATEM.
constexpr quint32 kFamilyRate[] = {0, 0, 5994, 5000, 5000, 5000, 6000, 5000, 6000, 5000, 6000, 0};
constexpr quint32 kInternalRate[] = {5000, 6000, 7200, 7500};

// Signal types each input accepts, as bit masks of PRGBI codes (the last input is the computer input).
constexpr quint32 kTypesOrlan[] = {1u << 0, 1u << 0 | 1u << 1, 1u << 7};
constexpr quint32 kTypesPlus[] = {1u << 0, 1u << 0, 0x3Cu, 1u << 0 | 1u << 1, 1u << 7};
constexpr quint32 kTypesC[] = {0x3Fu, 1u << 7};
constexpr quint32 kDefaultTypesOrlan[] = {0, 1, 7};
constexpr quint32 kDefaultTypesPlus[] = {0, 0, 2, 1, 7};
constexpr quint32 kDefaultTypesC[] = {0, 7};

} // namespace

ScalerState::ScalerState(int model) : m_model(isKnownModel(model) ? model : 33) {
    restoreDefaults();
}

bool ScalerState::isKnownModel(int model) {
    return model >= 0 && Models::IsKnownModel(uint32_t(model));
}

int ScalerState::inputCountOf(int model) {
    return model < 0 ? 0 : Models::InputCount(uint32_t(model));
}

bool ScalerState::hasLan() const {
    return (m_v[VAR_OPT] & 2u) != 0;
}

void ScalerState::restoreDefaults() {
    m_v.fill(0);
    for (const auto &d : kDefaults)
        m_v[std::size_t(d.index)] = d.value;

    const int n = inputCount();
    const quint32 *types = m_model == 32   ? kDefaultTypesOrlan
                           : m_model == 40 ? kDefaultTypesC
                                           : kDefaultTypesPlus;
    // Composite PAL on input 1 (15.625 kHz, 50 Hz interlaced), a computer at 1024x768 60 Hz on the
    // last input, YUV 50 Hz on the Plus's third input, nothing on the others.
    const Signal pal{1, 1728, 3, 312, 1, 0, 0, 3, 1, 0, 3};
    const Signal yuv{1, 1728, 3, 312, 1, 0, 0, 2, 1, 0, 7};
    const Signal xga{1, 558, 2, 806, 1, 0, 0, 0, 0, 0, 11};
    for (int i = 1; i <= kMaxInputs; ++i) {
        PerInput &in = m_inputs[std::size_t(i)];
        in = PerInput{};
        if (i > n) continue;
        in.type = types[i - 1];
        in.signal = i == 1 ? pal : i == n ? xga : (m_model == 33 && i == 3) ? yuv : Signal{};
    }

    for (auto &slot : m_octets)
        slot.fill(0);
    m_ports.fill(0);
    if (m_model == 33) {
        m_v[VAR_OPT] = 2;
        m_v[VAR_OTYPEM] = 3;
        m_v[VAR_LANENABLE] = 1;
        m_v[VAR_TCPIP] = 1;
        m_v[VAR_NETMASK] = 8;
        m_octets[1] = {192, 168, 0, 10};
        m_octets[2] = {192, 168, 0, 1};
        m_octets[3] = {192, 168, 0, 254};
        m_ports[1] = 10500;
        m_ports[2] = 10500;
    }
    m_debug.fill(0);

    const std::size_t pchan = m_v[VAR_PCHAN];
    m_v[VAR_PENA] = m_inputs[pchan].enabled;
    m_v[VAR_PRGBI] = m_inputs[pchan].type;
    m_v[VAR_PISTD] = m_inputs[pchan].standard;
    m_v[VAR_PPROC] = m_inputs[pchan].vcr;
    loadMeasurements(int(m_v[VAR_ICHM]));
    updateReference();
    m_factory = m_v;
}

void ScalerState::useLongValues() {
    m_longValues = true;
    m_v[VAR_VERI] = 305419896;
    m_v[VAR_VERK] = 4294967295u;
    m_v[VAR_VERS] = 2882400001u;
    m_v[VAR_VERUPD] = 4000000000u;
    m_v[VAR_COLOR] = quint32(-5);
    for (std::size_t i = 0; i < m_debug.size(); ++i)
        m_debug[i] = 4000000000u + quint32(i);
    m_v[VAR_DATADBG] = m_debug[m_v[VAR_ADDRDBG] % kDebugRegisters];
    m_factory = m_v;
}

void ScalerState::useOddValues() {
    m_v[VAR_OTYPEM] = 0; // "unchanged"
    m_v[VAR_ACHANM] = 0; // no channel
    m_v[VAR_AMODEM] = 2; // automatic, but not the code a host writes
    if (!m_longValues) m_v[VAR_COLOR] = quint32(-5);
    // Code 4 is UXGA on the Orlan and the Orlan C only, code 5 on the Orlan Plus only: the other one has
    // no place in the model's format list. Rate 4 lies at the end of the long rate list and beyond the
    // short one; the rate reference is switched to the internal rate so that the rate counts.
    m_v[VAR_OFMTM] = m_model == 33 ? 4 : 5;
    m_v[VAR_ORATEM] = 4;
    m_v[VAR_REFREQ] = 0;
    updateReference();
    m_factory = m_v;
}

QByteArray ScalerState::line(int index, quint32 value) const {
    const Row &row = kRows[index];
    QByteArray text(row.reply);
    if (row.kind == Kind::I32 && !m_longValues)
        text += QByteArray::number(qint32(value));
    else
        text += QByteArray::number(value);
    return text;
}

QByteArray ScalerState::replyLine(int index) const {
    return line(index, value(index));
}

int ScalerState::addressedSlotFirst() const {
    return m_v[VAR_PADIP] == 0 ? 1 : int(m_v[VAR_PADIP]);
}
int ScalerState::addressedSlotLast() const {
    return m_v[VAR_PADIP] == 0 ? kSlots : int(m_v[VAR_PADIP]);
}

quint32 ScalerState::value(int index) const {
    if (index < 0 || index >= VAR_COUNT) return 0;
    const int slot = addressedSlotFirst();
    if (index >= VAR_IP4 && index <= VAR_IP1)
        return slot <= kSlots ? m_octets[std::size_t(slot)][std::size_t(index - VAR_IP4)] : 0;
    if (index == VAR_PORT) return slot < kSlots ? m_ports[std::size_t(slot)] : 0;
    return m_v[std::size_t(index)];
}

quint32 *ScalerState::perInputField(int input, int index) {
    return const_cast<quint32 *>(std::as_const(*this).perInputField(input, index));
}

const quint32 *ScalerState::perInputField(int input, int index) const {
    const PerInput &in = m_inputs[std::size_t(input)];
    switch (index) {
    case VAR_PENA:
        return &in.enabled;
    case VAR_PRGBI:
        return &in.type;
    case VAR_PISTD:
        return &in.standard;
    default:
        return &in.vcr;
    }
}

quint32 ScalerState::inputValue(int index, int input) const {
    if (input < 1 || input > inputCount() ||
        std::find(std::begin(kPerInputVars), std::end(kPerInputVars), index) == std::end(kPerInputVars))
        return 0;
    return *perInputField(input, index);
}

QString ScalerState::address(int slot) const {
    if (slot < 1 || slot > kSlots) return {};
    const auto &o = m_octets[std::size_t(slot)];
    return QStringLiteral("%1.%2.%3.%4").arg(o[0]).arg(o[1]).arg(o[2]).arg(o[3]);
}

quint16 ScalerState::port(int slot) const {
    return slot >= 1 && slot < kSlots ? quint16(m_ports[std::size_t(slot)]) : 0;
}

quint32 ScalerState::debugRegister(int address) const {
    return address >= 0 && address < kDebugRegisters ? m_debug[std::size_t(address)] : 0;
}

bool ScalerState::typeAllowed(int input, quint32 type) const {
    const quint32 *masks = m_model == 32 ? kTypesOrlan : m_model == 40 ? kTypesC : kTypesPlus;
    return input >= 1 && input <= inputCount() && type < 32 && (masks[input - 1] & (1u << type)) != 0;
}

void ScalerState::loadMeasurements(int input) {
    if (input < 1 || input > inputCount()) return;
    const Signal &s = m_inputs[std::size_t(input)].signal;
    const quint32 fields[] = {s.lineDuration, s.lineSub, s.frameDuration, s.frameSub,   s.present, s.hPol,
                              s.vPol,         s.sync,    s.interlaced,    s.outOfRange, s.family};
    for (std::size_t i = 0; i < std::size(kMeasurementVars); ++i)
        m_v[std::size_t(kMeasurementVars[i])] = fields[i];
}

void ScalerState::updateReference() {
    const int in = int(m_v[VAR_ICHM]);
    const bool computer = in >= 1 && in <= inputCount() && m_inputs[std::size_t(in)].type == 7;
    const quint32 family = m_v[VAR_IFAMM];
    // The output follows the input only when asked to and when the input carries a usable video signal.
    if (m_v[VAR_REFREQ] == 1 && m_v[VAR_IPSIGM] && !m_v[VAR_IOORM] && !computer &&
        family < std::size(kFamilyRate) && kFamilyRate[family] != 0) {
        m_v[VAR_REFSTA] = 1;
        m_v[VAR_REFFAM] = family;
        m_v[VAR_REFFRQ] = kFamilyRate[family];
    } else {
        m_v[VAR_REFSTA] = 0;
        m_v[VAR_REFFAM] = 0;
        m_v[VAR_REFFRQ] = kInternalRate[std::min<quint32>(m_v[VAR_ORATEM], 3)];
    }
}

void ScalerState::appendMeasurements(QList<QByteArray> &out) const {
    out << replyLine(VAR_UNITy);
    for (int index : kMeasurementVars)
        out << replyLine(index);
}

void ScalerState::appendReference(QList<QByteArray> &out) const {
    out << replyLine(VAR_REFSTA) << replyLine(VAR_REFFAM) << replyLine(VAR_REFFRQ);
}

Outcome ScalerState::execute(const SimCommand &cmd) {
    Outcome o;
    const int index = indexOfCommand(cmd.mnemonic);
    if (index < 0 || index == VAR_DEV) return o;
    if (isLanVariable(index) && !hasLan()) // no LAN module: nothing answers
        return o;
    if (index == VAR_queryall) {
        o.replies = dump();
        return o;
    }
    const VarRule &rule = ruleOf(index);
    // A mnemonic without a value, or a command for a measured variable, only asks for the value.
    if (!cmd.hasValue || rule.rule == Rule::Query) {
        o.replies << replyLine(index);
        return o;
    }

    const quint32 v = cmd.value;
    const quint32 before = value(index);
    quint32 &slot = m_v[std::size_t(index)];
    switch (rule.rule) {
    case Rule::Clamp:
        slot = std::clamp(v, rule.min, rule.max);
        break;
    case Rule::Reject:
        if (v >= rule.min && v <= rule.max) slot = v;
        break;
    case Rule::Flag:
        slot = v != 0;
        break;
    case Rule::Query:
        break;
    case Rule::Special:
        switch (index) {
        case VAR_ADDRDBG:
            if (v <= rule.max) slot = v;
            m_v[VAR_DATADBG] = m_debug[std::size_t(slot) % kDebugRegisters];
            o.replies << replyLine(VAR_ADDRDBG) << replyLine(VAR_DATADBG);
            return o;
        case VAR_DATADBG:
            slot = v;
            m_debug[std::size_t(m_v[VAR_ADDRDBG]) % kDebugRegisters] = v;
            break;
        case VAR_FRESET:
            return factoryReset(v);
        case VAR_ICHNM:
            return selectInput(v);
        case VAR_OFMTM: {
            // Code 4 is UXGA on the Orlan and the Orlan C, code 5 on the Orlan Plus.
            const bool valid = v <= 10 && v != (m_model == 33 ? 4u : 5u);
            if (valid) slot = v;
            o.replies << replyLine(VAR_OFMTM);
            if (m_model == 33 && slot == 5 && m_v[VAR_ORATEM] > 1) { // UXGA cannot run at 72 or 75 Hz
                m_v[VAR_ORATEM] = 1;
                updateReference();
                o.replies << replyLine(VAR_ORATEM);
                appendReference(o.replies);
            }
            o.settingsChanged = slot != before;
            return o;
        }
        case VAR_ORATEM: {
            const quint32 max = (m_model == 33 && m_v[VAR_OFMTM] != 5) ? 3 : 1;
            if (v <= max) slot = v;
            updateReference();
            o.replies << replyLine(VAR_ORATEM);
            appendReference(o.replies);
            o.settingsChanged = slot != before;
            return o;
        }
        case VAR_ACHANM:
            if (v <= quint32(inputCount())) slot = v;
            break;
        case VAR_REFREQ:
            if (v <= 1) slot = v;
            updateReference();
            o.replies << replyLine(VAR_REFREQ);
            appendReference(o.replies);
            o.settingsChanged = slot != before;
            return o;
        case VAR_FASHOW:
            slot = v != 0;
            m_v[VAR_FASTAT] = slot && m_v[VAR_FAREC];
            o.replies << replyLine(VAR_FASHOW) << replyLine(VAR_FASTAT);
            return o;
        case VAR_PCHAN:
            if (v <= quint32(inputCount())) {
                slot = v;
                if (v >= 1)
                    for (int var : kPerInputVars)
                        m_v[std::size_t(var)] = *perInputField(int(v), var);
            }
            break;
        case VAR_PENA:
        case VAR_PRGBI:
        case VAR_PISTD:
        case VAR_PPROC:
            return setPerInput(index, v);
        case VAR_PRESETM:
        case VAR_ERAPOS:
            return restorePicture(index, v, kPictureVars, int(std::size(kPictureVars)));
        case VAR_AUTOCAD:
            return restorePicture(index, v, kCentreVars, int(std::size(kCentreVars)));
        case VAR_FAEXEC:
            return setFrameExec(v);
        case VAR_IP4:
        case VAR_IP3:
        case VAR_IP2:
        case VAR_IP1:
            return setOctet(index, v);
        case VAR_PORT:
            return setPort(v);
        default:
            break;
        }
        break;
    }
    o.replies << replyLine(index);
    o.settingsChanged = rule.persistent && value(index) != before;
    return o;
}

Outcome ScalerState::setPerInput(int index, quint32 v) {
    Outcome o;
    if (index == VAR_PENA || index == VAR_PPROC) v = v != 0;
    const int n = inputCount();
    const int p = int(m_v[VAR_PCHAN]);
    const int first = p == 0 ? 1 : p;
    const int last = p == 0 ? n : p;
    bool accepted = false;
    bool changed = false;
    for (int in = first; in <= last && in <= n; ++in) {
        const bool valid = index == VAR_PRGBI ? typeAllowed(in, v) : v <= ruleOf(index).max;
        if (!valid) continue;
        quint32 *field = perInputField(in, index);
        changed = changed || *field != v;
        *field = v;
        accepted = true;
    }
    if (accepted)
        m_v[std::size_t(index)] = v;
    else if (p >= 1 && p <= n)
        m_v[std::size_t(index)] = *perInputField(p, index);
    o.replies << replyLine(index);
    o.settingsChanged = changed;
    return o;
}

Outcome ScalerState::setOctet(int index, quint32 v) {
    Outcome o;
    const std::size_t column = std::size_t(index - VAR_IP4);
    if (v <= 255)
        for (int s = addressedSlotFirst(); s <= std::min(addressedSlotLast(), int(kSlots)); ++s)
            m_octets[std::size_t(s)][column] = v;
    o.replies << replyLine(index);
    return o;
}

Outcome ScalerState::setPort(quint32 v) {
    Outcome o;
    const int padip = int(m_v[VAR_PADIP]);
    if (padip >= kSlots) // the gateway has no port
        return o;
    if (v <= 65535) {
        if (padip == 0 || padip == 1) m_ports[1] = v;
        if (padip == 0 || padip == 2) m_ports[2] = v;
    }
    o.replies << replyLine(VAR_PORT);
    return o;
}

Outcome ScalerState::selectInput(quint32 v) {
    Outcome o;
    const quint32 before = m_v[VAR_ICHM];
    const quint32 input = std::clamp<quint32>(v, 1, quint32(inputCount()));
    m_v[VAR_ICHNM] = input;
    m_v[VAR_ICHM] = input;
    m_v[VAR_TAKEEVA] = 0;
    loadMeasurements(int(input));
    updateReference();
    o.replies << replyLine(VAR_ICHNM) << replyLine(VAR_TAKEEVA) << replyLine(VAR_ICHM);
    appendMeasurements(o.replies);
    appendReference(o.replies);
    o.inputTaken = true;
    o.settingsChanged = input != before;
    return o;
}

void ScalerState::startOnInput(int input) {
    selectInput(quint32(input));
    m_v[VAR_TAKEEVA] = 1;
}

QList<QByteArray> ScalerState::finishTake() {
    if (m_v[VAR_TAKEEVA] == 1) return {};
    m_v[VAR_TAKEEVA] = 1;
    return {replyLine(VAR_TAKEEVA)};
}

Outcome ScalerState::restorePicture(int index, quint32 v, const int *vars, int count) {
    Outcome o;
    m_v[std::size_t(index)] = 0;
    if (v == 0) {
        o.replies << replyLine(index);
        return o;
    }
    // A one-shot: it reports itself active, the values it put back, then itself done.
    o.replies << line(index, 1);
    for (int i = 0; i < count; ++i) {
        const std::size_t var = std::size_t(vars[i]);
        m_v[var] = m_factory[var];
        o.replies << replyLine(vars[i]);
    }
    o.replies << replyLine(index);
    o.settingsChanged = true;
    return o;
}

Outcome ScalerState::factoryReset(quint32 v) {
    Outcome o;
    if (v == 0) {
        o.replies << replyLine(VAR_FRESET);
        return o;
    }
    // The LAN module and the debug registers keep their settings.
    std::array<quint32, 88> saved = m_v;
    const auto octets = m_octets;
    const auto ports = m_ports;
    const auto debug = m_debug;
    restoreDefaults();
    for (int i = VAR_LANENABLE; i <= VAR_TCPIP; ++i)
        m_v[std::size_t(i)] = saved[std::size_t(i)];
    m_v[VAR_ADDRDBG] = saved[VAR_ADDRDBG];
    m_v[VAR_DATADBG] = saved[VAR_DATADBG];
    m_octets = octets;
    m_ports = ports;
    m_debug = debug;

    o.replies << line(VAR_FRESET, 1);
    o.replies << dump();
    o.replies << replyLine(VAR_FRESET);
    o.settingsChanged = true;
    return o;
}

Outcome ScalerState::setFrameExec(quint32 v) {
    Outcome o;
    m_v[VAR_FAEXEC] = v != 0;
    o.replies << replyLine(VAR_FAEXEC);
    // Recording (mode 1) and deleting (mode 3) take a moment; other modes wait for the host.
    o.frameJobStarted = v != 0 && (m_v[VAR_FAMODEM_] == 1 || m_v[VAR_FAMODEM_] == 3);
    // Mode 2 with transfer mode 0 is a raw upload from the host.
    o.uploadStarted = v != 0 && m_v[VAR_FAMODEM_] == 2 && m_v[VAR_FATRMODE] == 0;
    return o;
}

void ScalerState::finishUpload(bool stored) {
    m_v[VAR_FAEXEC] = 0;
    if (stored) m_v[VAR_FAREC] = 1;
}

QList<QByteArray> ScalerState::finishFrameJob() {
    QList<QByteArray> out;
    if (!m_v[VAR_FAEXEC]) return out;
    if (m_v[VAR_FAMODEM_] == 1) {
        m_v[VAR_FAREC] = 1;
        out << replyLine(VAR_FAREC);
    } else if (m_v[VAR_FAMODEM_] == 3) {
        m_v[VAR_FAREC] = 0;
        m_v[VAR_FASHOW] = 0;
        m_v[VAR_FASTAT] = 0;
        out << replyLine(VAR_FAREC) << replyLine(VAR_FASHOW) << replyLine(VAR_FASTAT);
    } else {
        return out;
    }
    m_v[VAR_FAEXEC] = 0;
    out << replyLine(VAR_FAEXEC);
    return out;
}

QList<QByteArray> ScalerState::beginStore() {
    m_v[VAR_STORE] = 1;
    return {replyLine(VAR_STORE)};
}

QList<QByteArray> ScalerState::endStore() {
    m_v[VAR_STORE] = 0;
    return {replyLine(VAR_STORE)};
}

QByteArray ScalerState::setValue(int index, quint32 v) {
    if (index < 0 || index >= VAR_COUNT) return {};
    if (kRows[index].kind == Kind::BOOL) v &= 0xFF;
    const std::size_t i = std::size_t(index);
    if (index >= VAR_IP4 && index <= VAR_IP1) {
        setOctet(index, v);
    } else if (index == VAR_PORT) {
        setPort(v);
    } else if (std::find(std::begin(kPerInputVars), std::end(kPerInputVars), index) !=
               std::end(kPerInputVars)) {
        const int p = int(m_v[VAR_PCHAN]);
        for (int in = p == 0 ? 1 : p; in <= (p == 0 ? inputCount() : p) && in <= inputCount(); ++in)
            *perInputField(in, index) = v;
        m_v[i] = v;
    } else {
        m_v[i] = v;
        if (index == VAR_DATADBG) m_debug[std::size_t(m_v[VAR_ADDRDBG]) % kDebugRegisters] = v;
        // A measurement belongs to the selected input and stays with it.
        const int in = int(m_v[VAR_ICHM]);
        const auto *m = std::find(std::begin(kMeasurementVars), std::end(kMeasurementVars), index);
        if (m != std::end(kMeasurementVars) && in >= 1 && in <= inputCount()) {
            Signal &s = m_inputs[std::size_t(in)].signal;
            quint32 *fields[] = {&s.lineDuration, &s.lineSub,    &s.frameDuration, &s.frameSub,
                                 &s.present,      &s.hPol,       &s.vPol,          &s.sync,
                                 &s.interlaced,   &s.outOfRange, &s.family};
            *fields[m - std::begin(kMeasurementVars)] = v;
        }
    }
    return replyLine(index);
}

QList<QByteArray> ScalerState::dump() {
    QList<QByteArray> out;
    auto add = [&](std::initializer_list<int> vars) {
        for (int var : vars)
            out << replyLine(var);
    };
    add({VAR_VERI, VAR_VERK, VAR_VERS, VAR_VERV, VAR_VERUPD, VAR_OPT, VAR_ICHNM, VAR_ICHM, VAR_IPMODEM});
    appendMeasurements(out);
    if (m_resetDump) {
        // A scaler after a reset reports the per-input settings once, for all inputs, with the values of
        // its first input; what each input holds stays as it is.
        m_v[VAR_PCHAN] = 0;
        out << replyLine(VAR_PCHAN);
        for (int var : kPerInputVars) {
            m_v[std::size_t(var)] = *perInputField(1, var);
            out << replyLine(var);
        }
    } else {
        for (int in = 1; in <= inputCount(); ++in) {
            m_v[VAR_PCHAN] = quint32(in);
            out << replyLine(VAR_PCHAN);
            for (int var : kPerInputVars) {
                m_v[std::size_t(var)] = *perInputField(in, var);
                out << replyLine(var);
            }
        }
    }
    add({VAR_HPOS, VAR_VPOS, VAR_HSIZ, VAR_VSIZ, VAR_BRGT, VAR_CONTR, VAR_COLOR, VAR_HUE, VAR_PROC, VAR_OVER,
         VAR_IASP, VAR_EPD, VAR_IFRZM});
    add({VAR_OFMTM, VAR_ORATEM, VAR_OSYNCM, VAR_OBLACK, VAR_OASP, VAR_OSCREENM, VAR_OTYPEM, VAR_OSYNCTIME,
         VAR_OPAT});
    add({VAR_REFREQ, VAR_REFSTA, VAR_REFFAM, VAR_REFFRQ, VAR_ACHANM, VAR_AMODEM});
    add({VAR_FAREC, VAR_FAAUTO, VAR_FASHOW, VAR_FASTAT, VAR_FAMODEM_, VAR_FAEXEC, VAR_FANUMBER,
         VAR_FATRMODE});
    add({VAR_LOCK, VAR_STBTIME, VAR_STANDBY, VAR_TAKEEVA, VAR_STORE, VAR_FRESET, VAR_PRESETM, VAR_ERAPOS,
         VAR_AUTOCAD});
    if (hasLan()) {
        add({VAR_LANENABLE, VAR_LANRESET, VAR_LANSTORE, VAR_DHCPENABLE, VAR_TCPIP, VAR_NETMASK});
        for (int s = 1; s <= kSlots && !m_resetDump; ++s) {
            m_v[VAR_PADIP] = quint32(s);
            add({VAR_PADIP, VAR_IP4, VAR_IP3, VAR_IP2, VAR_IP1});
            if (s < kSlots) add({VAR_PORT});
        }
    }
    add({VAR_ADDRDBG, VAR_DATADBG});
    return out;
}

} // namespace OxsSim
