// Program entry. The arguments are judged before any application object
// exists: `send` or `ports` (or --help, --version) work on the command line
// without a window, a typo or a wrong option ends with a message; otherwise
// the application object, which takes Qt's own arguments (-platform, -style,
// -display ...), the main window, the connection dialog created hidden, then
// the message loop.
#include "Application.h"
#include "CPortCtl.h"
#include "CPortSetup.h"
#include "EpollDispatcher.h"
#include "Launch.h"
#include "ConnectionUnit.h"
#include "QuitSignals.h"
#include "SendCommand.h"
#include "Translate.h"
#include "okno.h"

#include <QGuiApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>

// Where the port lists look for devices: the system's folders, or scratch
// trees that tests and screenshots lay out.
static void TakeSerialFoldersFromEnvironment()
{
    if (qEnvironmentVariableIsSet("SCALEDB_SYSFS_TTY"))
        SerialDeviceFolder = qEnvironmentVariable("SCALEDB_SYSFS_TTY");
    if (qEnvironmentVariableIsSet("SCALEDB_SERIAL_BY_ID"))
        SerialByIdFolder = qEnvironmentVariable("SCALEDB_SERIAL_BY_ID");
}

// --scales FILE (or --scales=FILE): the list the scales panel opens with.
static QString TakeScalesOption(QStringList& args)
{
    QString file;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--scales") && i + 1 < args.size()) {
            file = args.takeAt(i + 1);
            args.removeAt(i--);
        } else if (args[i].startsWith(QLatin1String("--scales="))) {
            file = args.takeAt(i--).mid(9);
        }
    }
    return file;
}

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);  // a closed pipe or socket fails its write (EPIPE) instead of ending the program
    TakeSerialFoldersFromEnvironment();
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const TLaunchKind launch = DecideLaunch(args);
    if (launch == laRefused)
        return 2;
    if (launch == laCommandLine) {
        // A fleet holds a socket per scale: its event loop waits on them in
        // one epoll set, not all of them handed to poll() at every wake-up.
        QCoreApplication::setEventDispatcher(new TEpollDispatcher);
        QCoreApplication app(argc, argv);
        InstallTranslations();
        return RunCommandLine(args);
    }

    TApplication app(argc, argv);
    InstallTranslations();  // before any window: captions are translated as they are made
    // For tests and screenshots only: every window in a dark theme.
    if (qEnvironmentVariableIsSet("SCALEDB_DARK_PALETTE")) {
        QApplication::setStyle(QStringLiteral("Fusion"));
        QApplication::setPalette(DarkPalette());
    }
    // What Qt left: --scales FILE, and at most the database file to open.
    QStringList rest = QCoreApplication::arguments().mid(1);
    const QString scales = TakeScalesOption(rest);
    for (const QString& arg : rest) {
        if (arg.startsWith('-')) {
            std::fprintf(stderr, "scaledb: unknown option %s (see --help)\n", arg.toLocal8Bit().constData());
            return 2;
        }
    }
    QCoreApplication::setApplicationName(QStringLiteral("scaledb"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SCALEDB_VERSION));
    // No organization name: an installed copy keeps its settings in ~/.config/scaledb/.
    // The desktop file name lets the desktop match the window to its icon and launcher.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.scaledb.ScaleDb"));

    InstallSerialSetupDialog();
    TForm1 form;
    TConnectionForm connection(form.ComPort1, [&form] { form.btnOpenPortClick(); }, &form);
    form.ConnectionForm = &connection;
    // A signal or a logout closes without asking, uploads running or not,
    // whatever dialog or box is up; if the close sequence still waits on
    // something, the backstop ends the program.
    OnQuitSignal([&form](int) { form.FormQuitSignal(); }, QCoreApplication::instance(), std::chrono::milliseconds(1500));
    form.show();
    if (!scales.isEmpty())
        form.OpenScales(scales);

    if (!rest.isEmpty()) {
        const QString file = rest.first();
        QTimer::singleShot(0, &form, [&form, file] { form.LoadDatabase(file); });
    }
    if (Quitting())
        return 0;  // closed before the loop ran: its quit() had no loop to end
    return app.exec();
}
