// Every action by keyboard and every control named for a screen reader: the
// tab chains of the windows and dialogs walked with real key presses, Enter
// and Escape, the shortcuts, and the names the accessibility layer reports.
#include "Application.h"
#include "CheckForm.h"
#include "CloseQuestion.h"
#include "CommLog.h"
#include "CommLogPanel.h"
#include "CPortCtl.h"
#include "CPortSetup.h"
#include "ConnectionUnit.h"
#include "Global.h"
#include "MessageBox.h"
#include "ProcessData.h"
#include "RadioGroup.h"
#include "ScaleDialog.h"
#include "ScalesModel.h"
#include "ScalesPanel.h"
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
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QPointer>
#include <QScopeGuard>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <memory>
#include <set>

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

// The letter '&' marks in a menu item's text; none when it has none.
QChar Letter(const QAction* a)
{
    const QString text = a->text();
    const qsizetype at = text.indexOf('&');
    return at >= 0 && at + 1 < text.size() ? text[at + 1].toUpper() : QChar();
}

// The label whose buddy `field` is, in its window.
QLabel* LabelOf(QWidget* field)
{
    for (QLabel* label : field->window()->findChildren<QLabel*>())
        if (label->buddy() == field)
            return label;
    return nullptr;
}

// Every control of `top` a user can focus, and every picture, that a screen
// reader could not name; a drop-down also when its name is not its label's
// or its list has another.
QStringList Unnamed(QWidget* top)
{
    QStringList faults;
    for (QWidget* w : top->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(top) || w->window() != top)
            continue;
        auto* picture = qobject_cast<QLabel*>(w);
        if (w->focusPolicy() == Qt::NoFocus && !(picture && !picture->pixmap().isNull()))
            continue;
        const QString name = Announced(w);
        if (name.trimmed().isEmpty())
            faults << Name(w) + QStringLiteral(" has no name");
        if (auto* box = qobject_cast<QComboBox*>(w)) {
            QLabel* label = LabelOf(box);
            if (!label || name != Spoken(label->text()) || Announced(box->view()) != name)
                faults << Name(w) + QStringLiteral(" is named \"%1\"").arg(name);
        }
    }
    return faults;
}

// The message box up, if one is.
QMessageBox* BoxUp()
{
    return qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
}

// A database with a short row, so that the check before sending asks.
QString ShortRowDatabase(const ScratchAppFolder& folder)
{
    const QString path = folder.File("short.csv");
    WriteAll(path, "1;a;x\n2;b\n");
    return path;
}

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

    // Each dialog opens on the first control of its tab order, opened the
    // way the user opens it, and again so after the focus moved on; when it
    // closes, the focus is back on the control it left.
    void dialogsOpenOnTheirFirstControl_data()
    {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("focus");
        QTest::newRow("connection, serial port") << "connection" << 0 << "rgConnection/item0";
        QTest::newRow("connection, Ethernet") << "connection" << 1 << "rgConnection/item1";
        QTest::newRow("serial setup") << "setup" << 0 << "Combo1";
        QTest::newRow("add a scale") << "scale" << 0 << "EditLink";
        QTest::newRow("check before sending") << "check" << 0 << "btnCancel";
    }

    void dialogsOpenOnTheirFirstControl()
    {
        QFETCH(QString, dialog);
        QFETCH(int, kind);
        QFETCH(QString, focus);
        ScratchSerialTree tree;
        tree.AddPort(QStringLiteral("ttyS0"));
        SerialDeviceFolder = tree.Tty();
        TForm1 w;  // reads the settings: the kind is set after it
        ConnectionKind = static_cast<std::int8_t>(kind);
        EthHost = QStringLiteral("127.0.0.1");
        w.ComPort1.SetPort(env->folder.File("no-such-device"));
        TConnectionForm connection(w.ComPort1, [&w] { w.btnOpenPortClick(); }, &w);
        w.ConnectionForm = &connection;
        w.LoadDatabase(ShortRowDatabase(env->folder));
        Focus(&w, w.StringGrid1);
        QStringList seen;
        OnModal<QDialog> look([&seen](QDialog& d) {
            seen << Name(QApplication::focusWidget());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            d.reject();
        });
        QWidget* const left[] = {w.StringGrid1, w.bbWyslijBaze};
        for (int opening = 0; opening < 2; ++opening) {
            left[opening]->setFocus(Qt::OtherFocusReason);
            if (dialog == "connection")
                w.ConnectionClick();
            else if (dialog == "setup")
                connection.sbSerialAdvancedClick();
            else if (dialog == "scale")
                w.ScalesPanel->btnAddClick();
            else
                w.bbWyslijBazeClick();
            QTRY_COMPARE(QApplication::focusWidget(), left[opening]);
        }
        QCOMPARE(seen, (QStringList{focus, focus}));
        w.FormClose();
    }

    // The check dialog's Enter goes where its focus is, and only that button
    // shows it: Cancel when it opens.
    void checkDialogDefaultFollowsTheFocus()
    {
        TForm1 w;
        w.LoadDatabase(ShortRowDatabase(env->folder));
        Focus(&w, w.StringGrid1);
        OnModal<TCheckForm> keys([](TCheckForm& f) {
            auto close = qScopeGuard([&f] { f.reject(); });  // also when a check fails
            QVERIFY(f.btnCancel->isDefault() && !f.btnSendAnyway->isDefault());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), f.btnSendAnyway);
            QVERIFY(f.btnSendAnyway->isDefault() && !f.btnCancel->isDefault());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
            QVERIFY(f.btnCancel->isDefault() && !f.btnSendAnyway->isDefault());
            close.dismiss();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        });
        w.bbWyslijBazeClick();
        QCOMPARE(keys.Shown, 1);
        QCOMPARE(w.WyslijBazeTag, 0);  // cancelled
        w.FormClose();
    }

    void closeQuestionText_data()
    {
        QTest::addColumn<std::vector<std::int32_t>>("indexes");
        QTest::addColumn<QString>("text");
        const QString ask = QStringLiteral("An upload is running (%1). Close anyway?");
        QTest::newRow("nothing runs") << std::vector<std::int32_t>{} << QString();
        QTest::newRow("the start command waits") << std::vector<std::int32_t>{0} << ask.arg("the start command; 1 scale");
        QTest::newRow("a record") << std::vector<std::int32_t>{37} << ask.arg("record 37 of 120; 1 scale");
        QTest::newRow("the end command waits") << std::vector<std::int32_t>{TUpload::EndCommandSent}
                                               << ask.arg("the end command; 1 scale");
        QTest::newRow("the one furthest behind") << std::vector<std::int32_t>{TUpload::EndCommandSent, 5, 120}
                                                 << ask.arg("record 5 of 120; 3 scales");
        QTest::newRow("one still at the start") << std::vector<std::int32_t>{TUpload::EndCommandSent, 0}
                                                << ask.arg("the start command; 2 scales");
    }

    void closeQuestionText()
    {
        QFETCH(std::vector<std::int32_t>, indexes);
        QFETCH(QString, text);
        QCOMPARE(CloseQuestionText(indexes, 120), text);
    }

    // The real question: No by default and on Escape; while it is up it
    // follows the upload, and when the upload ends it goes and the window closes.
    void closeQuestionFollowsTheUpload()
    {
        PtyPair pty;
        QVERIFY(pty.IsOpen());
        TForm1 w;
        w.ComPort1.SetPort(pty.SlavePath());
        WriteAll(env->folder.File("two.csv"), "1;Salt\n2;Pepper\n");
        w.LoadDatabase(env->folder.File("two.csv"));
        Focus(&w, w.StringGrid1);
        QTest::keyClick(&w, Qt::Key_L, Qt::ControlModifier);
        QTest::keyClick(&w, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(pty.ReadExactly(5), QByteArray("SbP\r\n"));
        SetMessageBoxHook({});
        const QString ask = QStringLiteral("An upload is running (%1; 1 scale). Close anyway?");

        QTimer::singleShot(0, &w, [&] {
            auto close = qScopeGuard([&] {
                if (QMessageBox* up = BoxUp())
                    up->reject();
            });
            QMessageBox* box = BoxUp();
            QVERIFY(box);
            QCOMPARE(box->text(), ask.arg("the start command"));
            QCOMPARE(box->defaultButton(), box->button(QMessageBox::No));
            QTest::keyClick(box, Qt::Key_Escape);
        });
        QVERIFY(!w.close());
        QCOMPARE(w.WyslijBazeTag, 1);

        int told = 0;
        OnModal<QMessageBox> outcome([&told](QMessageBox& b) {
            if (b.text() == QStringLiteral("Database was sent to scale.")) {
                ++told;
                b.accept();
            }
        });
        QStringList asked;
        QTimer::singleShot(0, &w, [&] {
            QPointer<QMessageBox> box = BoxUp();
            auto close = qScopeGuard([&box] {
                if (box && box->isVisible())
                    box->reject();
            });
            QVERIFY(box);
            for (const char* reply : {"MbP\r\n", "Mr\r\n", "Mr\r\n"}) {
                asked << box->text();
                pty.Write(reply);
                QTRY_VERIFY(box->text() != asked.last());
            }
            asked << box->text();
            pty.Write("Me\r\n");
            QTRY_VERIFY(!box->isVisible());
        });
        QVERIFY(w.close());  // nothing runs any more: closed without asking again
        QCOMPARE(asked, (QStringList{ask.arg("the start command"), ask.arg("record 1 of 2"), ask.arg("record 2 of 2"),
                                     ask.arg("the end command")}));
        QCOMPARE(told, 1);
    }

    // Alt and a letter reach each item of a menu; Add is A, Open is O, and
    // no item that starts an upload takes either.
    void menuLettersAreUnique()
    {
        TForm1 w;
        const auto unique = [](const QList<QAction*>& actions) {
            QStringList faults;
            std::set<QChar> seen;
            for (const QAction* a : actions) {
                if (a->isSeparator())
                    continue;
                const QChar letter = Letter(a);
                if (letter.isNull() || !seen.insert(letter).second)
                    faults << a->text();
            }
            return faults;
        };
        QCOMPARE(unique(w.menuBar()->actions()), QStringList());
        const QList<QMenu*> menus = w.findChildren<QMenu*>();
        QVERIFY(menus.size() >= 4);
        for (const QMenu* menu : menus)
            QVERIFY2(unique(menu->actions()).isEmpty(), qPrintable(menu->title() + ": " + unique(menu->actions()).join(", ")));
        const auto letter = [&w](const char* name) { return Letter(w.findChild<QAction*>(QLatin1String(name))); };
        QCOMPARE(letter("AddKey"), QChar('A'));
        QCOMPARE(letter("OpenListKey"), QChar('O'));
        QCOMPARE(letter("Otwrz1"), QChar('O'));
        for (const char* send : {"SendKey", "SendAllKey", "SendSelectedKey", "SendFailedKey"})
            QVERIFY2(letter(send) != QChar('A') && letter(send) != QChar('O'), send);
        w.FormClose();
    }

    // Under a dark palette every window takes its background from it, so
    // the theme's light text reads on it; only the link label keeps its colour.
    // At a larger desktop font every dialog's caption shows whole.
    void everyWindowReadsInADarkPaletteAndALargerFont()
    {
        const QPalette before = QApplication::palette();
        const QFont font = QApplication::font();
        auto restore = qScopeGuard([&] {
            QApplication::setPalette(before);
            QApplication::setFont(font);
        });
        QApplication::setPalette(DarkPalette());
        QFont large = font;
        large.setPointSize(14);
        QApplication::setFont(large);
        ScratchSerialTree tree;
        tree.AddPort(QStringLiteral("ttyS0"));
        SerialDeviceFolder = tree.Tty();
        TForm1 w;
        w.LoadDatabase(ShortRowDatabase(env->folder));
        TConnectionForm connection(w.ComPort1, [] {});
        TComSetupFrm setup;
        TScaleDialog scale;
        TCheckForm check(CheckDatabase(w.Table, false));
        for (QWidget* window : std::initializer_list<QWidget*>{&w, &connection, &setup, &scale, &check}) {
            const QColor back = window->palette().color(window->backgroundRole());
            QCOMPARE(back, QApplication::palette().color(window->backgroundRole()));
            QVERIFY2(back.lightness() < 100, qPrintable(window->objectName()));
            for (const QLabel* label : window->findChildren<QLabel*>())
                if (label != w.LabelConnection)
                    QVERIFY2(label->palette().color(label->foregroundRole()).lightness() > 150,
                             qPrintable(label->objectName()));
            if (window == &w)
                continue;  // placed by pixel: its cut captions have tooltips
            window->show();
            for (const QWidget* c : window->findChildren<QWidget*>())
                if ((qobject_cast<const QLabel*>(c) || qobject_cast<const QAbstractButton*>(c)) && c->isVisible())
                    QVERIFY2(c->width() >= c->sizeHint().width(), qPrintable(window->objectName() + '/' + c->objectName()));
        }
        w.FormClose();
    }

    // A screen reader can name every control that takes the focus, every
    // picture, and each drop-down and its list by its label.
    void everyControlIsNamed_data()
    {
        QTest::addColumn<QString>("window");
        QTest::newRow("main window with both panels") << "main";
        QTest::newRow("connection dialog, serial port") << "serial";
        QTest::newRow("connection dialog, Ethernet") << "ethernet";
        QTest::newRow("serial setup dialog") << "setup";
        QTest::newRow("add a scale") << "scale";
        QTest::newRow("check before sending") << "check";
    }

    void everyControlIsNamed()
    {
        QFETCH(QString, window);
        ScratchSerialTree tree;
        tree.AddPort(QStringLiteral("ttyS0"));
        SerialDeviceFolder = tree.Tty();
        TForm1 w;
        ConnectionKind = window == "ethernet" ? 1 : 0;
        w.LoadDatabase(ShortRowDatabase(env->folder));
        w.CommLogPanel->show();
        w.ScalesPanel->show();
        std::unique_ptr<QWidget> dialog;
        if (window == "serial" || window == "ethernet")
            dialog = std::make_unique<TConnectionForm>(w.ComPort1, [] {});
        else if (window == "setup")
            dialog = std::make_unique<TComSetupFrm>();
        else if (window == "scale")
            dialog = std::make_unique<TScaleDialog>();
        else if (window == "check")
            dialog = std::make_unique<TCheckForm>(CheckDatabase(w.Table, false));
        QWidget* top = dialog ? dialog.get() : &w;
        top->show();
        QVERIFY(QTest::qWaitForWindowExposed(top));
        QCOMPARE(Unnamed(top), QStringList());
        if (top == &w) {
            QCOMPARE(Announced(w.ProgressBar1), QStringLiteral("Upload progress"));
            QCOMPARE(Announced(w.CommLogPanel->LogView), QStringLiteral("Communication log"));
            QCOMPARE(Announced(w.StatusLine), TStatusLine::IdleName());
        }
        w.FormClose();
    }

    // The line tells a screen reader each change of meaning at once, and a
    // moving record number at most once a second: the latest, once quiet.
    void statusLineAnnouncesChangesOfMeaning()
    {
        TStatusState s;
        s.Started = s.Running = s.LinkUp = s.Awaiting = true;
        s.Rows = 50;
        s.Link = QStringLiteral("COM1");
        TStatusLine line([&s] { return s; });
        QStringList heard;
        const auto refresh = [&] {
            line.Refresh();
            if (heard.isEmpty() || heard.last() != Announced(&line))
                heard << Announced(&line);
        };
        refresh();
        for (int record = 1; record <= 50; ++record) {
            s.Index = record;
            refresh();
        }
        QCOMPARE(line.Text(), QStringLiteral("Sending record 50 of 50"));
        QCOMPARE(heard, (QStringList{"Sending the start command", "Sending record 1 of 50"}));
        QTRY_COMPARE(Announced(&line), QStringLiteral("Sending record 50 of 50"));
        s.LinkUp = false;
        s.Cause = QStringLiteral("the device was unplugged");
        refresh();  // a cause, told at once although a number was told just now
        QCOMPARE(heard.last(), line.Text());
        QVERIFY(line.Text().startsWith(QStringLiteral("Connection lost at record 50 of 50")));
    }
};

QTEST_MAIN(KeyboardTest)
#include "keyboard_test.moc"
