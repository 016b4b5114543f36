// Every action by keyboard and every control named for a screen reader: the
// tab chains of the windows and dialogs walked with real key presses, Enter
// and Escape, the shortcuts, and the names the accessibility layer reports.
#include "CheckForm.h"
#include "CommLog.h"
#include "CommLogPanel.h"
#include "CPortCtl.h"
#include "CPortSetup.h"
#include "ConnectionUnit.h"
#include "Global.h"
#include "RadioGroup.h"
#include "StatusLine.h"
#include "TestSupport.h"
#include "WindowTestEnv.h"
#include "okno.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <memory>

namespace {

// The focus widget as the walks name it: a radio button by its group.
QString Name(const QWidget* w)
{
    if (!w)
        return QStringLiteral("(none)");
    if (qobject_cast<const TRadioGroup*>(w->parentWidget()))
        return w->parentWidget()->objectName() + '/' + w->objectName();
    return w->objectName();
}

// Presses Tab `count` times where the focus is and lists where it went.
QStringList TabWalk(int count)
{
    QStringList seen;
    for (int i = 0; i < count; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        seen << Name(QApplication::focusWidget());
    }
    return seen;
}

void Focus(QWidget* window, QWidget* start)
{
    window->show();
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
    start->setFocus(Qt::OtherFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), start);
}

QString Announced(QWidget* w)
{
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(w);
    return i ? i->text(QAccessible::Name) : QString();
}

// The labels a screen reader says before the control. On Linux a drop-down
// list's name is its selection; its label comes by this relation.
QStringList LabelledBy(QWidget* w)
{
    QStringList labels;
    if (QAccessibleInterface* i = QAccessible::queryAccessibleInterface(w))
        for (const auto& [label, relation] : i->relations(QAccessible::Label))
            labels << label->text(QAccessible::Name);
    return labels;
}

// A caption as a screen reader should say it: no '&', no colon, no padding.
QString Spoken(QString caption)
{
    caption.remove('&');
    caption = caption.trimmed();
    if (caption.endsWith(':'))
        caption.chop(1);
    return caption.trimmed();
}

// Runs `act` on the modal dialog of type T as soon as it is shown and active.
template <class T>
struct OnModal {
    explicit OnModal(std::function<void(T&)> act)
    {
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [this, act] {
            // Keys reach a dialog's shortcuts once it is the active window.
            auto* d = qobject_cast<T*>(QApplication::activeModalWidget());
            if (d && QApplication::activeWindow() == d) {
                ++Shown;
                act(*d);
            }
        });
        poll.start();
    }
    int Shown = 0;
    QTimer poll;
};

} // namespace

class KeyboardTest : public QObject {
    Q_OBJECT

    std::unique_ptr<WindowTestEnv> env;

private slots:
    void init() { env = std::make_unique<WindowTestEnv>(); }
    void cleanup() { env.reset(); }

    void mainWindowTabChainAndShortcuts()
    {
        PtyPair pty;
        QVERIFY(pty.IsOpen());
        TForm1 w;
        w.ComPort1.SetPort(pty.SlavePath());
        Focus(&w, w.StringGrid1);
        QCOMPARE(TabWalk(5), (QStringList{"btnOpenPort", "bbWyslijBaze", "rgUrzadzenie/item0", "rgBaza/item0",
                                          "StringGrid1"}));
        // Another device type rebuilds the database kinds: they keep their place.
        TabWalk(3);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QCOMPARE(w.rgUrzadzenie->ItemIndex(), 1);
        QTRY_VERIFY(w.rgBaza->Button(2) && w.rgBaza->Button(2)->isVisible());
        QCOMPARE(TabWalk(2), (QStringList{"rgBaza/item0", "StringGrid1"}));

        QTest::keyClick(&w, Qt::Key_L, Qt::ControlModifier);
        QVERIFY(w.ComPort1.Connected());
        // A short row: the check before sending asks.
        QFile file(env->folder.File("blank.csv"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("1;a;x\n2;b\n") > 0);
        file.close();
        w.LoadDatabase(file.fileName());
        {
            OnModal<TCheckForm> escape([](TCheckForm& f) { QTest::keyClick(&f, Qt::Key_Escape); });
            QTest::keyClick(&w, Qt::Key_Return, Qt::ControlModifier);
            QCOMPARE(escape.Shown, 1);
        }
        QCOMPARE(w.WyslijBazeTag, 0);
        Focus(&w, w.StringGrid1);  // the window manager's part, back from the dialog
        {
            OnModal<TCheckForm> send([](TCheckForm& f) { QTest::keyClick(&f, Qt::Key_S, Qt::AltModifier); });
            QTest::keyClick(&w, Qt::Key_Return, Qt::ControlModifier);
            QCOMPARE(send.Shown, 1);
        }
        QCOMPARE(w.bbWyslijBaze->text(), QStringLiteral("Stop"));
        Focus(&w, w.StringGrid1);
        // Connect is disabled while the upload runs, and so is its key.
        QTest::keyClick(&w, Qt::Key_L, Qt::ControlModifier);
        QVERIFY(w.ComPort1.Connected());
        QTest::keyClick(&w, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(w.bbWyslijBaze->text(), QStringLiteral("Send database"));
        QTest::keyClick(&w, Qt::Key_L, Qt::ControlModifier);
        QVERIFY(!w.ComPort1.Connected());
        w.FormClose();
    }

    void logPanelByKeys()
    {
        TForm1 w;
        w.CommLog.Event(w.CommLog.LinkId(QStringLiteral("COM1")), QStringLiteral("opened"));
        w.CommLogPanel->show();
        Focus(&w, w.CommLogPanel->btnCopy);
        QCOMPARE(TabWalk(4), (QStringList{"btnClear", "btnSave", "btnHex", "LogView"}));
        w.CommLogPanel->LogView->selectRow(0);
        QTest::keyClick(w.CommLogPanel->btnHex, Qt::Key_Tab, Qt::ShiftModifier);
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::ControlModifier);
        QVERIFY(QGuiApplication::clipboard()->text().contains(QStringLiteral("opened")));
        w.FormClose();
    }

    void connectionDialogTabChain_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("chain");
        QTest::newRow("serial") << 0 << QStringList{"rgConnection/item0", "EditCOM", "UpDownCOM", "cbBaudRate", "sbSerialAdvanced",
                                                    "sbApply", "sbCancel"};
        QTest::newRow("ethernet") << 1 << QStringList{"rgConnection/item1", "EditIP", "EditPort", "rgEthProtocol/item0", "sbApply",
                                                      "sbCancel"};
    }

    void connectionDialogTabChain()
    {
        QFETCH(int, kind);
        QFETCH(QStringList, chain);
        ConnectionKind = static_cast<std::int8_t>(kind);
        TComPort port;
        TConnectionForm form(port, [] {});
        Focus(&form, form.sbCancel);  // the walk wraps round to the start
        QCOMPARE(TabWalk(static_cast<int>(chain.size())), chain);
    }

    void connectionDialogEnterAndEscape_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("portAfter");
        QTest::newRow("Enter applies") << "EditCOM" << int(Qt::Key_Return) << int(QDialog::Accepted) << "COM7";
        QTest::newRow("Enter on Cancel cancels") << "sbCancel" << int(Qt::Key_Return) << int(QDialog::Rejected) << "COM1";
        QTest::newRow("Escape cancels") << "EditCOM" << int(Qt::Key_Escape) << int(QDialog::Rejected) << "COM1";
    }

    void connectionDialogEnterAndEscape()
    {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(int, result);
        QFETCH(QString, portAfter);
        TComPort port;
        port.SetPort(QStringLiteral("COM1"));
        int presses = 0;
        TConnectionForm form(port, [&presses] { ++presses; });
        Focus(&form, form.EditCOM);
        QTest::keyClick(form.EditCOM, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(form.EditCOM, QStringLiteral("7"));
        for (int i = 0; i < 10 && Name(QApplication::focusWidget()) != focus; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(Name(QApplication::focusWidget()), focus);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        QVERIFY(!form.isVisible());
        QCOMPARE(form.result(), result);
        QCOMPARE(presses, 1);
        QCOMPARE(port.Port(), portAfter);
    }

    void controlsNamedByTheirLabels()
    {
        ScratchSerialTree tree;
        tree.AddPort(QStringLiteral("ttyS0"));
        SerialDeviceFolder = tree.Tty();
        TComPort port;
        TConnectionForm form(port, [] {});
        TComSetupFrm setup;
        const QList<std::pair<QWidget*, QLabel*>> fields{
            {form.EditIP, form.Label1},     {form.EditPort, form.Label2},       {form.EditCOM, form.LabelCOMPort},
            {form.UpDownCOM, form.LabelCOMPort}, {form.cbBaudRate, form.LabelBaudRate}, {setup.Combo1, setup.Label1},
            {setup.Combo2, setup.Label2},   {setup.Combo3, setup.Label3},       {setup.Combo4, setup.Label4},
            {setup.Combo5, setup.Label5},   {setup.Combo6, setup.Label6}};
        for (const auto& [field, label] : fields) {
            QVERIFY2(!Spoken(label->text()).isEmpty(), qPrintable(label->objectName()));
            const QString name = qobject_cast<QComboBox*>(field) ? LabelledBy(field).value(0) : Announced(field);
            QCOMPARE(Spoken(name), Spoken(label->text()));
        }
        TForm1 w;
        for (TRadioGroup* group : {w.rgUrzadzenie, w.rgBaza, form.rgConnection, form.rgEthProtocol})
            QCOMPARE(Spoken(Announced(group)), Spoken(group->title()));
        QVERIFY(!Announced(w.StringGrid1).isEmpty());
        w.FormClose();
    }

    void gridCellsTellRowAndColumn()
    {
        TForm1 w;
        QAccessibleInterface* grid = QAccessible::queryAccessibleInterface(w.StringGrid1);
        QVERIFY(grid && grid->tableInterface());
        QAccessibleInterface* cell = grid->tableInterface()->cellAt(1, 2);
        QVERIFY(cell);
        QCOMPARE(cell->text(QAccessible::Description), QStringLiteral("row 2, column 3"));
        w.FormClose();
    }

    void linkCauseAndStatusAnnounced()
    {
        TForm1 w;
        w.ComPort1.SetPort(env->folder.File("no-such-device"));
        Focus(&w, w.StringGrid1);
        QTest::keyClick(&w, Qt::Key_L, Qt::ControlModifier);
        QVERIFY(!w.LabelConnection->toolTip().isEmpty());
        QAccessibleInterface* label = QAccessible::queryAccessibleInterface(w.LabelConnection);
        QCOMPARE(label->text(QAccessible::Description), w.LabelConnection->toolTip());
        QVERIFY(!w.StatusLine->Text().isEmpty());
        QCOMPARE(Announced(w.StatusLine), w.StatusLine->Text());
        w.FormClose();
    }
};

QTEST_MAIN(KeyboardTest)
#include "keyboard_test.moc"
