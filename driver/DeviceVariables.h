#pragma once

// The scaler's device variables: one row per variable, in variable index order.
// The order is part of the wire format: the receive parser tries the reply mnemonics in this order.
//
// Columns: index, property, reply mnemonic, command mnemonic, value kind, access, event stem.
//   kind:   U32, I32, BOOL (low 8 bits kept), OCTET (address octet, decoded into the address store),
//           PORT (decoded into LOCAL_PORT/REMOTE_PORT), NETMASK (host bits, decoded into a dotted quad)
//   access: SET (the setter sends value + command mnemonic), REPORT (scaler only), LOCAL (assigned locally,
//           never sent), WRITEONLY (sends, keeps nothing), SPECIAL (setters written by hand)
//   event:  the event is On<stem>change; NOEVENT for the octet and port rows, which raise none
#define OXS_DEVICE_VARIABLES(X)                                                                              \
    X(0, ADDRDBG, "ADBG", "@", U32, SET, ADDRDBG)                                                            \
    X(1, DATADBG, "DDBG", ">", U32, SET, DATADBG)                                                            \
    X(2, DEV, "DEV", "?", U32, LOCAL, DEV)                                                                   \
    X(3, UNITy, "UNIT", "U", U32, REPORT, UNITy)                                                             \
    X(4, VERI, "I_", "xI", U32, REPORT, VERI)                                                                \
    X(5, VERK, "K_", "xK", U32, REPORT, VERK)                                                                \
    X(6, VERS, "S_", "xS", U32, REPORT, VERS)                                                                \
    X(7, VERV, "V_", "xV", U32, REPORT, VERV)                                                                \
    X(8, VERUPD, "VERU", "xU", U32, REPORT, VERUPD)                                                          \
    X(9, OPT, "OPT", "yo", U32, REPORT, OPT)                                                                 \
    X(10, FRESET, "FRES", "Y", BOOL, SET, FRESET)                                                            \
    X(11, ICHM, "CH", "CC", U32, REPORT, ICHM)                                                               \
    X(12, ICHNM, "CHN", "CN", U32, SET, ICHNM)                                                               \
    X(13, IPMODEM, "PM", "PM", U32, SET, IPMODEM)                                                            \
    X(14, ILDM, "ILD", "IL", U32, REPORT, ILDM)                                                              \
    X(15, ILSDM, "ILSD", "IS", U32, REPORT, ILSDM)                                                           \
    X(16, IFDM, "IFD", "ID", U32, REPORT, IFDM)                                                              \
    X(17, IFSDM, "IFSD", "IT", U32, REPORT, IFSDM)                                                           \
    X(18, IPSIGM, "IPS", "IP", BOOL, REPORT, IPSIGM)                                                         \
    X(19, IHPOLM, "IHP", "IH", BOOL, REPORT, IHPOLM)                                                         \
    X(20, IVPOLM, "IVP", "IV", BOOL, REPORT, IVPOLM)                                                         \
    X(21, ISYNCM, "IST", "IK", U32, REPORT, ISYNCM)                                                          \
    X(22, IINTM, "IIN", "II", BOOL, REPORT, IINTM)                                                           \
    X(23, IOORM, "IOO", "IO", BOOL, REPORT, IOORM)                                                           \
    X(24, IFAMM, "IFA", "IF", U32, REPORT, IFAMM)                                                            \
    X(25, HPOS, "HP", "H", U32, SET, HPOS)                                                                   \
    X(26, VPOS, "VP", "V", U32, SET, VPOS)                                                                   \
    X(27, HSIZ, "HW", "W", U32, SET, HSIZ)                                                                   \
    X(28, VSIZ, "VS", "S", U32, SET, VSIZ)                                                                   \
    X(29, BRGT, "BRG", "B", U32, SET, BRGT)                                                                  \
    X(30, CONTR, "CON", "D", U32, SET, CONTR)                                                                \
    X(31, COLOR, "COL", "O", I32, SET, COLOR)                                                                \
    X(32, HUE, "HUE", "T", U32, SET, HUE)                                                                    \
    X(33, PROC, "PRO", "QP", U32, SET, PROC)                                                                 \
    X(34, OVER, "OVR", "QO", BOOL, SET, OVER)                                                                \
    X(35, IASP, "ASP", "QA", U32, SET, IASP)                                                                 \
    X(36, OFMTM, "OFTM", "FM", U32, SET, OFMTM)                                                              \
    X(37, ORATEM, "ORTM", "oR", U32, SET, ORATEM)                                                            \
    X(38, OSYNCM, "OSYN", "FY", U32, SET, OSYNCM)                                                            \
    X(39, OBLACK, "OBLK", "FO", BOOL, SET, OBLACK)                                                           \
    X(40, OASP, "OASP", "QS", U32, SET, OASP)                                                                \
    X(41, OSCREENM, "SCRM", "FS", U32, SET, OSCREENM)                                                        \
    X(42, ACHANM, "ACH", "RC", U32, SET, ACHANM)                                                             \
    X(43, AMODEM, "AMOD", "RO", U32, SET, AMODEM)                                                            \
    X(44, REFREQ, "REFR", "XR", U32, SET, REFREQ)                                                            \
    X(45, REFSTA, "REFA", "XA", U32, REPORT, REFSTA)                                                         \
    X(46, REFFAM, "REFF", "XF", U32, REPORT, REFFAM)                                                         \
    X(47, REFFRQ, "REFT", "XT", U32, REPORT, REFFRQ)                                                         \
    X(48, FAREC, "FARC", "fR", BOOL, REPORT, FAREC)                                                          \
    X(49, FAAUTO, "FAAU", "fA", BOOL, SET, FAAUTO)                                                           \
    X(50, FASHOW, "FASW", "fs", BOOL, SET, FASHOW)                                                           \
    X(51, FASTAT, "FAST", "fS", BOOL, REPORT, FASTAT)                                                        \
    X(52, PCHAN, "PCH", "PC", U32, SET, PCHAN)                                                               \
    X(53, PENA, "PEN", "PE", BOOL, SET, PENA)                                                                \
    X(54, PRGBI, "PRGB", "PR", U32, SET, PRGBI)                                                              \
    X(55, PISTD, "PSTD", "PI", U32, SET, PISTD)                                                              \
    X(56, PPROC, "PPRC", "PP", BOOL, SET, PPROC)                                                             \
    X(57, STORE, "STO", "yS", BOOL, REPORT, STORE)                                                           \
    X(58, PRESETM, "PRES", "yP", BOOL, SET, PRESETM)                                                         \
    X(59, ERAPOS, "EPOS", "ye", BOOL, SET, ERAPOS)                                                           \
    X(60, AUTOCAD, "ACAD", "yC", BOOL, SET, AUTOCAD)                                                         \
    X(61, IFRZM, "FRZ", "Z", BOOL, SET, IFRZM)                                                               \
    X(62, EPD, "EPD", "QE", BOOL, SET, EPD)                                                                  \
    X(63, TAKEEVA, "TKEV", "ut", BOOL, REPORT, TAKEEVA)                                                      \
    X(64, LOCK, "LOCK", "yl", U32, SET, LOCK)                                                                \
    X(65, OSYNCTIME, "OST", "oT", U32, SET, OSYNCTIME)                                                       \
    X(66, OTYPEM, "OTYP", "oY", U32, SET, OTYPEM)                                                            \
    X(67, STBTIME, "STBT", "sT", U32, SET, STBTIME)                                                          \
    X(68, STANDBY, "STBY", "sS", BOOL, SET, STANDBY)                                                         \
    X(69, FAMODEM_, "FAMD", "fM", U32, SET, FAMODEM)                                                         \
    X(70, FAEXEC, "FAEX", "fX", BOOL, SET, FAEXEC)                                                           \
    X(71, FANUMBER, "FANB", "fN", U32, SET, FANUMBER)                                                        \
    X(72, FATRMODE, "FATM", "fT", U32, SET, FATRMODE)                                                        \
    X(73, OPAT, "OPAT", "oP", BOOL, SET, OPAT)                                                               \
    X(74, LANENABLE, "LANE", "ne", BOOL, SET, LANENABLE)                                                     \
    X(75, LANRESET, "LANR", "nr", BOOL, SET, LANRESET)                                                       \
    X(76, LANSTORE, "LANS", "ns", BOOL, SET, LANSTORE)                                                       \
    X(77, PADIP, "ADIP", "na", U32, SET, PADIP)                                                              \
    X(78, IP4, "IPA_", "nw", OCTET, WRITEONLY, NOEVENT)                                                      \
    X(79, IP3, "IPB_", "nx", OCTET, WRITEONLY, NOEVENT)                                                      \
    X(80, IP2, "IPC_", "ny", OCTET, WRITEONLY, NOEVENT)                                                      \
    X(81, IP1, "IPD_", "nz", OCTET, WRITEONLY, NOEVENT)                                                      \
    X(82, PORT, "PORT", "np", PORT, SPECIAL, NOEVENT)                                                        \
    X(83, NETMASK, "NTMK", "nk", NETMASK, SPECIAL, NETMASK)                                                  \
    X(84, DHCPENABLE, "DHCP", "nd", BOOL, SET, DHCPENABLE)                                                   \
    X(85, TCPIP, "TCP", "nt", BOOL, SET, TCPIP)                                                              \
    X(86, DOLLARS, "$", "$", U32, REPORT, DOLLARS)                                                           \
    X(87, queryall, "#", "#", BOOL, REPORT, QUERYALL)

namespace OrlanVars {

enum Index : int {
#define OXS_INDEX(i, name, reply, cmd, kind, access, ev) VAR_##name = i,
    OXS_DEVICE_VARIABLES(OXS_INDEX)
#undef OXS_INDEX
        VAR_COUNT
};

enum class Kind { U32, I32, BOOL, OCTET, PORT, NETMASK };
enum class Access { SET, REPORT, LOCAL, WRITEONLY, SPECIAL };

struct Row {
    int index;
    const char *property;
    const char *reply;
    const char *command;
    Kind kind;
    Access access;
    bool hasEvent;
};

// The table itself, for code that works on variables by index or by name (parser, simulator, tools).
inline constexpr Row kRows[] = {
#define OXS_ROW(i, name, reply, cmd, kind, access, ev)                                                       \
    {i, #name, reply, cmd, Kind::kind, Access::access, Kind::kind != Kind::OCTET && Kind::kind != Kind::PORT},
    OXS_DEVICE_VARIABLES(OXS_ROW)
#undef OXS_ROW
};
static_assert(sizeof(kRows) / sizeof(kRows[0]) == VAR_COUNT && VAR_COUNT == 88, "88 device variables");

// Index of the row whose property name equals `name` (case-sensitive), or -1.
int indexOfProperty(const char *name);

} // namespace OrlanVars
