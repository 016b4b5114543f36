#include "AppFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class AppFolderTest : public QObject {
    Q_OBJECT
private slots:
    void systemFoldersNeverHoldSettings_data();
    void systemFoldersNeverHoldSettings();
    void ownFolderHoldsSettingsWhenWritable();
    void programFolderOrConfigFolder();
};

void AppFolderTest::systemFoldersNeverHoldSettings_data()
{
    QTest::addColumn<QString>("folder");
    for (const char* f : {"/usr/bin", "/usr/bin/", "/usr/local/bin", "/bin", "/usr/sbin", "/usr//bin"})
        QTest::newRow(f) << QString::fromLatin1(f);
    QTest::newRow("~/.local/bin") << QDir::homePath() + "/.local/bin";
}

// Root may write in these, and a technician may well start the program with
// sudo to reach a serial port: settings must still not land among programs.
void AppFolderTest::systemFoldersNeverHoldSettings()
{
    QFETCH(QString, folder);
    QVERIFY(!SettingsBesideProgram(folder));
}

void AppFolderTest::ownFolderHoldsSettingsWhenWritable()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(SettingsBesideProgram(dir.path()));

    // Root writes anywhere, so only a normal user can see the read-only case.
    if (::geteuid() == 0)
        return;
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    QVERIFY(!SettingsBesideProgram(dir.path()));
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void AppFolderTest::programFolderOrConfigFolder()
{
    QTemporaryDir config;
    QVERIFY(config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    SetAppFolder({});
    const QString folder = AppFolder();
    QVERIFY(folder.endsWith('/'));
    // This test runs from the build, which keeps its settings beside itself.
    QCOMPARE(folder, QCoreApplication::applicationDirPath() + '/');
    QVERIFY(QDir(config.path()).isEmpty());

    SetAppFolder(config.path());
    QCOMPARE(AppFolder(), config.path() + '/');
}

QTEST_GUILESS_MAIN(AppFolderTest)
#include "appfolder_test.moc"
