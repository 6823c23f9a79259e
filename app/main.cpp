// OXS remote control: one window that drives one scaler of the Orlan family.
#include "Debug.h"
#include "FrameDebug.h"
#include "FrameFormat.h"
#include "GradientWindow.h"
#include "MachineMenu.h"
#include "ProcessFigures.h"
#include "RemoteAccessMenu.h"
#include "RemoteHost.h"
#include "ScalerSettingsMenu.h"
#include "SettingsFiles.h"
#include "TransferFrame.h"
#include "Unit_About_OXS.h"
#include "Unit_OXS.h"
#include "Unit_Standby.h"
#include "Unit_Sync_Time.h"
#include "UnixSignals.h"
#include "Version.h"
#include "WidgetPrompts.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCursor>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QIcon>
#include <QMenu>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <optional>

namespace {

// Pictures of the dialogs as their menu items open them, of the About box, and of the window with the
// black delay window and the update notice shown.
void writeDialogScreenshots(TForm_OXS &form, const QString &base) {
    auto save = [&base](QWidget &widget, const char *name) {
        QCoreApplication::processEvents();
        widget.grab().save(base + u'-' + QLatin1String(name) + QLatin1String(".png"));
    };
    const auto runModal = form.RunModal;
    form.RunModal = [&save](QDialog &dialog) {
        dialog.show();
        save(dialog, dialog.objectName() == QLatin1String("TIPConfigDlg") ? "dialog-lan-setup"
                                                                          : "dialog-oxs-lan-setup");
        dialog.close();
    };
    form.MenuMIPConfig->trigger();
    form.MenuMachineLANSetup->trigger();
    form.RunModal = runModal;

    form.MenuStandbyTimer->trigger();
    save(*form.Form_Standby, "dialog-standby");
    form.Form_Standby->hide();
    form.MenuAboutMachine->trigger();
    save(*form.About_OXS, "about");
    form.About_OXS->hide();

    QCursor::setPos(form.ClientArea->mapToGlobal(QPoint(260, 120)));
    form.MenuBlackDelayVar->trigger();
    save(form, "black-delay");
    form.Form_Sync_Time->hide();
    form.ShowUpdateNotice(TMachineMenu::UpdateNotice(TMachineMenu::kExpectedVERV + 1));
    save(form, "update-notice");
    form.BtnOkUpdaterClick();
}

// Pictures of the frame transfer windows: the transfer dialog empty, with a gradient loaded and as it looks
// during an upload (progress at 40 %), the gradient generator, the fit choice and the frame debug view.
void writeTransferScreenshots(TForm_OXS &form, const QString &base) {
    auto save = [&base](QWidget &widget, const char *name) {
        QCoreApplication::processEvents();
        widget.grab().save(base + u'-' + QLatin1String(name) + QLatin1String(".png"));
    };
    TFormTransferFrame &transfer = *form.FormTransferFrame;
    transfer.show();
    save(transfer, "transfer-frame");
    const auto gradientModal = transfer.FormGradient->RunModal;
    transfer.FormGradient->RunModal = [&save](QDialog &dialog) {
        dialog.show();
        save(dialog, "gradient");
        dialog.hide();
        return int(QDialog::Accepted);
    };
    transfer.BtnGradientClick();
    transfer.FormGradient->RunModal = gradientModal;
    save(transfer, "transfer-frame-picture");
    transfer.SetStatus(1, QStringLiteral("Transferring frame..."));
    transfer.SetProgress(0, 720 * 288, 720 * 288 * 2 / 5);
    save(transfer, "transfer-frame-busy");
    transfer.SetStatus(0, QStringLiteral("Idle"));
    transfer.FormFrameDebug->SetElapsed(14000);
    transfer.FormFrameDebug->SetProgress(720 * 288 * 2 / 5, 720 * 288);
    transfer.FormFrameDebug->SetSpeed(5754);
    transfer.FormFrameDebug->show();
    save(*transfer.FormFrameDebug, "frame-debug");
    transfer.FormFrameDebug->hide();
    transfer.hide();

    const auto formatModal = transfer.FormFrameFormat->RunModal;
    transfer.FormFrameFormat->RunModal = [&save](QDialog &dialog) {
        dialog.show();
        save(dialog, "fit-choice");
        dialog.hide();
        return int(QDialog::Rejected);
    };
    transfer.FormFrameFormat->ChooseFitMode(1024, 768);
    transfer.FormFrameFormat->RunModal = formatModal;
}

// Pictures of the window on each page and of its menus, for checking the layout by eye.
void writeScreenshots(TForm_OXS &form, QWidget &debugConsole, const QString &file) {
    const QFileInfo info(file);
    const QString base = info.path() + u'/' + info.completeBaseName();
    const char *pages[] = {"input", "output", "image", "audio", "frame-alert"};
    for (int page = 0; page < form.PageControl->count(); ++page) {
        form.PageControl->setCurrentIndex(page);
        QCoreApplication::processEvents();
        form.grab().save(page == 0 ? file : base + u'-' + QLatin1String(pages[page]) + QLatin1String(".png"));
    }
    form.PageControl->setCurrentIndex(0);
    const std::pair<QMenu *, const char *> menus[] = {{form.MenuFile, "menu-file"},
                                                      {form.MenuControls, "menu-controls"},
                                                      {form.MenuSerialPort, "menu-serial-port"},
                                                      {form.MenuCustomize, "menu-customize"},
                                                      {form.MenuAbout, "menu-about"}};
    for (const auto &[menu, name] : menus) {
        menu->popup(form.mapToGlobal(QPoint(0, 0)));
        QCoreApplication::processEvents();
        menu->grab().save(base + u'-' + QLatin1String(name) + QLatin1String(".png"));
        menu->hide();
    }
    writeDialogScreenshots(form, base);
    writeTransferScreenshots(form, base);
    debugConsole.show();
    QCoreApplication::processEvents();
    debugConsole.grab().save(base + QStringLiteral("-debug-console.png"));
    debugConsole.hide();
}

// Reports the first time the window is painted: the moment the operator sees it.
class FirstPaintReport : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Paint) {
            std::fprintf(stderr, "window shown %.0f ms after process start\n",
                         ProcessFigures::MillisecondsSinceProcessStart());
            watched->removeEventFilter(this);
        }
        return false;
    }
};

// The program's command line.
struct CommandLine {
    const QCommandLineOption configDir{
        QStringLiteral("config-dir"),
        QStringLiteral("Folder of the settings files (default: the program's own folder, or the "
                       "user's configuration folder when the program's cannot be written)."),
        QStringLiteral("DIR")};
    const QCommandLineOption screenshot{QStringLiteral("screenshot"),
                                        QStringLiteral("Write pictures of the window to FILE (and "
                                                       "FILE-<page>.png), then close it."),
                                        QStringLiteral("FILE")};
    const QCommandLineOption screenshotDelay{
        QStringLiteral("screenshot-delay"),
        QStringLiteral("Milliseconds to wait before the pictures (default 9000)."), QStringLiteral("MS"),
        QStringLiteral("9000")};
    const QCommandLineOption remote{
        QStringLiteral("remote"),
        QStringLiteral("Let other programs control the scaler through this one: HTTP, WebSocket and OSC on "
                       "[ADDRESS:]PORT (ADDRESS defaults to 127.0.0.1)."),
        QStringLiteral("[ADDRESS:]PORT")};
    const QCommandLineOption record{
        QStringLiteral("record"),
        QStringLiteral("Record every byte exchanged with the scaler, with its time, to FILE (JSON lines) "
                       "from the start; the debug console's Transfert menu stops it."),
        QStringLiteral("FILE")};
    const QCommandLineOption recordLimit{
        QStringLiteral("record-limit"),
        QStringLiteral("Largest size of the recording in MB (default 64); recording stops there."),
        QStringLiteral("MB"), QStringLiteral("64")};
    const QCommandLineOption timing{
        QStringLiteral("timing"),
        QStringLiteral("Report the time to the shown window and the resident memory "
                       "once a scaler answers, then close.")};

    void describe(QCommandLineParser &parser) const {
        parser.setApplicationDescription(
            QStringLiteral("Remote control of Orlan, Orlan Plus and Orlan C scalers."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOptions({configDir, record, recordLimit, remote, screenshot, screenshotDelay, timing});
    }
};

void setApplicationNames() {
    QCoreApplication::setApplicationName(QString::fromLatin1(SettingsFiles::kApplicationTitle));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(OxsVersion::kFileVersion));
}

// --help and --version print and end the program; they need no display, so they are answered before the
// window system is started. Single-dash words are read whole here, so that the window system's own
// options (-platform, -stylesheet) are not taken for -h or -v.
void answerHelpAndVersion(int argc, char *argv[], const CommandLine &cli) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser early;
    cli.describe(early);
    early.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    early.parse(arguments); // errors are reported by the full parse that follows
    const bool version = early.isSet(QStringLiteral("version"));
    if (!version && !early.isSet(QStringLiteral("help"))) return;
    QCoreApplication app(argc, argv);
    setApplicationNames();
    QCommandLineParser parser;
    cli.describe(parser);
    if (version) parser.showVersion();
    parser.showHelp();
}

} // namespace

int main(int argc, char *argv[]) {
    const CommandLine cli;
    answerHelpAndVersion(argc, argv, cli);

    // The socket layer needs no start-up here. The application and its title come first.
    QApplication app(argc, argv);
    setApplicationNames();
    QApplication::setFont(TForm_OXS::ApplicationFont());
    // The window's icon, and the menu entry (oxs-remote-control.desktop) the desktop groups it under.
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/oxs-remote-control-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
    QGuiApplication::setDesktopFileName(QStringLiteral("oxs-remote-control"));

    QCommandLineParser options;
    cli.describe(options);
    options.process(app);
    std::optional<OxsRemote::RemoteSettings> remoteListen;
    if (options.isSet(cli.remote)) {
        QString why;
        remoteListen.emplace();
        if (!OxsRemote::parseListenArgument(options.value(cli.remote), *remoteListen, &why)) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                         qPrintable(why));
            return 2;
        }
    }

    bool limitOk = false;
    const double recordLimitMb = options.value(cli.recordLimit).toDouble(&limitOk);
    if (!limitOk || recordLimitMb <= 0 || recordLimitMb > 1024 * 1024) {
        std::fprintf(stderr, "%s: --record-limit: a size in MB above 0 is expected, not \"%s\"\n",
                     qPrintable(QCoreApplication::applicationName()),
                     qPrintable(options.value(cli.recordLimit)));
        return 2;
    }

    // An installed program's folder cannot be written: its settings then go to the user's own folder.
    const QString settingsDir =
        SettingsFiles::ChooseSettingsDir(options.value(cli.configDir), QCoreApplication::applicationDirPath(),
                                         QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
    QDir().mkpath(settingsDir);

    Prompts::install(std::make_unique<WidgetPrompts>(QString::fromLatin1(SettingsFiles::kApplicationTitle)));

    // The windows, in their order; only the main window is shown.
    TForm_OXS form(settingsDir);
    // File > Save/Load scaler settings: it follows the scaler's reports from the first one on.
    TScalerSettingsMenu scalerSettings(form, settingsDir);
    // The debug console logs every reply from the start; the hot key over the first panel shows it. It is
    // destroyed before the window, and unhooks itself from the driver while the driver still exists.
    TForm_debug debugConsole(*form.Orlan_d, settingsDir);
    form.SetDebugConsole(&debugConsole);
    form.InitMainWindow();

    // The link recorder belongs to the debug console, whose menu stops it; it starts once the link is
    // chosen and before the scaler is first asked.
    debugConsole.Recorder().SetProgram(QStringLiteral("oxs-remote-control ") +
                                       QString::fromLatin1(OxsVersion::kFileVersion));
    debugConsole.Recorder().SetFileLimit(static_cast<qint64>(recordLimitMb * 1024 * 1024));
    if (options.isSet(cli.record)) {
        QString why;
        if (!debugConsole.StartRecording(options.value(cli.record), &why)) {
            std::fprintf(stderr, "%s: cannot record to %s: %s\n",
                         qPrintable(QCoreApplication::applicationName()),
                         qPrintable(options.value(cli.record)), qPrintable(why));
            return 2;
        }
    }

    // Remote access serves the window's driver; its service follows the scaler's reports from the start.
    // It closes with the window, before the driver goes.
    OxsRemote::RemoteHost remoteHost(*form.Orlan_d);
    TRemoteAccessMenu remoteAccess(form, remoteHost,
                                   QDir(settingsDir).filePath(QLatin1String(OxsRemote::kRemoteSettingsFile)));
    QString remoteFailure;
    if (!remoteAccess.Start(remoteListen, &remoteFailure))
        std::fprintf(stderr, "%s: remote access is off: %s\n",
                     qPrintable(QCoreApplication::applicationName()), qPrintable(remoteFailure));
    QObject::connect(&form, &TForm_OXS::closed, &remoteHost, &OxsRemote::RemoteHost::stop);

    UnixSignals signalsToClose;
    QObject::connect(&signalsToClose, &UnixSignals::terminationRequested, &form, &QWidget::close);
    QObject::connect(&form, &TForm_OXS::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    if (options.isSet(cli.screenshot)) {
        const QString file = options.value(cli.screenshot);
        QTimer::singleShot(options.value(cli.screenshotDelay).toInt(), &form, [&form, &debugConsole, file] {
            writeScreenshots(form, debugConsole, file);
            form.close();
        });
    }
    if (options.isSet(cli.timing)) {
        form.installEventFilter(new FirstPaintReport(&form));
        auto *watch = new QTimer(&form);
        QObject::connect(watch, &QTimer::timeout, &form, [&form, watch] {
            if (!form.Orlan_d->Ready()) return;
            watch->stop();
            std::fprintf(stderr, "resident memory after connecting: %ld kB\n",
                         ProcessFigures::ResidentKilobytes());
            form.close();
        });
        watch->start(50);
    }

    form.show();
    return app.exec();
}
