#include "DebugMnemonics.h"

namespace DebugMnemonics {

namespace {
struct Line {
    const char *command;
    const char *reply;
    const char *description; // UTF-8
};

// clang-format off
constexpr Line kTable[kLines] = {
    {"#",  "#",    "envoi de toutes les variables"},
    {"@",  "ADBG", "pointeur de debogage"},
    {">",  "DDBG", "donnée pointée par ADDRDBG"},
    {"?",  "DEV",  "type d'appareil"},
    {"U",  "UNIT", "base de temps des mesures"},
    {"xi", "I_",   "version I"},
    {"xk", "K_",   "version K"},
    {"xs", "S_",   "version S"},
    {"xv", "V_",   "version V"},
    {"xU", "VERU", "version de l'appareil"},
    {"yo", "OPT",  "options installées"},
    {"Y",  "FRES", "retour aux valeurs par défaut"},
    {"CC", "CH",   "entrée sélectionnée"},
    {"CN", "CHN",  "entrée à sélectionner"},
    {"IL", "ILD",  "durée de ligne mesurée"},
    {"IS", "ILSD", "mesure de ligne secondaire"},
    {"ID", "IFD",  "durée de trame mesurée"},
    {"IT", "IFSD", "mesure de trame secondaire"},
    {"IP", "IPS",  "présence du signal d'entrée"},
    {"IH", "IHP",  "polarité synchro horizontale"},
    {"IV", "IVP",  "polarité synchro verticale"},
    {"IK", "IST",  "type de synchro d'entrée"},
    {"II", "IIN",  "entrée entrelacée"},
    {"IO", "IOO",  "entrée hors plage"},
    {"IF", "IFA",  "famille du format d'entrée"},
    {"H",  "HP",   "position horizontale"},
    {"V",  "VP",   "position verticale"},
    {"W",  "HW",   "taille horizontale"},
    {"S",  "VS",   "taille verticale"},
    {"B",  "BRG",  "luminosité"},
    {"D",  "CON",  "contraste"},
    {"O",  "COL",  "saturation de la couleur"},
    {"T",  "HUE",  "teinte"},
    {"QP", "PRO",  "niveau de traitement d'image"},
    {"QO", "OVR",  "underscan / overscan"},
    {"QA", "ASP",  "rapport d'aspect d'entrée"},
    {"FM", "OFTM", "format de sortie"},
    {"oR", "ORTM", "fréquence de sortie"},
    {"FY", "OSYN", "type de synchro de sortie"},
    {"FO", "OBLK", "sortie au noir"},
    {"QS", "OASP", "rapport d'aspect de sortie"},
    {"FS", "SCRM", "réglage écran de sortie"},
    {"RC", "ACH",  "canal audio"},
    {"RO", "AMOD", "mode audio"},
    {"XR", "REFR", "demande de référence de fréquence"},
    {"XA", "REFA", "référence de fréquence active"},
    {"XF", "REFF", "famille du signal de référence"},
    {"XT", "REFT", "fréquence de référence"},
    {"PC", "PCH",  "entrée adressée"},
    {"PE", "PEN",  "entrée utilisée"},
    {"PR", "PRGB", "type de signal de l'entrée"},
    {"PI", "PSTD", "standard vidéo de l'entrée"},
    {"PP", "PPRC", "mode magnétoscope de l'entrée"},
    {"yS", "STO",  "mémorisation en cours"},
    {"yP", "PRES", "préréglage de l'image"},
    {"ye", "EPOS", "effacement des mémoires"},
    {"yC", "ACAD", "centrage automatique"},
    {"Z",  "FRZ",  "gel de l'image"},
    {"QE", "EPD",  "détection pull-down automatique"},
    {"ut", "TKEV", "évènement de prise"},
    {"yl", "LOCK", "verrouillage des touches"},
    {"oT", "OST",  "délai de noir en sortie"},
    {"oY", "OTYP", "type de sortie"},
    {"sT", "STBT", "minuterie de veille"},
    {"sS", "STBY", "veille"},
    {"oP", "OPAT", "mire de sortie"},
    {"ne", "LANE", "module réseau actif"},
    {"nr", "LANR", "réinitialisation du module réseau"},
    {"ns", "LANS", "mémorisation des réglages réseau"},
    {"na", "ADIP", "adresse réseau visée"},
    {"nw", "IPA_", "premier octet de l'adresse"},
    {"nx", "IPB_", "deuxième octet de l'adresse"},
    {"ny", "IPC_", "troisième octet de l'adresse"},
    {"nz", "IPD_", "quatrième octet de l'adresse"},
    {"np", "PORT", "port UDP/TCP"},
    {"nk", "NTMK", "masque de sous-réseau"},
    {"nd", "DHCP", "DHCP actif"},
    {"nt", "TCP",  "service TCP actif"},
    {"fM", "FAMD", "Mode d'utilisation de la frame alert"},
    {"fX", "FAEX", "exécution de la frame alert"},
    {"fR", "FARC", "trame enregistrée"},
    {"fN", "FANB", "numéro de la trame"},
    {"fA", "FAAU", "affichage automatique de la trame"},
    {"fs", "FASW", "affichage de la trame"},
    {"fF", "FAIF", "format d'entrée de la frame alert"},
    {"fE", "FAER", "effacement de la frame alert"},
    {"fT", "FATM", "mode de transfert de trame"},
    {"fS", "FAST", "état de la frame alert"},
};
// clang-format on
} // namespace

QStringList lines() {
    QStringList out;
    for (const Line &l : kTable)
        out << QString::fromLatin1(l.command).leftJustified(kCommandWidth) +
                   QString::fromLatin1(l.reply).leftJustified(kReplyWidth) + QString::fromUtf8(l.description);
    return out;
}

Entry entryOf(const QString &line) {
    const QStringList words = line.split(u' ', Qt::SkipEmptyParts);
    return {words.value(0), words.value(1)};
}

} // namespace DebugMnemonics
