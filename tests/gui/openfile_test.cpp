// File > Open through the real file dialog, and a file that cannot be read
// reaching the application's handling of unhandled errors.
#include "Application.h"
#include "Global.h"
#include "StatusLine.h"
#include "TestSupport.h"
#include "WindowTestEnv.h"
#include "okno.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QScopeGuard>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <memory>
#include <sys/stat.h>

class OpenFileTest : public QObject {
    Q_OBJECT

    std::unique_ptr<WindowTestEnv> env;

    QString Write(const QString& name, const QByteArray& bytes)
    {
        const QString path = env->folder.File(name);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
        return path;
    }

private slots:
    void init() { env = std::make_unique<WindowTestEnv>(); }
    void cleanup() { env.reset(); }

    // Columns stay 64 pixels: a name they cut shows whole as the cell's tooltip, a name they show whole has none.
    void cutCellShowsItsWholeTextAsTooltip()
    {
        TForm1 w;
        w.LoadDatabase(Write("names.csv", "7;Salt;Sea salt, coarse, in a 1 kg bag\n"));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.StringGrid1->columnWidth(2), 64);
        const auto hover = [&](int col) {
            const QPoint at = w.StringGrid1->visualRect(w.Table.index(0, col)).center();
            QHelpEvent help(QEvent::ToolTip, at, w.StringGrid1->viewport()->mapToGlobal(at));
            QApplication::sendEvent(w.StringGrid1->viewport(), &help);
        };
        hover(1);
        QVERIFY(!QToolTip::isVisible());
        hover(2);
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), QStringLiteral("Sea salt, coarse, in a 1 kg bag"));
        w.FormClose();
    }

    void openThroughTheDialog()
    {
        TForm1 w;
        QCOMPARE(w.OpenDialog1->nameFilters(), (QStringList{"csv files (*.csv)", "all files (*.*)"}));
        const QString path = Write("products.csv", "1;Salt;1.20\n2;Pepper\n");
        QTimer::singleShot(0, &w, [&] {
            QCOMPARE(w.OpenDialog1->selectedNameFilter(), QStringLiteral("csv files (*.csv)"));
            w.OpenDialog1->selectFile(path);
            QMetaObject::invokeMethod(w.OpenDialog1, "accept");
        });
        w.Otwrz1->trigger();
        QCOMPARE(w.Table.RowCount(), 2);
        QCOMPARE(w.Table.ColCount(), 3);
        QCOMPARE(w.StringGrid1->model()->index(1, 1).data().toString(), QStringLiteral("Pepper"));
        QCOMPARE(w.Table.Record(1), QByteArray("2;Pepper;"));

        QTimer::singleShot(0, &w, [&] { w.OpenDialog1->reject(); });  // cancel changes nothing
        w.Otwrz1->trigger();
        QCOMPARE(w.Table.RowCount(), 2);

        // "all files (*.*)" lists a file without an extension too.
        Write("PRODUCTS", "3;Salt\n");
        QTimer::singleShot(0, &w, [&] {
            const auto close = qScopeGuard([&] { w.OpenDialog1->reject(); });
            auto* model = w.OpenDialog1->findChild<QFileSystemModel*>();
            auto* types = w.OpenDialog1->findChild<QComboBox*>("fileTypeCombo");
            QVERIFY(model && types);
            w.OpenDialog1->setDirectory(env->folder.Path());
            const auto listed = [&] {
                const QModelIndex folder = model->index(env->folder.Path());
                for (int row = 0; row < model->rowCount(folder); ++row)
                    if (model->index(row, 0, folder).data().toString() == QLatin1String("PRODUCTS"))
                        return true;
                return false;
            };
            QTRY_VERIFY(model->rowCount(model->index(env->folder.Path())) > 0);
            QVERIFY(!listed());  // csv files only
            types->setCurrentIndex(1);  // as the user's choice in the list emits it
            emit types->activated(1);
            emit types->textActivated(types->itemText(1));
            QTRY_VERIFY(listed());
        });
        w.Otwrz1->trigger();
        w.FormClose();
    }

    // A name typed and Enter, the keys going where a user's go (the
    // completer's list while it is up): the file opens and nothing of the
    // dialog stays on screen to take the next keys: the grid has them again.
    void typedNameAndEnterLeaveNothingUp()
    {
        TForm1 w;
        Write("products.csv", "1;Salt\n2;Pepper\n");
        Write("prices.csv", "1;1.20\n");
        w.OpenDialog1->setDirectory(env->folder.Path());
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.StringGrid1->setFocus(Qt::OtherFocusReason);
        bool listed = false;
        QTimer::singleShot(0, &w, [&] {
            const auto close = qScopeGuard([&] {
                if (w.OpenDialog1->isVisible())
                    w.OpenDialog1->reject();
            });
            auto* edit = w.OpenDialog1->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(edit);
            QTRY_COMPARE(QApplication::focusWidget(), edit);
            const auto type = [edit](const QString& keys) {
                for (const QChar c : keys) {
                    QWidget* to = QApplication::activePopupWidget() ? QApplication::activePopupWidget() : edit;
                    QTest::keyClick(to, c.toLatin1());
                }
            };
            type(QStringLiteral("pro"));
            QTRY_VERIFY(QApplication::activePopupWidget());  // the completer lists products.csv
            listed = true;
            type(QStringLiteral("ducts.csv"));
            QWidget* to = QApplication::activePopupWidget() ? QApplication::activePopupWidget() : edit;
            QTest::keyClick(to, Qt::Key_Return);
        });
        w.Otwrz1->trigger();
        QVERIFY(listed);
        QCOMPARE(w.Table.RowCount(), 2);
        QCOMPARE(QApplication::activePopupWidget(), nullptr);
        QTRY_COMPARE(QApplication::focusWidget(), w.StringGrid1);
        w.FormClose();
    }

    void unreadableFileIsReportedAndTheGridKept_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing file") << "gone.csv" << "No such file";
        QTest::newRow("a folder") << "" << "directory";
        QTest::newRow("a named pipe nobody writes to") << "pipe.csv" << "pipe.csv is not a regular file";
    }
    void unreadableFileIsReportedAndTheGridKept()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        TForm1 w;
        w.LoadDatabase(Write("first.csv", "a;b\n"));
        const QString path = name.isEmpty() ? env->folder.Path() : env->folder.File(name);
        if (name == QLatin1String("pipe.csv"))
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        // As from a menu click: the error leaves the handler and reaches the application.
        QTimer::singleShot(0, &w, [&] { w.LoadDatabase(path); });
        QTRY_COMPARE(env->boxes.Count(), 1);
        QVERIFY2(env->boxes.Boxes()[0].text.contains(path), qPrintable(env->boxes.Boxes()[0].text));
        QVERIFY2(env->boxes.Boxes()[0].text.contains(reason, Qt::CaseInsensitive), qPrintable(env->boxes.Boxes()[0].text));
        QCOMPARE(w.Table.Record(0), QByteArray("a;b"));
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);  // the busy cursor is gone again
        w.FormClose();
    }

    // File > Open Recent: newest first, ten at most, kept beside config.xml
    // across starts with the names' bytes; a file gone since shows disabled.
    void recentFilesRoundTrip()
    {
        QStringList opened;
        {
            TForm1 w;
            for (int i = 0; i < 12; ++i) {
                opened.prepend(Write(QStringLiteral("wędliny %1; ą.csv").arg(i), "1;a\n"));
                w.LoadDatabase(opened.first());
            }
            w.LoadDatabase(opened[3]);  // opened again: to the front
            opened.move(3, 0);
            w.close();
        }
        opened = opened.mid(0, 10);
        QByteArray file;
        for (const QString& f : opened)
            file += QFile::encodeName(f) + '\n';
        QCOMPARE(ReadAll(env->folder.File("recent.txt")), file);
        QVERIFY(QFile::remove(opened[1]));

        TForm1 w;
        emit w.OpenRecent1->aboutToShow();
        QStringList shown;
        QList<bool> enabled;
        for (QAction* a : w.OpenRecent1->actions())
            if (!a->isSeparator() && a != w.ClearRecent1) {
                shown << a->text();
                enabled << a->isEnabled();
            }
        QCOMPARE(shown, opened);
        QCOMPARE(enabled.count(false), 1);
        QVERIFY(!enabled[1]);
        w.OpenRecent1->actions().value(4)->trigger();
        QCOMPARE(w.Recent.Files().value(0), opened[4]);
        w.ClearRecent1->trigger();
        w.FormClose();
        QCOMPARE(ReadAll(env->folder.File("recent.txt")), QByteArray());
    }

    // A file dropped on the window opens as File > Open opens it, with the
    // same message when it cannot; of several, the first.
    void droppedFileOpensAsFileOpen_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<QString>("status");
        QTest::newRow("one file") << QStringList{"drop.csv"} << "" << "";
        QTest::newRow("three files: the first") << QStringList{"drop.csv", "b.csv", "c.csv"} << ""
                                                << "3 files dropped: opened the first, drop.csv";
        QTest::newRow("a named pipe") << QStringList{"pipe.csv"} << "pipe.csv is not a regular file" << "";
        QTest::newRow("a folder") << QStringList{""} << "directory" << "";
    }
    void droppedFileOpensAsFileOpen()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, refusal);
        QFETCH(QString, status);
        const QByteArray bytes("1;\xA5\xB9 \xFF;x\r\n2;\xE6\n");
        TForm1 w;
        w.LoadDatabase(Write("first.csv", "a;b\n"));
        QList<QUrl> urls;
        for (const QString& name : names) {
            const QString path = name.isEmpty() ? env->folder.Path() : env->folder.File(name);
            if (name == QLatin1String("pipe.csv"))
                QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
            else if (!name.isEmpty())
                Write(name, bytes);
            urls << QUrl::fromLocalFile(path);
        }
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &drop);
        if (refusal.isEmpty()) {
            QCOMPARE(env->boxes.Count(), 0);
            QCOMPARE(w.Table.Record(0), QByteArray("1;\xA5\xB9 \xFF;x"));
            QCOMPARE(w.Table.Record(1), QByteArray("2;\xE6;"));
        } else {
            QCOMPARE(env->boxes.Count(), 1);
            QVERIFY2(env->boxes.Boxes()[0].text.contains(refusal, Qt::CaseInsensitive), qPrintable(env->boxes.Boxes()[0].text));
            QCOMPARE(w.Table.Record(0), QByteArray("a;b"));
        }
        QCOMPARE(w.StatusLine->Text(), status);
        w.FormClose();
    }
};

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    OpenFileTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "openfile_test.moc"
