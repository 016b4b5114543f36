#include "AppFolder.h"
#include "SettingsFile.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

class AppFolderTest : public QObject {
    Q_OBJECT
private slots:
    void systemFoldersNeverHoldSettings_data();
    void systemFoldersNeverHoldSettings();
    void ownFolderHoldsSettingsWhenWritable();
    void programFolderOrConfigFolder();
    void rootWritesThroughLinksOnlyToTheLinkOwnersFiles_data();
    void rootWritesThroughLinksOnlyToTheLinkOwnersFiles();
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

void AppFolderTest::rootWritesThroughLinksOnlyToTheLinkOwnersFiles_data()
{
    QTest::addColumn<uint>("linkOwner");
    QTest::addColumn<uint>("targetOwner");
    QTest::addColumn<bool>("written");
    QTest::newRow("another user's link to a root-only file") << 65534u << 0u << false;
    QTest::newRow("a link whose owner owns the file (dotfiles)") << 65534u << 65534u << true;
}

// Run as root with the user's HOME (sudo -E), a settings file linked by the
// user to a file the user could not write must stay as it is.
void AppFolderTest::rootWritesThroughLinksOnlyToTheLinkOwnersFiles()
{
    if (::geteuid() != 0)
        QSKIP("needs root: only root can give a link and its file other owners");
    QFETCH(uint, linkOwner);
    QFETCH(uint, targetOwner);
    QFETCH(bool, written);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString target = dir.filePath("secret"), link = dir.filePath("config.xml");
    QFile f(target);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("old");
    f.close();
    QVERIFY(::chmod(QFile::encodeName(target).constData(), 0600) == 0);
    QVERIFY(::chown(QFile::encodeName(target).constData(), targetOwner, targetOwner) == 0);
    QVERIFY(QFile::link(target, link));
    QVERIFY(::lchown(QFile::encodeName(link).constData(), linkOwner, linkOwner) == 0);

    QCOMPARE(SaveAtomically(link, "new"), written);
    QFile back(target);
    QVERIFY(back.open(QIODevice::ReadOnly));
    QCOMPARE(back.readAll(), written ? QByteArray("new") : QByteArray("old"));
    QVERIFY(QFileInfo(link).isSymLink());  // written through, never replaced
    QCOMPARE(QFileInfo(target).ownerId(), targetOwner);
    QCOMPARE(RefusedLink(link).isEmpty(), written);
}
