// The windows in the language of the environment: Polish under a Polish
// locale, the serial component's Polish captions in English under an English
// one, and every text as it always was under C, POSIX or a language without
// a catalogue. Each window is made after the catalogue is installed, as the
// program makes it.
#include "CheckForm.h"
#include "CloseQuestion.h"
#include "CommLogPanel.h"
#include "CPortCtl.h"
#include "CPortSetup.h"
#include "ConnectionUnit.h"
#include "RadioGroup.h"
#include "ScaleDialog.h"
#include "ScalesModel.h"
#include "ScalesPanel.h"
#include "Translate.h"
#include "WindowTestEnv.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTranslator>

#include <functional>

namespace {

// Every window and dialog, made under the catalogue installed at the time.
struct TWindows {
    TForm1 main;
    TConnectionForm connection{main.ComPort1, [] {}};
    TComSetupFrm setup;
    TScaleDialog scale;
    TCheckForm check{CheckDatabase(main.Table, false)};
};

struct TCaption {
    const char* What;
    std::function<QString(TWindows&)> Shown;
    const char* C;
    const char* Pl;
    const char* En;  // nullptr: as under C
};

// The panel's text of an event logged now.
QString LastEvent(TCommLog& log, const char* text)
{
    log.Event(log.LinkId(QStringLiteral("tcp://127.0.0.1:4001")), QString::fromLatin1(text));
    log.Flush();
    return log.data(log.index(log.rowCount() - 1, TCommLog::lcText)).toString();
}

const TCaption Captions[] = {
    {"File menu", [](TWindows& w) { return w.main.Plik1->title(); }, "&File", "&Plik", nullptr},
    {"Connect", [](TWindows& w) { return w.main.btnOpenPort->text(); }, "Connect", "Połącz", nullptr},
    {"Send database", [](TWindows& w) { return w.main.bbWyslijBaze->text(); }, "Send database", "Wyślij bazę danych", nullptr},
    {"device type group", [](TWindows& w) { return w.main.rgUrzadzenie->title(); }, " Device type: ", " Typ urządzenia: ", nullptr},
    {"first database kind", [](TWindows& w) { return w.main.rgBaza->Items().value(0); }, "product database",
     "baza danych towarów", nullptr},
    {"close question", [](TWindows&) { return CloseQuestionText({3}, 10); },
     "An upload is running (record 3 of 10; 1 scale). Close anyway?", "Trwa wysyłanie (rekord 3 z 10; waga: 1). Zamknąć mimo to?", nullptr},
    {"comm log panel", [](TWindows& w) { return w.main.CommLogPanel->windowTitle(); }, "Communication log",
     "Dziennik komunikacji", nullptr},
    {"comm log column", [](TWindows& w) { return w.main.CommLog.headerData(2, Qt::Horizontal).toString(); }, "Direction",
     "Kierunek", nullptr},
    {"comm log event", [](TWindows& w) { return LastEvent(w.main.CommLog, "failed: No such file or directory"); },
     "failed: No such file or directory", "nieudane: No such file or directory", nullptr},
    {"scales panel", [](TWindows& w) { return w.main.ScalesPanel->btnSendAll->text(); }, "Send to all scales",
     "Wyślij do wszystkich wag", nullptr},
    {"scales column", [](TWindows& w) { return w.main.ScalesPanel->Model->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(); }, "State",
     "Stan", nullptr},
    {"scale dialog", [](TWindows& w) { return w.scale.windowTitle(); }, "Add a scale", "Dodaj wagę", nullptr},
    {"check dialog", [](TWindows& w) { return w.check.btnSendAnyway->text(); }, "Send anyway", "Wyślij mimo to", nullptr},
    {"connection dialog title", [](TWindows& w) { return w.connection.windowTitle(); }, "Ustawienia połączenia",
     "Ustawienia połączenia", nullptr},
    {"connection Apply", [](TWindows& w) { return w.connection.sbApply->text(); }, "Apply", "Zastosuj", nullptr},
    {"connection serial group", [](TWindows& w) { return w.connection.gbSerialPort->title(); }, " Serial port settings: ",
     " Ustawienia portu szeregowego: ", nullptr},
    {"connection IP label", [](TWindows& w) { return w.connection.Label1->text(); }, "Adres IP:", "Adres IP:", nullptr},
    {"serial setup title", [](TWindows& w) { return w.setup.windowTitle(); }, "RS-232 settings", "Ustawienia RS-232", nullptr},
    {"serial setup label", [](TWindows& w) { return w.setup.Label2->text(); }, "Baud rate:", "Prędkość:", nullptr},
    {"serial setup Zastosuj", [](TWindows& w) { return w.setup.sbApply->text(); }, "Zastosuj", "Zastosuj", "Apply"},
    {"serial setup Anuluj", [](TWindows& w) { return w.setup.sbCancel->text(); }, "Anuluj", "Anuluj", "Cancel"},
};

// The environment as a desktop session sets it, then its catalogues installed.
QString InstallFor(const QByteArray& language, const QByteArray& lcAll, const QByteArray& lcMessages, const QByteArray& lang)
{
    for (QTranslator* t : QCoreApplication::instance()->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(t);
        delete t;
    }
    const std::pair<const char*, QByteArray> vars[] = {
        {"LANGUAGE", language}, {"LC_ALL", lcAll}, {"LC_MESSAGES", lcMessages}, {"LANG", lang}};
    for (const auto& [name, value] : vars)
        value.isEmpty() ? qunsetenv(name) : qputenv(name, value);
    return InstallTranslations();
}

} // namespace

class TranslationTest : public QObject {
    Q_OBJECT
    std::unique_ptr<WindowTestEnv> env;

private slots:
    void init() { env = std::make_unique<WindowTestEnv>(); }
    void cleanup() { env.reset(); }
    void cleanupTestCase() { InstallFor({}, {}, {}, "C"); }

    // LANGUAGE first, then LC_ALL, LC_MESSAGES, LANG, as gettext takes them;
    // under C or POSIX nothing is translated, LANGUAGE or not.
    void languageFollowsTheEnvironment_data()
    {
        QTest::addColumn<QByteArray>("language");
        QTest::addColumn<QByteArray>("lcAll");
        QTest::addColumn<QByteArray>("lcMessages");
        QTest::addColumn<QByteArray>("lang");
        QTest::addColumn<QString>("installed");
        QTest::newRow("LANG Polish") << QByteArray() << QByteArray() << QByteArray() << QByteArray("pl_PL.UTF-8") << "pl";
        QTest::newRow("LANG English") << QByteArray() << QByteArray() << QByteArray() << QByteArray("en_GB.UTF-8") << "en";
        QTest::newRow("LANG German: none") << QByteArray() << QByteArray() << QByteArray() << QByteArray("de_DE.UTF-8") << "";
        QTest::newRow("C") << QByteArray() << QByteArray() << QByteArray() << QByteArray("C") << "";
        QTest::newRow("C.UTF-8") << QByteArray() << QByteArray() << QByteArray() << QByteArray("C.UTF-8") << "";
        QTest::newRow("nothing set") << QByteArray() << QByteArray() << QByteArray() << QByteArray() << "";
        QTest::newRow("LC_MESSAGES over LANG") << QByteArray() << QByteArray() << QByteArray("pl_PL") << QByteArray("C") << "pl";
        QTest::newRow("LC_ALL over LC_MESSAGES") << QByteArray() << QByteArray("C") << QByteArray("pl_PL") << QByteArray() << "";
        QTest::newRow("LANGUAGE's first with a catalogue") << QByteArray("de:pl:en") << QByteArray() << QByteArray()
                                                           << QByteArray("de_DE.UTF-8") << "pl";
        QTest::newRow("LANGUAGE under POSIX: ignored") << QByteArray("pl") << QByteArray("POSIX") << QByteArray()
                                                       << QByteArray() << "";
    }
    void languageFollowsTheEnvironment()
    {
        QFETCH(QByteArray, language);
        QFETCH(QByteArray, lcAll);
        QFETCH(QByteArray, lcMessages);
        QFETCH(QByteArray, lang);
        QFETCH(QString, installed);
        QCOMPARE(InstallFor(language, lcAll, lcMessages, lang), installed);
    }

    void captionsInTheLanguage_data()
    {
        QTest::addColumn<QByteArray>("lang");
        QTest::newRow("C") << QByteArray("C");
        QTest::newRow("POSIX") << QByteArray("POSIX");
        QTest::newRow("German: no catalogue") << QByteArray("de_DE.UTF-8");
        QTest::newRow("Polish") << QByteArray("pl_PL.UTF-8");
        QTest::newRow("English") << QByteArray("en_US.UTF-8");
    }
    void captionsInTheLanguage()
    {
        QFETCH(QByteArray, lang);
        const QString installed = InstallFor({}, {}, {}, lang);
        ScratchSerialTree tree;
        tree.AddPort(QStringLiteral("ttyS0"));
        SerialDeviceFolder = tree.Tty();
        TWindows w;
        for (const TCaption& c : Captions) {
            const char* expected = installed == QLatin1String("pl") ? c.Pl
                                 : installed == QLatin1String("en") && c.En ? c.En
                                                                            : c.C;
            QCOMPARE(qPrintable(QString(c.What) + ": " + c.Shown(w)), qPrintable(QString(c.What) + ": " + QString::fromUtf8(expected)));
        }
        // The standard buttons come from Qt's own catalogue.
        if (installed == QLatin1String("pl"))
            QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Anuluj"));
        w.main.FormClose();
    }

    // A caption the panel's rectangle cuts shows whole in its tooltip, which
    // a screen reader hears as the description.
    void cutPolishCaptionsHaveTheirTooltip()
    {
        InstallFor({}, {}, {}, "pl_PL.UTF-8");
        TForm1 w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        int cut = 0;
        for (QAbstractButton* b : w.Panel1->findChildren<QAbstractButton*>()) {
            if (b->sizeHint().width() <= b->width())
                continue;
            ++cut;
            QTRY_COMPARE(b->toolTip(), b->text());
        }
        QVERIFY2(cut > 0, "no Polish caption is cut: the check proves nothing");
        w.FormClose();
    }
};

QTEST_MAIN(TranslationTest)
#include "translation_test.moc"
