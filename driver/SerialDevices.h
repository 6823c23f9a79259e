#pragma once

#include <QList>
#include <QString>

// The serial devices of this computer by name: what Qt Serial Port finds (USB adapters with their
// description and serial number), each under its stable /dev/serial/by-id name when it has one, so that a
// choice survives the next plug-in. Devices that no listing finds (pseudo-terminals, unusual drivers) may be
// named in the environment variable OXS_SERIAL_DEVICES, separated by ':'.
namespace SerialDevices {

struct Device {
    QString path;       // the device node, e.g. /dev/ttyUSB0
    QString stablePath; // its /dev/serial/by-id name, or path when it has none
    QString description;
    QString manufacturer;
    QString serialNumber;

    // "ttyUSB0: FT232R USB UART, serial A12345"
    QString label() const;
};

// Sorted by device path, each device once.
QList<Device> list();

// The device node a name stands for (a by-id link resolved), or the name itself when it leads nowhere.
QString nodeOf(const QString &path);

// Why a device cannot be opened, for the operator: "permission denied: add yourself to the dialout group
// ...", "busy: another program has it open", "gone: it is no longer connected", else the system's text.
QString openFailureReason(const QString &path, const QString &systemText);

} // namespace SerialDevices
