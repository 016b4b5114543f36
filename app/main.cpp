// Program entry. With `send` (or --help, --version) it works on the command
// line without a window; otherwise the application object, the main window,
// the connection dialog created hidden, then the message loop.
#include "Application.h"
#include "CPortSetup.h"
#include "ConnectionUnit.h"
#include "QuitSignals.h"
#include "SendCommand.h"
#include "okno.h"

#include <QGuiApplication>
#include <QTimer>

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (IsCommandLineMode(args)) {
        QCoreApplication app(argc, argv);
        return RunCommandLine(args);
    }

    TApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("scaledb"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.03"));
    // No organization name: an installed copy keeps its settings in ~/.config/scaledb/.
    // The desktop file name lets the desktop match the window to its icon and launcher.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.scaledb.ScaleDb"));

    InstallSerialSetupDialog();
    TForm1 form;
    TConnectionForm connection(form.ComPort1, [&form] { form.btnOpenPortClick(); }, &form);
    form.ConnectionForm = &connection;
    OnQuitSignal([&form] { form.close(); });
    form.show();

    if (args.size() > 1) {
        const QString file = args.at(1);
        QTimer::singleShot(0, &form, [&form, file] { form.LoadDatabase(file); });
    }
    return app.exec();
}
