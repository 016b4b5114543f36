// Faults found by fuzzing config.xml, kept so they stay fixed.
#include "Global.h"
#include "ProcStatus.h"
#include "TestSupport.h"
#include "XMLConfig.h"

#include <QFile>
#include <QTest>

#include <sys/resource.h>

class FuzzRegressTest : public QObject {
    Q_OBJECT

private slots:
    // Every load read into a buffer of the largest file allowed (1 MiB),
    // however small the file; with less than that to spare the start threw.
    void smallFileNeedsLittleMemory()
    {
        if (Sanitized)
            QSKIP("address-space limits do not work under sanitizers");
        ScratchAppFolder folder;
        QFile file(folder.File(QStringLiteral("config.xml")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<TarvikConfig><Interface><Host>10.0.0.9</Host><Port>2000</Port></Interface></TarvikConfig>");
        file.close();
        ResetGlobals();
        TXMLDocument doc;
        doc.Dom.setContent(QByteArray("<warm-up/>"));  // the parser's own first-use allocations

        const qint64 used = ProcStatusBytes("VmSize");
        QVERIFY(used > 0);
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_AS, &saved), 0);
        rlimit tight = saved;
        tight.rlim_cur = static_cast<rlim_t>(used + 768 * 1024);
        QCOMPARE(setrlimit(RLIMIT_AS, &tight), 0);
        bool loaded = true;
        try {
            EnsureConfigDefaults(doc);
            LoadConfig(doc);
        } catch (...) {
            loaded = false;
        }
        setrlimit(RLIMIT_AS, &saved);
        QVERIFY(loaded);
        QCOMPARE(EthHost, QStringLiteral("10.0.0.9"));
        QCOMPARE(EthPort, 2000);
    }

    // A setting of blanks only was saved as plain text, which the parser
    // drops as layout: the next start read it as empty.
    void blankSettingSurvivesSaveAndLoad_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::newRow("one blank WindRowChar") << "WindRowChar" << " ";
        QTest::newRow("tab WindRowChar") << "WindRowChar" << "\t";
        QTest::newRow("blank and line feed Host") << "Host" << " \n ";
        QTest::newRow("blanks OrdersFileName") << "OrdersFileName" << "   ";
    }
    void blankSettingSurvivesSaveAndLoad()
    {
        QFETCH(QString, key);
        QFETCH(QString, text);
        QString* const setting = key == "WindRowChar" ? &WindRowChar : key == "Host" ? &EthHost : &OrdersFileName;
        ScratchAppFolder folder;
        ResetGlobals();
        {
            TXMLDocument doc;
            EnsureConfigDefaults(doc);
            LoadConfig(doc);
            *setting = text;
            SaveConfig(doc);
        }
        ResetGlobals();
        TXMLDocument doc;
        EnsureConfigDefaults(doc);
        LoadConfig(doc);
        QCOMPARE(*setting, text);
    }

    // A hand-edited file the lenient parser takes, with characters the saved
    // file cannot carry outside the settings: the first save wrote a file
    // the next start could not read, so the second start lost every setting.
    void savedFileLoadsBackTheSame_data()
    {
        QTest::addColumn<QByteArray>("base64");
        QTest::newRow("instruction with control bytes") << QByteArray("PD94LmU2AQAAADA/PjxhLz4=");
        QTest::newRow("text after an instruction gained a line feed at every save")
            << QByteArray("PD94bWwgdmVyc2lvbj0iMS4wIiBlbmNvZGluZz0iSVNPLTg4NTktMiI/Pgo8Q29uZmlnIGE9IjEiPjwhLS0ga2VwdCAtLT48SW50ZXJmYWNlPjxLaW5kPkV0aDwvS2luZD48UHJvdG9jb2w+VURQVTwvUHJvdG9jb2w+PEhvc3Q+UlJSUlJSUlJSUlJSUlJSUlJSUlJSUlJSUlJSUlJSUlJSUlJSUlJSUlJSUlJSUlJSUlJSUlJSUlJSUlJSUlJSUlJSUlJSUjwhW0NEQVRBW3NjYWxlLmxvY2FsXV0+PC9Ib3N0PjxQb3J0Png8L1BvcnQ+UG9ydD48RXh0cmEvPjwvSW50ZXJmYWNlPv///////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////////wo8T3B0aW9ucz48V2luZFJvd01vZGU+MzAwPC9XaW5kUm93TW9kZT48V2luZFJvd0NoYXI+PC9XaW5kUm93Q2hhcj5DaDw/RXRuYz8+Kz8kRUtLS0s/PjxhLz5vdz48T3JkZXJzRmlsZU5hbWU+PC9PcmRlcnNGaWxlTmFtZT48L09wdGlvbnM+PC9Db25maWc+Cg==");
        QTest::newRow("instruction target with a control byte inside a section")
            << QByteArray("PD94bWwgdmVyc2lvbj0iMS4wIiBlbmNvZGluZz0iSVNPLTg4NTktMiI/Pgo8Q29uZmlnIGE9IjEiPjwhLS0ga2VwdCAtLT48SW50ZXJmYWNlPjxLaW5kPkV0aDwvS2luZD48P3guZQEwPz48UHJvdG9jb2w+VURQPC9Qcm90b2NvbD48SG9zdD48IVtDREFUQVtzY2FsZS5sb2NhbF1dPjwvSG9zdD48UG9ydD4wYngxRjxhLz45MDwvUG9ydD48RXh0cmEvPjwvSW50ZXJmYWNlPgo8T3B0aW9ucz48V2luZFJvd01vZGU+MzAwPC9XaW5kUm93TW9kZT48V2luZFJvd0NoYXI+JmFtcDs8L1dpbmRSb3dDaGFyPjxXaW5kUm93PnllczwvV2luZFJvdz48T3JkZXJzRmlsZU5hbWU+PC9PcmRlcnNGaWxlTmFtZT48L09wdGlvbnM+PC9Db25maWc+Cg==");
    }
    void savedFileLoadsBackTheSame()
    {
        QFETCH(QByteArray, base64);
        ScratchAppFolder folder;
        const QString path = folder.File(QStringLiteral("config.xml"));
        WriteAll(path, QByteArray::fromBase64(base64));
        const auto loadAndSave = [](const QString& host) {
            ResetGlobals();
            TXMLDocument doc;
            EnsureConfigDefaults(doc);
            LoadConfig(doc);
            const QString loaded = EthHost;
            if (!host.isEmpty())
                EthHost = host;
            SaveConfig(doc);
            return loaded;
        };
        loadAndSave(QStringLiteral("10.1.2.3"));
        const QByteArray first = ReadAll(path);
        QCOMPARE(loadAndSave({}), QStringLiteral("10.1.2.3"));
        QCOMPARE(ReadAll(path), first);
    }
};

QTEST_GUILESS_MAIN(FuzzRegressTest)
#include "fuzzregress_test.moc"
