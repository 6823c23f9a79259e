#include "SerialDevices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSerialPortInfo>

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace SerialDevices {

namespace {

const QString kById = QStringLiteral("/dev/serial/by-id");

// Device node -> its by-id name.
QHash<QString, QString> stableNames() {
    QHash<QString, QString> names;
    const QDir dir(kById);
    for (const QFileInfo &link :
         dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString node = link.canonicalFilePath();
        if (!node.isEmpty() && !names.contains(node)) names.insert(node, link.absoluteFilePath());
    }
    return names;
}

} // namespace

QString Device::label() const {
    QString text = QFileInfo(path).fileName();
    QStringList about;
    if (!description.isEmpty()) about << description;
    if (!serialNumber.isEmpty()) about << QStringLiteral("serial %1").arg(serialNumber);
    if (!about.isEmpty()) text += QStringLiteral(": ") + about.join(QStringLiteral(", "));
    return text;
}

QString nodeOf(const QString &path) {
    const QString node = QFileInfo(path).canonicalFilePath();
    return node.isEmpty() ? path : node;
}

QList<Device> list() {
    const QHash<QString, QString> stable = stableNames();
    QList<Device> devices;
    QStringList seen;
    const auto add = [&](Device d) {
        d.path = nodeOf(d.path);
        if (d.path.isEmpty() || seen.contains(d.path)) return;
        seen << d.path;
        d.stablePath = stable.value(d.path, d.path);
        devices << d;
    };
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        add(Device{info.systemLocation(), {}, info.description(), info.manufacturer(), info.serialNumber()});
    for (const QString &extra :
         qEnvironmentVariable("OXS_SERIAL_DEVICES").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        if (QFileInfo::exists(extra)) add(Device{extra, {}, {}, {}, {}});
    std::sort(devices.begin(), devices.end(),
              [](const Device &a, const Device &b) { return a.path < b.path; });
    return devices;
}

QString openFailureReason(const QString &path, const QString &systemText) {
    if (!QFileInfo::exists(path)) return QStringLiteral("gone: it is no longer connected");
    const QByteArray node = QFile::encodeName(nodeOf(path));
    if (::access(node.constData(), R_OK | W_OK) != 0 && errno == EACCES) {
        QString group = QFileInfo(QString::fromLocal8Bit(node)).group();
        if (group.isEmpty() || group == QLatin1String("root")) group = QStringLiteral("dialout");
        return QStringLiteral("permission denied: add yourself to the %1 group (sudo adduser $USER %1), then "
                              "log in again")
            .arg(group);
    }
    // Allowed, yet refused: another program holds the device or its lock.
    if (systemText.contains(QLatin1String("permission"), Qt::CaseInsensitive) ||
        systemText.contains(QLatin1String("busy"), Qt::CaseInsensitive) ||
        systemText.contains(QLatin1String("lock"), Qt::CaseInsensitive))
        return QStringLiteral("busy: another program has it open");
    return systemText;
}

} // namespace SerialDevices
