#pragma once

#include <QLoggingCategory>

// What the program does and why it fails, for whoever needs to know: off by default, switched on with
// QT_LOGGING_RULES="oxs.*.debug=true" (or oxsctl -v).
Q_DECLARE_LOGGING_CATEGORY(lcLink)     // oxs.link: link opened, closed, found, lost; connect failures
Q_DECLARE_LOGGING_CATEGORY(lcSerial)   // oxs.serial: serial ports opened, closed, and why they would not open
Q_DECLARE_LOGGING_CATEGORY(lcUpload)   // oxs.upload: frame upload states and results
Q_DECLARE_LOGGING_CATEGORY(lcSettings) // oxs.settings: settings files that cannot be read or written
