#include "Logging.h"

// Warnings and above only, unless the rules ask for more.
Q_LOGGING_CATEGORY(lcLink, "oxs.link", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSerial, "oxs.serial", QtWarningMsg)
Q_LOGGING_CATEGORY(lcUpload, "oxs.upload", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSettings, "oxs.settings", QtWarningMsg)
