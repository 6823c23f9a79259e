#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <functional>

// The window's two kinds of settings file: the connection settings and one input names file per model.
namespace SettingsFiles {

inline constexpr const char *kApplicationTitle = "OXS remote control";
inline constexpr const char *kConnectionSection = "CONNEXION";
inline constexpr const char *kDefaultRemoteIp = "192.168.0.10";
constexpr int kDefaultIpPort = 10500;
constexpr int kSerialEntries = 16; // COM1 to COM16

// Whether the settings files can be created in a folder (creating the folder when needed).
using FolderWritable = std::function<bool(const QString &dir)>;
// Tries it for real: makes the folder and a scratch file in it.
bool CanWriteInFolder(const QString &dir);

// The folder of the settings files: `configDir` when given; else the program's folder while it is
// writable (a copied program folder keeps its settings); else the per-user folder (an installed program,
// e.g. under /usr/bin).
QString ChooseSettingsDir(const QString &configDir, const QString &programDir, const QString &userDir,
                          const FolderWritable &writable = CanWriteInFolder);

// "<dir>/OXS remote control.ini"
QString ConnectionFilePath(const QString &dir);
// "<dir>/<model name>.ini", or the empty text for an unknown model.
QString InputNamesFilePath(const QString &dir, uint32_t dev);

struct ConnectionSettings {
    int port = 0; // 0 = COM1 .. 15 = COM16
    QString remoteIp = QString::fromLatin1(kDefaultRemoteIp);
    int remotePort = kDefaultIpPort;
    int localPort = kDefaultIpPort;
    int ipEnable = 0; // 0 serial, 1 UDP, 2 TCP; other values mean serial
};

struct ConnectionLoad {
    ConnectionSettings settings;
    bool selectPort = false; // no usable settings yet: the operator is asked to select a port
};

// Reads the connection settings. Without a usable "Port" (no file, no key, a value that does not convert,
// an unreadable file) the result asks for a port and falls back to COM1 on the serial link; network
// addresses and ports that were read stay, so that a damaged file does not cost the operator them.
// A "Port" outside 0..15 means COM1. Network ports outside 0..65535 count as absent.
ConnectionLoad ReadConnectionSettings(const QString &path);
// Rewrites the file whole, keys in their fixed order. False when the file could not be replaced.
bool WriteConnectionSettings(const QString &path, const ConnectionSettings &settings);

// The serial device chosen by name (its stable path) rather than as COM1 .. COM16, kept in a file of the
// program's own beside the connection settings ("<dir>/Serial device.ini"); empty when a COM entry is used.
QString SerialDeviceFilePath(const QString &dir);
QString ReadSerialDevice(const QString &path);
bool WriteSerialDevice(const QString &path, const QString &device);

struct InputNames {
    QString black;
    std::array<QString, 5> inputs;
    std::array<QString, 5> audios;
};

QString DefaultInputName(int n); // "Input n"
QString DefaultAudioName(int n); // "Audio n"

// Reads a model's names into `names`: the Black caption and the names of its inputs, absent keys giving
// the defaults. When the file cannot be read, the inputs and audios of the model get the default names
// and the Black caption is left alone; the result is then false. Unknown models read nothing.
bool ReadInputNames(const QString &dir, uint32_t dev, InputNames &names);
// Rewrites the model's file whole. Unknown models write nothing. False when the file could not be
// replaced (the old file then stays).
bool WriteInputNames(const QString &dir, uint32_t dev, const InputNames &names);

} // namespace SettingsFiles
