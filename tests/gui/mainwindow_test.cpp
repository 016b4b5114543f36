// The main window on the offscreen platform: start, link display, Connect
// against a real pseudo-terminal, the close sequence and the files it writes.
#include "CommLog.h"
#include "CommLogPanel.h"
#include "Global.h"
#include "PostMessage.h"
#include "RadioGroup.h"
#include "StatusLine.h"
#include "TestSupport.h"
#include "WindowTestEnv.h"
#include "okno.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDomDocument>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTest>

#include <memory>

#include <termios.h>

class MainWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<WindowTestEnv> env;

    static QColor LabelColor(const TForm1& w)
    {
        return w.LabelConnection->palette().color(QPalette::WindowText);
    }

private slots:
    void init() { env = std::make_unique<WindowTestEnv>(); }
    void cleanup() { env.reset(); }

    void startsWithEmptyGridAndSerialLinkDown()
    {
        TForm1 w;
        w.show();
        QCOMPARE(w.windowTitle(), QStringLiteral(" Scale database v1.03"));
        QCOMPARE(w.StringGrid1->model()->rowCount(), 5);
        QCOMPARE(w.StringGrid1->model()->columnCount(), 5);
        QCOMPARE(w.LabelConnection->text(), QStringLiteral("COM1 9600bps disconnected"));
        QCOMPARE(LabelColor(w), QColor(255, 0, 0));
        QCOMPARE(w.btnOpenPort->text(), QStringLiteral("Connect"));
        QCOMPARE(w.bbWyslijBaze->text(), QStringLiteral("Send database"));
        QCOMPARE(w.rgBaza->Items(), (QStringList{"product database", "user database"}));
        QCOMPARE(MainWindowHandle, static_cast<QObject*>(&w));
        QVERIFY(w.findChild<QPushButton*>("btnOpenPort"));
        QVERIFY(w.findChild<QProgressBar*>("ProgressBar1"));
        QTRY_VERIFY(w.windowState() & Qt::WindowMaximized);
        QVERIFY(!w.windowIcon().pixmap(48, 48).isNull());
        // The log's panel is there, hidden and holding no model, until asked for.
        QVERIFY(w.CommLogPanel->isHidden());
        QVERIFY(!w.CommLogPanel->LogView->model());
        w.CommLogPanel->toggleViewAction()->trigger();
        QTRY_VERIFY(w.CommLogPanel->isVisible());
        QCOMPARE(w.CommLogPanel->LogView->model(), &w.CommLog);
        w.FormClose();
    }

    // The panel draws an entry's text as the log decodes it, and anew when
    // the decoding changes: what it drew before is not shown again.
    void logPanelRedrawsOnNewDecoding()
    {
        const auto textCell = [](TCommLog::TDecoding from, TCommLog::TDecoding to) {
            QMainWindow window;
            TCommLog log;
            log.SetDecoding(from);
            log.Append(0, TCommLog::lkSent, "Sr\xE9\r\n");
            TCommLogPanel panel(log, &window);
            window.resize(800, 300);
            window.show();
            panel.show();
            QTableView* view = panel.LogView;
            const QRect cell = view->visualRect(log.index(0, TCommLog::lcText));
            view->viewport()->grab(cell);  // drawn once as it was
            log.SetDecoding(to);
            return view->viewport()->grab(cell).toImage();
        };
        QCOMPARE(textCell(TCommLog::ldUnknown, TCommLog::ldWindows1250),
                 textCell(TCommLog::ldWindows1250, TCommLog::ldWindows1250));
        QVERIFY(textCell(TCommLog::ldUnknown, TCommLog::ldUnknown) !=
                textCell(TCommLog::ldWindows1250, TCommLog::ldWindows1250));
    }

    // New rows are painted alone and the rows above scrolled: what is on the
    // screen must be what painting the whole view draws, before the view is
    // full, once it scrolls, and after a clear.
    void logPanelShowsAppendedRowsAsAWholeRepaint()
    {
        QMainWindow window;
        TCommLog log;
        TCommLogPanel panel(log, &window);
        window.resize(800, 300);
        window.show();
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QWidget* viewport = panel.LogView->viewport();
        const auto same = [&] {
            QCoreApplication::processEvents();
            const QPoint at = viewport->mapTo(&window, QPoint(0, 0));
            const QImage shown = window.screen()->grabWindow(window.winId(), at.x(), at.y(), viewport->width(),
                                                              viewport->height()).toImage();
            return shown.convertToFormat(QImage::Format_RGB32) ==
                   viewport->grab().toImage().convertToFormat(QImage::Format_RGB32);
        };
        for (int i = 0; i < 40; ++i) {
            log.Append(0, TCommLog::lkSent, "Sr" + QByteArray::number(i) + "\r\n");
            if (i % 3 == 0)
                log.Append(0, TCommLog::lkReceived, "Mr\r\n");
            log.Flush();
            QVERIFY2(same(), qPrintable(QString("after entry %1").arg(i)));
            if (i == 30)
                log.Clear();
        }
    }

    // The form activates again when it takes over from another of the
    // program's windows, not when the user comes back from another program.
    void activationMaximisesOnlyFromOwnWindows()
    {
        TForm1 w;
        QWidget other;
        w.show();
        other.show();
        QApplication::setActiveWindow(&w);
        QTRY_VERIFY(w.windowState() & Qt::WindowMaximized);

        w.showNormal();
        QApplication::setActiveWindow(nullptr);  // another program took the focus
        QApplication::setActiveWindow(&w);
        QTRY_VERIFY(w.isActiveWindow());
        QVERIFY(!(w.windowState() & Qt::WindowMaximized));

        QApplication::setActiveWindow(&other);
        QApplication::setActiveWindow(&w);
        QTRY_VERIFY(w.windowState() & Qt::WindowMaximized);
        w.FormClose();
    }

    void closeWritesDefaultConfig()
    {
        {
            TForm1 w;
            w.close();
        }
        QFile f(env->folder.File("config.xml"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QDomDocument doc;
        QVERIFY(doc.setContent(&f));
        const QDomElement root = doc.documentElement();
        QCOMPARE(root.tagName(), QStringLiteral("TarvikConfig"));
        QStringList sections, iface;
        for (QDomElement e = root.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
            sections << e.tagName();
        QCOMPARE(sections, (QStringList{"Options", "Interface"}));
        QCOMPARE(root.firstChildElement("Options").childNodes().size(), 7);
        for (QDomElement e = root.firstChildElement("Interface").firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
            iface << e.tagName() + '=' + e.text();
        QCOMPARE(iface, (QStringList{"Kind=COM", "Protocol=TCP", "Host=192.168.1.100", "Port=1001"}));
        QVERIFY(QFile::exists(env->folder.File("ComPortTest.ini")));
    }

    void connectOpensThePortAndTurnsTheLabelGreen()
    {
        PtyPair pty;
        QVERIFY(pty.IsOpen());
        TForm1 w;
        w.ComPort1.SetPort(pty.SlavePath());
        w.ComPort1.SetBaudRate(br19200);
        w.btnOpenPort->click();
        QVERIFY(w.ComPort1.Connected());
        QCOMPARE(w.LinkState, 2);
        QCOMPARE(w.LabelConnection->text(), pty.SlavePath() + QStringLiteral(" 19200bps connected"));
        QCOMPARE(LabelColor(w), QColor(0, 128, 0));
        QCOMPARE(w.btnOpenPort->text(), QStringLiteral("Disconnect"));
        QCOMPARE(w.LabelConnection->toolTip(), QString());
        QCOMPARE(w.StatusLine->Text(), QString());
        w.btnOpenPort->click();
        QVERIFY(!w.ComPort1.Connected());
        QCOMPARE(w.LinkState, 0);
        QCOMPARE(w.LabelConnection->text(), pty.SlavePath() + QStringLiteral(" 19200bps disconnected"));
        QCOMPARE(env->boxes.Count(), 0);
        w.FormClose();
    }

    // An adapter unplugged and plugged back: a new device under the same
    // stable name, opened again by Connect without a restart.
    void unpluggedAdapterReconnects()
    {
        ScratchSerialTree tree;
        PtyPair first;
        const QString name = QStringLiteral("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
        const QString link = tree.Link(name, "ttyUSB0", first.SlavePath());
        TForm1 w;
        w.ComPort1.SetPort(link);
        w.btnOpenPort->click();
        QCOMPARE(LabelColor(w), QColor(0, 128, 0));

        first.CloseMaster();
        QTRY_COMPARE(w.LabelConnection->text(), link + QStringLiteral(" 9600bps disconnected"));
        QCOMPARE(LabelColor(w), QColor(255, 0, 0));
        QCOMPARE(w.btnOpenPort->text(), QStringLiteral("Connect"));

        PtyPair second;
        tree.Link(name, "ttyUSB0", second.SlavePath());
        w.btnOpenPort->click();
        QCOMPARE(w.LabelConnection->text(), link + QStringLiteral(" 9600bps connected"));
        QCOMPARE(LabelColor(w), QColor(0, 128, 0));
        w.ComPort1.WriteText("S");
        QCOMPARE(second.ReadExactly(1), QByteArray("S"));
        QCOMPARE(env->boxes.Count(), 0);
        w.FormClose();
    }

    void serialSettingsFileChoosesTheDevice()
    {
        PtyPair pty;
        QFile ini(env->folder.File("ComPortTest.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Other]\nKey=kept\n[ComPort1]\nPort=" + pty.SlavePath().toLocal8Bit() + "\nBaudRate=19200\n");
        ini.close();
        {
            TForm1 w;
            w.btnOpenPort->click();
            QVERIFY(w.ComPort1.Connected());
            termios t{};
            QCOMPARE(tcgetattr(pty.Master(), &t), 0);
            QCOMPARE(cfgetospeed(&t), speed_t(B19200));
            QCOMPARE(w.LabelConnection->text(), pty.SlavePath() + QStringLiteral(" 19200bps connected"));
            w.close();
        }
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray saved = ini.readAll();
        QVERIFY2(saved.contains("Port=" + pty.SlavePath().toLocal8Bit()) && saved.contains("BaudRate=19200")
                     && saved.contains("Key=kept"), saved.constData());
    }

    void failedConnectShowsTheMessage_data()
    {
        QTest::addColumn<bool>("held");  // a pseudo-terminal another program holds, or a missing device
        QTest::addColumn<QString>("cause");
        QTest::newRow("missing device") << false << "serial device not found";
        QTest::newRow("device held by another program") << true << "serial device in use by another program";
    }
    void failedConnectShowsTheMessage()
    {
        QFETCH(bool, held);
        QFETCH(QString, cause);
        PtyPair pty;
        const QString device = held ? pty.SlavePath() : QStringLiteral("/dev/no-such-scale");
        ExclusiveHold other(pty.SlavePath());
        QVERIFY(other.Held());
        TForm1 w;
        w.ComPort1.SetPort(device);
        w.btnOpenPort->click();
        QCOMPARE(env->boxes.Count(), 1);
        QCOMPARE(env->boxes.Boxes()[0].text, QStringLiteral("Selected COM port does not exist or is occupied by other software"));
        QCOMPARE(env->boxes.Boxes()[0].caption, QStringLiteral("Dirorod9"));
        QCOMPARE(env->boxes.Boxes()[0].flags, 48);
        QCOMPARE(w.CommLog.Count(), 1);
        QVERIFY(w.CommLog.At(0).Bytes.startsWith("failed: "));
        QCOMPARE(w.LinkState, 0);
        QCOMPARE(w.btnOpenPort->text(), QStringLiteral("Connect"));
        QVERIFY(w.LabelConnection->text().endsWith(QStringLiteral(" disconnected")));
        QCOMPARE(w.LabelConnection->toolTip(), cause);
        QCOMPARE(w.StatusLine->Text(), device + QStringLiteral(": ") + cause);
        w.FormClose();
    }

    void baudRateNames_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<QString>("label");
        QTest::newRow("4800") << int(br4800) << "COM1 4800bps disconnected";
        QTest::newRow("115200") << int(br115200) << "COM1 115200bps disconnected";
        QTest::newRow("14400 is user defined") << int(br14400) << "COM1 user definedbps disconnected";
        QTest::newRow("custom is user defined") << int(brCustom) << "COM1 user definedbps disconnected";
    }
    void baudRateNames()
    {
        QFETCH(int, rate);
        QFETCH(QString, label);
        TForm1 w;
        w.ComPort1.SetBaudRate(static_cast<TBaudRate>(rate));
        w.ShowConnectionState();
        QCOMPARE(w.LabelConnection->text(), label);
        w.FormClose();
    }

    void ethernetLabelFollowsPostedStates()
    {
        TForm1 w;
        ConnectionKind = 1;
        EthHost = QStringLiteral("10.0.0.5");
        w.ShowConnectionState();
        QCOMPARE(w.LabelConnection->text(), QStringLiteral("10.0.0.5 disconnected"));
        PostMessage(&w, WM_LINKSTATE, 1, 0);
        QCOMPARE(w.LinkState, 0);  // posted, not sent
        QTRY_COMPARE(w.LinkState, 1);
        QCOMPARE(w.LabelConnection->text(), QStringLiteral("10.0.0.5"));
        QCOMPARE(w.btnOpenPort->text(), QStringLiteral("Connect"));
        PostMessage(&w, WM_LINKSTATE, 2, 0);
        QTRY_COMPARE(w.LinkState, 2);
        QCOMPARE(w.LabelConnection->text(), QStringLiteral("10.0.0.5 connected"));
        QCOMPARE(w.btnOpenPort->text(), QStringLiteral("Disconnect"));
        QCOMPARE(LabelColor(w), QColor(0, 128, 0));
        PostMessage(&w, WM_LINKSTATE, -1, 0);
        QTRY_COMPARE(w.LinkState, 255);
        QCOMPARE(w.LabelConnection->text(), QStringLiteral("10.0.0.5"));
        QCOMPARE(w.btnOpenPort->text(), QStringLiteral("Disconnect"));
        w.FormClose();
    }

    void deviceTypeChangesTheKinds()
    {
        TForm1 w;
        w.rgBaza->SetItemIndex(1);
        w.rgUrzadzenie->SetItemIndex(1);
        QCOMPARE(w.rgBaza->Items(), (QStringList{"label database", "user database", "status database"}));
        QCOMPARE(w.rgBaza->ItemIndex(), 0);
        w.rgBaza->SetItemIndex(2);
        w.rgUrzadzenie->Button(0)->click();
        QCOMPARE(w.rgBaza->Items(), (QStringList{"product database", "user database"}));
        QCOMPARE(w.rgBaza->ItemIndex(), 0);
        w.FormClose();
    }

    // The panel's controls keep their places and sizes: under a larger font a
    // cut caption shows whole in its tooltip, also after the kinds change;
    // one that fits has none.
    void cutCaptionsShowWholeInTooltips_data()
    {
        QTest::addColumn<int>("points");  // 0: the default font
        QTest::newRow("default font") << 0;
        QTest::newRow("large font") << 24;
    }
    void cutCaptionsShowWholeInTooltips()
    {
        QFETCH(int, points);
        TForm1 w;
        if (points > 0) {
            QFont large = w.font();
            large.setPointSize(points);
            w.setFont(large);
        }
        w.show();
        w.rgUrzadzenie->SetItemIndex(1);  // new kind buttons
        const auto tip = [&](const QString& caption) { return points > 0 ? caption : QString(); };
        QTRY_COMPARE(w.bbWyslijBaze->toolTip(), tip("Send database"));
        QCOMPARE(w.rgBaza->Button(2)->toolTip(), tip("status database"));
        QCOMPARE(w.rgBaza->toolTip(), tip("Database kind:"));
        QCOMPARE(QAccessible::queryAccessibleInterface(w.bbWyslijBaze)->text(QAccessible::Name), QStringLiteral("Send database"));
        w.FormClose();
    }
};

QTEST_MAIN(MainWindowTest)
#include "mainwindow_test.moc"
