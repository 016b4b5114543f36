// Program entry: the application object, the main window, the connection
// dialog created hidden, then the message loop.
#include "Application.h"
#include "QuitSignals.h"
#include "okno.h"

#include <QTimer>

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("scaledb"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.03"));

    TForm1 form;
    OnQuitSignal([&form] { form.close(); });
    form.show();

    const QStringList args = QCoreApplication::arguments();
    if (args.size() > 1) {
        const QString file = args.at(1);
        QTimer::singleShot(0, &form, [&form, file] { form.LoadDatabase(file); });
    }
    return app.exec();
}
