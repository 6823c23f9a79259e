#include "SettingsFiles.h"

#include "Models.h"
#include "ProfileFile.h"

#include <QDir>
#include <QTemporaryFile>

namespace SettingsFiles {

namespace {

const QString kSection = QString::fromLatin1(kConnectionSection);

int readPortNumber(const ProfileReader &ini, const char *key, int def) {
    const int v = ini.readInteger(kSection, QString::fromLatin1(key), def);
    return v >= 0 && v <= 65535 ? v : def;
}

} // namespace

bool CanWriteInFolder(const QString &dir) {
    if (dir.isEmpty() || !QDir().mkpath(dir)) return false;
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral(".write-test-XXXXXX")));
    return probe.open();
}

QString ChooseSettingsDir(const QString &configDir, const QString &programDir, const QString &userDir,
                          const FolderWritable &writable) {
    if (!configDir.isEmpty()) return configDir;
    return writable(programDir) ? programDir : userDir;
}

QString ConnectionFilePath(const QString &dir) {
    return QDir(dir).filePath(QString::fromLatin1(kApplicationTitle) + QLatin1String(".ini"));
}

QString SerialDeviceFilePath(const QString &dir) {
    return QDir(dir).filePath(QStringLiteral("Serial device.ini"));
}

QString ReadSerialDevice(const QString &path) {
    return ProfileReader(path).readString(QStringLiteral("Serial"), QStringLiteral("Device"), QString());
}

bool WriteSerialDevice(const QString &path, const QString &device) {
    ProfileWriter profile(path);
    profile.writeString(QStringLiteral("Serial"), QStringLiteral("Device"), device);
    return profile.commit();
}

QString InputNamesFilePath(const QString &dir, uint32_t dev) {
    const QString name = Models::ModelName(dev);
    return name.isEmpty() ? QString() : QDir(dir).filePath(name + QLatin1String(".ini"));
}

ConnectionLoad ReadConnectionSettings(const QString &path) {
    ConnectionLoad load;
    ConnectionSettings &s = load.settings;
    const ProfileReader ini(path);
    if (!ini.readable()) {
        load.selectPort = true;
        return load;
    }
    const int port = ini.readInteger(kSection, QStringLiteral("Port"), -1);
    s.remoteIp = ini.readString(kSection, QStringLiteral("REMOTE_IP"), s.remoteIp);
    s.remotePort = readPortNumber(ini, "REMOTE_PORT_ENTRY", kDefaultIpPort);
    s.localPort = readPortNumber(ini, "LOCAL_PORT_ENTRY", kDefaultIpPort);
    s.ipEnable = ini.readInteger(kSection, QStringLiteral("IP_ENABLE"), 0);
    if (port == -1) {
        load.selectPort = true;
        s.port = 0;
        s.ipEnable = 0;
    } else {
        s.port = port >= 0 && port < kSerialEntries ? port : 0;
    }
    return load;
}

bool WriteConnectionSettings(const QString &path, const ConnectionSettings &s) {
    ProfileWriter ini(path);
    ini.writeInteger(kSection, QStringLiteral("Port"), s.port);
    ini.writeString(kSection, QStringLiteral("REMOTE_IP"), s.remoteIp);
    ini.writeInteger(kSection, QStringLiteral("REMOTE_PORT_ENTRY"), s.remotePort);
    ini.writeInteger(kSection, QStringLiteral("LOCAL_PORT_ENTRY"), s.localPort);
    ini.writeInteger(kSection, QStringLiteral("IP_ENABLE"), s.ipEnable);
    return ini.commit();
}

QString DefaultInputName(int n) {
    return QStringLiteral("Input %1").arg(n);
}
QString DefaultAudioName(int n) {
    return QStringLiteral("Audio %1").arg(n);
}

bool ReadInputNames(const QString &dir, uint32_t dev, InputNames &names) {
    const int count = Models::InputCount(dev);
    if (count == 0) return false;
    const QString section = Models::ModelName(dev);
    const ProfileReader ini(InputNamesFilePath(dir, dev));
    if (!ini.readable()) {
        for (int n = 1; n <= count; ++n) {
            names.inputs[n - 1] = DefaultInputName(n);
            names.audios[n - 1] = DefaultAudioName(n);
        }
        return false;
    }
    names.black = ini.readString(section, QStringLiteral("Black"), QStringLiteral("Black"));
    for (int n = 1; n <= count; ++n) {
        names.inputs[n - 1] = ini.readString(section, QStringLiteral("Input%1").arg(n), DefaultInputName(n));
        names.audios[n - 1] = ini.readString(section, QStringLiteral("Audio%1").arg(n), DefaultAudioName(n));
    }
    return true;
}

bool WriteInputNames(const QString &dir, uint32_t dev, const InputNames &names) {
    const int count = Models::InputCount(dev);
    if (count == 0) return false;
    const QString section = Models::ModelName(dev);
    ProfileWriter ini(InputNamesFilePath(dir, dev));
    ini.writeString(section, QStringLiteral("Black"), names.black);
    for (int n = 1; n <= count; ++n) {
        ini.writeString(section, QStringLiteral("Input%1").arg(n), names.inputs[n - 1]);
        ini.writeString(section, QStringLiteral("Audio%1").arg(n), names.audios[n - 1]);
    }
    return ini.commit();
}

} // namespace SettingsFiles
