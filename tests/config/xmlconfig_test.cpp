#include "AppFolder.h"
#include "Global.h"
#include "TestSupport.h"
#include "XMLConfig.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QMap>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {

const QStringList OptionKeys{"OrdersFileName", "WindRow", "WindRowMode", "WindRowChar",
                             "SaveASCII", "InsertTime", "ChangePointToColon"};
const QStringList InterfaceKeys{"Kind", "Protocol", "Host", "Port"};

QString SectionOf(const QString& key)
{
    return InterfaceKeys.contains(key) ? QStringLiteral("Interface") : QStringLiteral("Options");
}


// A file with every key set away from its default, raw inner XML per key.
QMap<QString, QByteArray> NonDefaultKeys()
{
    return {{"OrdersFileName", "/data/o.xml"}, {"WindRow", "Yes"}, {"WindRowMode", "7"},
            {"WindRowChar", "A"}, {"SaveASCII", "No"}, {"InsertTime", "Yes"},
            {"ChangePointToColon", "Yes"}, {"Kind", "Eth"}, {"Protocol", "UDP"},
            {"Host", "10.1.1.1"}, {"Port", "2000"}};
}

QByteArray BuildConfig(const QMap<QString, QByteArray>& keys)
{
    QByteArray xml = "<TarvikConfig><Options>";
    for (const QString& key : OptionKeys)
        xml += "<" + key.toUtf8() + ">" + keys.value(key) + "</" + key.toUtf8() + ">";
    xml += "</Options><Interface>";
    for (const QString& key : InterfaceKeys)
        xml += "<" + key.toUtf8() + ">" + keys.value(key) + "</" + key.toUtf8() + ">";
    return xml + "</Interface></TarvikConfig>";
}

// The setting behind a key, as text, for table comparisons.
QString SettingText(const QString& key)
{
    static const QMap<QString, std::function<QString()>> settings{
        {"OrdersFileName", [] { return OrdersFileName; }},
        {"WindRow", [] { return QVariant(WindRow).toString(); }},
        {"WindRowMode", [] { return QString::number(WindRowMode); }},
        {"WindRowChar", [] { return WindRowChar; }},
        {"SaveASCII", [] { return QVariant(SaveASCII).toString(); }},
        {"InsertTime", [] { return QVariant(InsertTime).toString(); }},
        {"ChangePointToColon", [] { return QVariant(ChangePointToColon).toString(); }},
        {"Kind", [] { return QString::number(ConnectionKind); }},
        {"Protocol", [] { return QString::number(EthProtocol); }},
        {"Host", [] { return EthHost; }},
        {"Port", [] { return QString::number(EthPort); }},
    };
    return settings.value(key)();
}

QDomDocument Parse(const QString& path)
{
    QDomDocument dom;
    dom.setContent(ReadAll(path));
    return dom;
}

QStringList ChildNames(const QDomElement& parent)
{
    QStringList names;
    for (QDomElement e = parent.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        names << e.tagName();
    return names;
}

QString SavedText(const QString& path, const QString& key)
{
    return Parse(path).documentElement().firstChildElement(SectionOf(key)).firstChildElement(key).text();
}

} // namespace

class XmlConfigTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void missingFileGivesDefaultsWrittenOnlyAtSave();
    void missingKeyAppendedAtEndOfSection();
    void keyText_data();
    void keyText();
    void emptyOrdersFileNameStillSaved();
    void otherRootNameKept();
    void unknownContentKept();
    void duplicatesFirstCounts();
    void unreadableFile_data();
    void unreadableFile();
    void externalEntityNotFetched();
    void declaredEncodingMatchesSavedBytes();
    void unwritableCharactersLeftOut();
    void failedSaveLeavesNoPartialFile();
    void failedWriteKeepsOldFileWhole();
    void movedFolderKeepsOrdersFileName();

private:
    void Start();
    void Close() { SaveConfig(doc_); }

    std::unique_ptr<ScratchAppFolder> folder_;
    TXMLDocument doc_;
    QString path_;
};

void XmlConfigTest::init()
{
    folder_.reset(); // its destructor resets the folder, so before the next one
    folder_ = std::make_unique<ScratchAppFolder>();
    path_ = ConfigFilePath();
    doc_ = TXMLDocument{};
    doc_.FileName = path_;
    ResetGlobals();
}

void XmlConfigTest::Start()
{
    EnsureConfigDefaults(doc_);
    LoadConfig(doc_);
}

void XmlConfigTest::missingFileGivesDefaultsWrittenOnlyAtSave()
{
    QCOMPARE(path_, folder_->File("config.xml"));
    Start();
    QVERIFY(!QFile::exists(path_));

    const QString orders = folder_->File("orders.xml");
    QCOMPARE(OrdersFileName, orders);
    QCOMPARE(WindRow, false);
    QCOMPARE(WindRowMode, 0);
    QCOMPARE(WindRowChar, QString("$00"));
    QCOMPARE(SaveASCII, true);
    QCOMPARE(InsertTime, false);
    QCOMPARE(ChangePointToColon, false);
    QCOMPARE(ConnectionKind, 0);
    QCOMPARE(EthProtocol, 0);
    QCOMPARE(EthHost, QString("192.168.1.100"));
    QCOMPARE(EthPort, 1001);

    Close();
    const QByteArray expected =
        "<TarvikConfig><Options><OrdersFileName>" + orders.toUtf8()
        + "</OrdersFileName><WindRow>No</WindRow><WindRowMode>0</WindRowMode>"
          "<WindRowChar>$00</WindRowChar><SaveASCII>Yes</SaveASCII><InsertTime>No</InsertTime>"
          "<ChangePointToColon>No</ChangePointToColon></Options><Interface><Kind>COM</Kind>"
          "<Protocol>TCP</Protocol><Host>192.168.1.100</Host><Port>1001</Port></Interface>"
          "</TarvikConfig>";
    QCOMPARE(ReadAll(path_).trimmed(), expected);
}

void XmlConfigTest::missingKeyAppendedAtEndOfSection()
{
    WriteAll(path_, "<TarvikConfig><Interface><Kind>Eth</Kind><Protocol>UDP</Protocol>"
                    "<Host>10.0.0.5</Host></Interface><Options><WindRow>Yes</WindRow></Options>"
                    "</TarvikConfig>");
    Start();
    QCOMPARE(EthPort, 1001);
    QCOMPARE(EthHost, QString("10.0.0.5"));
    Close();

    const QDomElement root = Parse(path_).documentElement();
    QCOMPARE(ChildNames(root), QStringList({"Interface", "Options"}));
    QCOMPARE(ChildNames(root.firstChildElement("Interface")), InterfaceKeys);
    const QStringList windRowFirst{"WindRow", "OrdersFileName", "WindRowMode", "WindRowChar",
                                   "SaveASCII", "InsertTime", "ChangePointToColon"};
    QCOMPARE(ChildNames(root.firstChildElement("Options")), windRowFirst);
    QCOMPARE(SavedText(path_, "Kind"), QString("Eth"));
    QCOMPARE(SavedText(path_, "Protocol"), QString("UDP"));
    QCOMPARE(SavedText(path_, "Port"), QString("1001"));
    QCOMPARE(SavedText(path_, "WindRow"), QString("Yes"));
}

// One key's raw content replaced in a file whose other keys all differ from
// the defaults: the key gives `setting` and is written back as `written`, and
// every other key is still read and written back unchanged.
void XmlConfigTest::keyText_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("written");

    QTest::newRow("WindRow yes in lower case") << "WindRow" << QByteArray("yes") << "false" << "No";
    QTest::newRow("InsertTime YES") << "InsertTime" << QByteArray("YES") << "false" << "No";
    QTest::newRow("SaveASCII empty") << "SaveASCII" << QByteArray("") << "false" << "No";
    QTest::newRow("SaveASCII Yes") << "SaveASCII" << QByteArray("Yes") << "true" << "Yes";
    QTest::newRow("Kind eth in lower case") << "Kind" << QByteArray("eth") << "0" << "COM";
    QTest::newRow("Kind ETH") << "Kind" << QByteArray("ETH") << "0" << "COM";
    QTest::newRow("Kind empty") << "Kind" << QByteArray("") << "0" << "COM";
    QTest::newRow("Kind unreadable") << "Kind" << QByteArray("<!--c-->Eth") << "0" << "COM";
    QTest::newRow("Protocol udp in lower case") << "Protocol" << QByteArray("udp") << "0" << "TCP";
    QTest::newRow("Port zero") << "Port" << QByteArray("0") << "1001" << "1001";
    QTest::newRow("Port negative") << "Port" << QByteArray("-5") << "1001" << "1001";
    QTest::newRow("Port letters") << "Port" << QByteArray("abc") << "1001" << "1001";
    QTest::newRow("Port above 65535 kept") << "Port" << QByteArray("70000") << "70000" << "70000";
    QTest::newRow("Port hexadecimal") << "Port" << QByteArray("$1F90") << "8080" << "8080";
    QTest::newRow("Port leading blanks") << "Port" << QByteArray("  80") << "80" << "80";
    QTest::newRow("Port trailing blank") << "Port" << QByteArray("80 ") << "1001" << "1001";
    QTest::newRow("Port CDATA") << "Port" << QByteArray("<![CDATA[81]]>") << "81" << "81";
    QTest::newRow("Port empty") << "Port" << QByteArray("") << "1001" << "1001";
    QTest::newRow("Port holding an element") << "Port" << QByteArray("<n>5</n>") << "1001" << "1001";
    QTest::newRow("WindRowMode 300 wraps") << "WindRowMode" << QByteArray("300") << "44" << "44";
    QTest::newRow("WindRowMode 200 wraps negative") << "WindRowMode" << QByteArray("200") << "-56" << "0";
    QTest::newRow("WindRowMode -5") << "WindRowMode" << QByteArray("-5") << "-5" << "0";
    QTest::newRow("WindRowMode empty") << "WindRowMode" << QByteArray("") << "0" << "0";
    QTest::newRow("WindRowMode text and comment") << "WindRowMode" << QByteArray("1<!--c-->2") << "0" << "0";
    QTest::newRow("Host empty") << "Host" << QByteArray("") << "" << "192.168.1.100";
    QTest::newRow("Host unreadable") << "Host" << QByteArray("<b>h</b>") << "" << "192.168.1.100";
    QTest::newRow("Host not trimmed") << "Host" << QByteArray(" scale.local ") << " scale.local " << " scale.local ";
    QTest::newRow("Host with escaped markup") << "Host" << QByteArray("a&amp;b&lt;") << "a&b<" << "a&b<";
    QTest::newRow("OrdersFileName unreadable") << "OrdersFileName" << QByteArray("<x/>") << "" << "";
    QTest::newRow("WindRowChar non-ASCII") << "WindRowChar" << QByteArray("\xc3\xa4\xe2\x82\xac") << QString::fromUtf8("\u00e4\u20ac") << QString::fromUtf8("\u00e4\u20ac");
    QTest::newRow("WindRowChar empty") << "WindRowChar" << QByteArray("") << "" << "";
}

void XmlConfigTest::keyText()
{
    QFETCH(QString, key);
    QFETCH(QByteArray, content);
    QFETCH(QString, setting);
    QFETCH(QString, written);

    QMap<QString, QByteArray> keys = NonDefaultKeys();
    keys[key] = content;
    WriteAll(path_, BuildConfig(keys));
    Start();
    QCOMPARE(SettingText(key), setting);
    // The others still read: the file's texts are already their written forms.
    const QMap<QString, QByteArray> base = NonDefaultKeys();
    const QMap<QString, QString> baseSettings{
        {"OrdersFileName", "/data/o.xml"}, {"WindRow", "true"}, {"WindRowMode", "7"},
        {"WindRowChar", "A"}, {"SaveASCII", "false"}, {"InsertTime", "true"},
        {"ChangePointToColon", "true"}, {"Kind", "1"}, {"Protocol", "1"},
        {"Host", "10.1.1.1"}, {"Port", "2000"}};
    for (auto it = baseSettings.cbegin(); it != baseSettings.cend(); ++it) {
        if (it.key() != key)
            QCOMPARE(SettingText(it.key()), it.value());
    }

    Close();
    QCOMPARE(SavedText(path_, key), written);
    for (auto it = base.cbegin(); it != base.cend(); ++it) {
        if (it.key() != key)
            QCOMPARE(SavedText(path_, it.key()), QString::fromUtf8(it.value()));
    }
}

void XmlConfigTest::emptyOrdersFileNameStillSaved()
{
    QMap<QString, QByteArray> keys = NonDefaultKeys();
    keys["OrdersFileName"] = "";
    WriteAll(path_, BuildConfig(keys));
    Start();
    QCOMPARE(OrdersFileName, QString());
    EthHost = "10.9.9.9";
    Close();
    QCOMPARE(SavedText(path_, "Host"), QString("10.9.9.9"));
    QCOMPARE(SavedText(path_, "OrdersFileName"), QString());
}

void XmlConfigTest::otherRootNameKept()
{
    WriteAll(path_, "<Config><Options><WindRow>Yes</WindRow></Options></Config>");
    Start();
    QCOMPARE(WindRow, true);
    QCOMPARE(EthPort, 1001);
    Close();
    const QDomElement root = Parse(path_).documentElement();
    QCOMPARE(root.tagName(), QString("Config"));
    QCOMPARE(ChildNames(root), QStringList({"Options", "Interface"}));
    QCOMPARE(ChildNames(root.firstChildElement("Options")).first(), QString("WindRow"));
    QCOMPARE(ChildNames(root.firstChildElement("Interface")), InterfaceKeys);
    QCOMPARE(SavedText(path_, "WindRow"), QString("Yes"));
}

void XmlConfigTest::unknownContentKept()
{
    WriteAll(path_, "<?xml version=\"1.0\"?>\n<!-- top note -->\n"
                    "<TarvikConfig version=\"3\"><Extra a=\"1\">x<y/></Extra>"
                    "<Options><!-- keep --><Custom>1</Custom></Options>"
                    "<Interface><Host id=\"h\">1.2.3.4</Host></Interface></TarvikConfig>");
    Start();
    QCOMPARE(EthHost, QString("1.2.3.4"));
    EthHost = "5.6.7.8";
    Close();

    const QByteArray saved = ReadAll(path_);
    QVERIFY(saved.startsWith("<?xml version="));
    QVERIFY(saved.contains("<!-- top note -->"));
    QVERIFY(saved.contains("<!-- keep -->"));
    const QDomElement root = Parse(path_).documentElement();
    QCOMPARE(root.attribute("version"), QString("3"));
    QCOMPARE(ChildNames(root), QStringList({"Extra", "Options", "Interface"}));
    QCOMPARE(root.firstChildElement("Extra").attribute("a"), QString("1"));
    QCOMPARE(ChildNames(root.firstChildElement("Extra")), QStringList({"y"}));
    QCOMPARE(ChildNames(root.firstChildElement("Options")), QStringList{"Custom"} + OptionKeys);
    const QDomElement host = root.firstChildElement("Interface").firstChildElement("Host");
    QCOMPARE(host.attribute("id"), QString("h"));
    QCOMPARE(host.text(), QString("5.6.7.8"));
}

void XmlConfigTest::duplicatesFirstCounts()
{
    WriteAll(path_, "<TarvikConfig><Interface><Port>2000</Port><Port>3000</Port></Interface>"
                    "<Interface><Host>9.9.9.9</Host></Interface></TarvikConfig>");
    Start();
    QCOMPARE(EthPort, 2000);
    QCOMPARE(EthHost, QString("192.168.1.100"));
    EthPort = 4000;
    Close();

    const QDomElement root = Parse(path_).documentElement();
    QCOMPARE(ChildNames(root), QStringList({"Interface", "Interface", "Options"}));
    const QDomElement first = root.firstChildElement("Interface");
    QCOMPARE(ChildNames(first), QStringList({"Port", "Port", "Kind", "Protocol", "Host"}));
    QCOMPARE(first.firstChildElement("Port").text(), QString("4000"));
    QCOMPARE(first.firstChildElement("Port").nextSiblingElement("Port").text(), QString("3000"));
    QCOMPARE(first.nextSiblingElement("Interface").firstChildElement("Host").text(), QString("9.9.9.9"));
}

void XmlConfigTest::unreadableFile_data()
{
    QTest::addColumn<QByteArray>("content");

    const QByteArray valid = BuildConfig(NonDefaultKeys());
    QByteArray binary(4096, '\0');
    QRandomGenerator random(20261209);  // seeded: the same bytes on every run
    for (char& c : binary)
        c = char(random.bounded(256));
    QByteArray bomb = "<!DOCTYPE b [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">";
    QByteArray previous = "a";
    for (int level = 1; level <= 12; ++level) {
        const QByteArray name = "e" + QByteArray::number(level);
        bomb += "<!ENTITY " + name + " \"" + QByteArray("&" + previous + ";").repeated(10) + "\">";
        previous = name;
    }
    bomb += "]><TarvikConfig><Interface><Host>&" + previous + ";</Host></Interface></TarvikConfig>";
    // Well-formed and ours, but far beyond any real config.xml.
    QByteArray huge = valid;
    huge.insert(huge.indexOf("<Options>"), "<!--" + QByteArray(2 * 1024 * 1024, 'x') + "-->");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("malformed") << QByteArray("<TarvikConfig><Options><WindRow>Yes</Options>");
    QTest::newRow("truncated") << valid.left(valid.size() / 2);
    QTest::newRow("binary") << binary;
    QTest::newRow("text, not XML") << QByteArray("Port=2000\nHost=10.1.1.1\n");
    QTest::newRow("two roots") << valid + valid;
    QTest::newRow("entity expansion bomb") << bomb;
    QTest::newRow("larger than 1 MiB") << huge;
}

void XmlConfigTest::unreadableFile()
{
    QFETCH(QByteArray, content);
    WriteAll(path_, content);
    Start();
    QCOMPARE(EthHost, QString("192.168.1.100"));
    QCOMPARE(EthPort, 1001);
    QCOMPARE(WindRow, false);
    QCOMPARE(SaveASCII, true);
    QCOMPARE(OrdersFileName, folder_->File("orders.xml"));

    EthPort = 2222;
    Close();
    const QDomElement root = Parse(path_).documentElement();
    QCOMPARE(root.tagName(), QString("TarvikConfig"));
    QCOMPARE(ChildNames(root.firstChildElement("Options")), OptionKeys);
    QCOMPARE(ChildNames(root.firstChildElement("Interface")), InterfaceKeys);
    QCOMPARE(SavedText(path_, "Port"), QString("2222"));
    QCOMPARE(SavedText(path_, "Host"), QString("192.168.1.100"));
}

void XmlConfigTest::externalEntityNotFetched()
{
    WriteAll(folder_->File("secret.txt"), "secret");
    WriteAll(path_, "<!DOCTYPE c [<!ENTITY s SYSTEM \"" + folder_->File("secret.txt").toUtf8()
                        + "\">]><TarvikConfig><Interface><Host>&s;</Host><Port>2000</Port>"
                          "</Interface></TarvikConfig>");
    Start();
    QVERIFY(!EthHost.contains("secret"));
    QCOMPARE(EthPort, 2000);
    Close();
    QVERIFY(!ReadAll(path_).contains("secret<"));
}

// A hand-edited file may declare an 8-bit encoding; the saved bytes are
// UTF-8, so the declaration must say so or the next start misreads them.
void XmlConfigTest::declaredEncodingMatchesSavedBytes()
{
    WriteAll(path_, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
                    "<TarvikConfig><Interface><Host>caf\xe9</Host></Interface></TarvikConfig>");
    const QString cafe = QString::fromUtf8("caf\u00e9");
    Start();
    QCOMPARE(EthHost, cafe);
    Close();

    ResetGlobals();
    doc_ = TXMLDocument{};
    doc_.FileName = path_;
    Start();
    QCOMPARE(EthHost, cafe);
}

// A setting holding characters XML cannot carry must not cost every other
// setting at the next start.
void XmlConfigTest::unwritableCharactersLeftOut()
{
    Start();
    EthHost = QString("10.0.0.1") + QChar(0x1) + QChar(0xFFFE) + QChar(0xD800);
    EthPort = 2000;
    WindRowChar = QString::fromUtf8("\U0001F600");
    Close();

    ResetGlobals();
    doc_ = TXMLDocument{};
    doc_.FileName = path_;
    Start();
    QCOMPARE(EthHost, QString("10.0.0.1"));
    QCOMPARE(EthPort, 2000);
    QCOMPARE(WindRowChar, QString::fromUtf8("\U0001F600"));
}

void XmlConfigTest::failedSaveLeavesNoPartialFile()
{
    // Root may write anywhere, but nobody can create a file below a regular file.
    const QString blocker = folder_->File("blocker");
    WriteAll(blocker, "not a folder");
    doc_.FileName = blocker + "/config.xml";
    Start();
    Close();
    QCOMPARE(ReadAll(blocker), QByteArray("not a folder"));
    QCOMPARE(QDir(folder_->Path()).entryList(QDir::Files | QDir::Hidden), QStringList({"blocker"}));
}

void XmlConfigTest::failedWriteKeepsOldFileWhole()
{
    const QByteArray old = BuildConfig(NonDefaultKeys());
    WriteAll(path_, old);
    Start();
    EthHost = QString(4096, u'h');

    // A file size limit makes the write fail part way, as a full disk would.
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1024;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    Close();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QCOMPARE(ReadAll(path_), old);
    QCOMPARE(QDir(folder_->Path()).entryList(QDir::Files | QDir::Hidden), QStringList({"config.xml"}));
}

void XmlConfigTest::movedFolderKeepsOrdersFileName()
{
    Start();
    Close();
    const QString oldOrders = folder_->File("orders.xml");

    QTemporaryDir moved;
    QVERIFY(QFile::copy(path_, moved.filePath("config.xml")));
    SetAppFolder(moved.path());
    ResetGlobals();
    doc_ = TXMLDocument{};
    doc_.FileName = ConfigFilePath();
    QCOMPARE(doc_.FileName, moved.filePath("config.xml"));
    Start();
    QCOMPARE(OrdersFileName, oldOrders);
    Close();
    QCOMPARE(SavedText(doc_.FileName, "OrdersFileName"), oldOrders);
}

QTEST_GUILESS_MAIN(XmlConfigTest)
#include "xmlconfig_test.moc"
