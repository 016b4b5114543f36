#include "okno.h"

#include "AppFolder.h"
#include "CaptionTips.h"
#include "CheckForm.h"
#include "CloseQuestion.h"
#include "CommLogPanel.h"
#include "ConnectionUnit.h"
#include "DatabaseFile.h"
#include "DatabaseKinds.h"
#include "EthConnection.h"
#include "FileDialogs.h"
#include "FleetDefaults.h"
#include "FocusReturn.h"
#include "GridCellTip.h"
#include "Global.h"
#include "Keyboard.h"
#include "MessageBox.h"
#include "PostMessage.h"
#include "RadioGroup.h"
#include "ScalesModel.h"
#include "ScalesPanel.h"
#include "StatusLine.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

TForm1* Form1 = nullptr;
quint16 TForm1::UdpLocalPort = FleetDefaults::UdpPort;
bool TForm1::TerminateOnClose = true;

// The icons are built into this static library, whose resource initialiser
// the linker would otherwise leave out.
static void InitIconResource()
{
    Q_INIT_RESOURCE(icons);
}

namespace {
const QColor Green(0, 128, 0);
const QColor Red(255, 0, 0);

// The installed icon, built into the program; the PNG serves where no SVG
// renderer is installed.
QIcon ProgramIcon()
{
    InitIconResource();
    QIcon icon(QStringLiteral(":/icons/io.github.scaledb.ScaleDb.svg"));
    icon.addFile(QStringLiteral(":/icons/io.github.scaledb.ScaleDb-48.png"), QSize(48, 48));
    return icon;
}

QString BaudRateName(TBaudRate rate)
{
    switch (rate) {
    case br4800: return QStringLiteral("4800");
    case br9600: return QStringLiteral("9600");
    case br19200: return QStringLiteral("19200");
    case br38400: return QStringLiteral("38400");
    case br57600: return QStringLiteral("57600");
    case br115200: return QStringLiteral("115200");
    default: return QCoreApplication::translate("TForm1", "user defined");
    }
}

// The connection label names the port, which may be a long stable adapter
// path. Where it would run under the device type box, the name is drawn
// shortened in its middle and the rate and state after it whole; the
// label's text stays whole.
class TFittedLabel : public QLabel {
public:
    using QLabel::QLabel;
    void SetText(const QString& name, const QString& tail)
    {
        tail_ = tail;
        setText(name + tail);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const QString name = text().left(text().size() - tail_.size());
        const int room = contentsRect().width() - fontMetrics().horizontalAdvance(tail_);
        const QString shown = fontMetrics().elidedText(name, Qt::ElideMiddle, room) + tail_;
        QPainter painter(this);
        style()->drawItemText(&painter, contentsRect(), int(alignment()), palette(), isEnabled(), shown,
                              foregroundRole());
    }

private:
    QString tail_;
};
}

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent),
      Session(UploadHooks(),
              [] {
                  return TLinkTarget{static_cast<TConnectionKind>(ConnectionKind), static_cast<TEthProtocol>(EthProtocol),
                                     EthHost, EthPort};
              },
              &CommLog),
      ComPort1(Session.Serial()), Upload(Session.Upload), EthLink(Session.EthLink), LinkState(Session.LinkState),
      CommLogLink(Session.LogLink)
{
    Form1 = this;
    InstallFocusReturn();  // the program's application does it too; a host's may not
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(tr(" Scale database v%1").arg(QStringLiteral(SCALEDB_VERSION)));
    setWindowIcon(ProgramIcon());
    resize(642, 589);
    ComPort1.OnRxChar = [this](TCustomComPort* sender, std::int32_t count) { ComPort1RxChar(sender, count); };
    ComPort1.OnDeviceLost = [this](TCustomComPort* sender) { ComPort1DeviceLost(sender); };
    BuildControls();
    FormCreate();
}

TUpload::THooks TForm1::UploadHooks()
{
    return {
        [this](const QByteArray& command) { SendOrder(command); },
        [this] { return Table.RowCount(); },
        [this](int row) { return Table.Record(row); },
        [this] { return rgBaza->ItemIndex(); },
        [this](int percent) {
            ProgressBar1->setValue(percent);
            Desktop.ShowProgress(percent / 100.0);
        },
        [this](bool failed) {
            SetWyslijBazeIdle();
            StatusLine->Refresh();
            Session.LogEvent(failed ? QStringLiteral("upload failed: the scale did not accept the database")
                                    : QStringLiteral("upload accepted"));
            const QString text = failed ? tr("Database could not be sent to scale.")
                                        : tr("Database was sent to scale.");
            NotifyEnd(text);
            UploadsRunning(ownHolds_, false);
            MessageBox(text, failed ? tr("Failure") : tr("Success"), MB_ICONINFORMATION);
        },
    };
}

TForm1::~TForm1()
{
    // Its uploads use the table and the log, which go before the window's children.
    delete ScalesPanel;
    SleepLock.Tell = [](const QString&) {};  // the log goes before the lock
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::BuildControls()
{
    BuildMenus();
    auto* central = new QWidget(this);
    setCentralWidget(central);
    BuildGrid(central);
    BuildPanel(central);
    BuildUploadMenu();

    // The Panel's controls keep their places; only the grid and the bar follow the window.
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(StringGrid1, 1);
    layout->addWidget(Panel1);

    BuildStatusLine();
    CommLogPanel = new TCommLogPanel(CommLog, this);
    BuildScalesPanel();
    BuildHelpMenu();
    BuildDesktop();
}

void TForm1::BuildScalesPanel()
{
    ScalesPanel = new TScalesPanel(Table, CommLog, this);
    ScalesPanel->Check = [this](bool udp) { return CheckTable(udp); };
    ScalesPanel->Position = [this] { return rgBaza->ItemIndex(); };
    ScalesPanel->KindWord = [this] { return DatabaseKindWords(rgUrzadzenie->ItemIndex()).value(rgBaza->ItemIndex()); };
    ScalesPanel->Tell = [this](const QString& text) { StatusLine->Tell(text); };
    ScalesPanel->RunEnded = [this](const QString& summary) { NotifyEnd(summary); };
    ScalesPanel->Running = [this](bool running) { UploadsRunning(panelHolds_, running); };
    connect(ScalesPanel->Model, &QAbstractItemModel::dataChanged, this, [this] {
        if (panelHolds_ && !ownHolds_)
            Desktop.ShowProgress(ScalesPanel->Model->RunPercent() / 100.0);
    });
}

void TForm1::OpenScales(const QString& path)
{
    ScalesPanel->UseList(path);
    ScalesPanel->show();
}

void TForm1::BuildMenus()
{
    // The underlined letters give Alt+F, Alt+C and Alt+U (View adds Alt+V).
    Plik1 = menuBar()->addMenu(tr("&File"));
    Plik1->setObjectName(QStringLiteral("Plik1"));
    Otwrz1 = Plik1->addAction(tr("&Open"));
    Otwrz1->setObjectName(QStringLiteral("Otwrz1"));
    Otwrz1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(Otwrz1, &QAction::triggered, this, &TForm1::Otwrz1Click);
    Connection1 = menuBar()->addAction(tr("&Connection"));
    Connection1->setObjectName(QStringLiteral("Connection1"));
    connect(Connection1, &QAction::triggered, this, &TForm1::ConnectionClick);
    BuildFileMenuAdditions();

    OpenDialog1 = new QFileDialog(this);
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    KeepFileDialogTidy(OpenDialog1);
    OpenDialog1->setNameFilters({tr("csv files (*.csv)"), tr("all files (*.*)")});
    // "*.*" means every file, as the filter's name says, also one without a dot.
    connect(OpenDialog1, &QFileDialog::filterSelected, this, [this](const QString& filter) {
        if (filter == OpenDialog1->nameFilters().last())
            if (auto* model = OpenDialog1->findChild<QFileSystemModel*>())
                model->setNameFilters({QStringLiteral("*")});
    });
}

void TForm1::BuildGrid(QWidget* central)
{
    StringGrid1 = new QTableView(central);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setModel(&Table);
    StringGrid1->horizontalHeader()->hide();
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setDefaultSectionSize(20);
    StringGrid1->verticalHeader()->setMinimumSectionSize(1);
    StringGrid1->horizontalHeader()->setDefaultSectionSize(64);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setShowGrid(true);
    StringGrid1->setFrameShape(QFrame::NoFrame);
    StringGrid1->setWordWrap(false);
    StringGrid1->setItemDelegate(new TGridCellTip(StringGrid1));
    // Arrows move between cells; Tab goes on to the buttons.
    StringGrid1->setTabKeyNavigation(false);
    StringGrid1->setAccessibleName(tr("Database"));
}

void TForm1::BuildPanel(QWidget* central)
{
    Panel1 = new QWidget(central);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(100);

    ProgressBar1 = new QProgressBar(Panel1);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setAccessibleName(tr("Upload progress"));

    btnOpenPort = new QPushButton(tr("Connect"), Panel1);
    btnOpenPort->setObjectName(QStringLiteral("btnOpenPort"));
    btnOpenPort->setGeometry(11, 28, 78, 25);
    connect(btnOpenPort, &QPushButton::clicked, this, &TForm1::btnOpenPortClick);

    bbWyslijBaze = new QPushButton(tr("Send database"), Panel1);
    bbWyslijBaze->setObjectName(QStringLiteral("bbWyslijBaze"));
    bbWyslijBaze->setGeometry(96, 28, 110, 25);
    connect(bbWyslijBaze, &QPushButton::clicked, this, &TForm1::bbWyslijBazeClick);

    BuildRadioGroups();

    LabelConnection = new TFittedLabel(Panel1);
    LabelConnection->setObjectName(QStringLiteral("LabelConnection"));
    LabelConnection->move(16, 68);
    QFont bold = LabelConnection->font();
    bold.setBold(true);
    LabelConnection->setFont(bold);
    new TCaptionTips(Panel1);
}

void TForm1::BuildRadioGroups()
{
    rgUrzadzenie = new TRadioGroup(tr(" Device type: "), Panel1);
    rgUrzadzenie->setObjectName(QStringLiteral("rgUrzadzenie"));
    rgUrzadzenie->setGeometry(270, 18, 160, 72);
    rgUrzadzenie->SetItems({tr("standard scale"), tr("scale with QD-58")});
    rgUrzadzenie->SetItemIndex(0);
    connect(rgUrzadzenie, &TRadioGroup::Click, this, &TForm1::rgUrzadzenieClick);

    rgBaza = new TRadioGroup(tr(" Database kind: "), Panel1);
    rgBaza->setObjectName(QStringLiteral("rgBaza"));
    rgBaza->setGeometry(440, 18, 190, 80);
    rgBaza->SetItems(DatabaseKindCaptions(rgUrzadzenie->ItemIndex()));
    rgBaza->SetItemIndex(0);
}

void TForm1::BuildStatusLine()
{
    StatusLine = new TStatusLine([this] { return StatusState(); }, this);
    setStatusBar(StatusLine);
    StatusLine->Shown = [this](const TStatusState& s) {
        LabelConnection->setToolTip(LinkToolTip(s));
        LabelConnection->setAccessibleDescription(LabelConnection->toolTip());
    };
    // Each tick may send the next command: tell it as it goes.
    connect(&Upload, &TUpload::GapOver, StatusLine, &TStatusLine::Refresh);
}

void TForm1::BuildUploadMenu()
{
    // The panel's buttons by keyboard; the controls were made in tab order
    // (grid, Connect, Send database, device type, database kind).
    QMenu* upload = menuBar()->addMenu(tr("&Upload"));
    upload->setObjectName(QStringLiteral("Upload1"));
    AddButtonAction(upload, btnOpenPort, tr("&Connect/Disconnect"), {QKeySequence(Qt::CTRL | Qt::Key_L)})
        ->setObjectName(QStringLiteral("ConnectKey"));
    AddButtonAction(upload, bbWyslijBaze, tr("&Send database/Stop"),
                    {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)})
        ->setObjectName(QStringLiteral("SendKey"));
}

void TForm1::resizeEvent(QResizeEvent* e)
{
    QMainWindow::resizeEvent(e);
    ProgressBar1->setGeometry(-7, -1, Panel1->width() + 14, 17);
}

void TForm1::FormCreate()
{
    MainWindowHandle = this;
    ComPort1.SetSettingsGroups(1u << sgBasic);
    try {
        ComPort1.RestoreSettings(ssIniFile, AppFolder() + QStringLiteral("ComPortTest.ini"));
    } catch (...) {
    }
    Session.MakeEthernet(UdpLocalPort).StateTarget = MainWindowHandle;
    LinkState = lsDisconnected;
    XMLConfig.FileName = ConfigFilePath();
    EnsureConfigDefaults(XMLConfig);
    LoadConfig(XMLConfig);
    ShowConnectionState();
    ScalesPanel->UdpPort = UdpLocalPort;
    ScalesPanel->UseList(AppFolder() + QStringLiteral("scales.txt"));
    Recent.Load(AppFolder() + QStringLiteral("recent.txt"));
}

void TForm1::FormActivate()
{
    if (!(windowState() & Qt::WindowMaximized))
        setWindowState(windowState() | Qt::WindowMaximized);
    repaint();
    ShowConnectionState();
}

bool TForm1::event(QEvent* e)
{
    if (e->type() == TWindowMessage::Type()) {
        auto* m = static_cast<TWindowMessage*>(e);
        if (m->Msg == WM_LINKSTATE)
            OnUpdatePortMessage(m->WParam, m->LParam);
        return true;
    }
    // The menus' items have no status tips: hovering one must not blank the
    // status line, which tells the upload.
    if (e->type() == QEvent::StatusTip)
        return true;
    if (e->type() == QEvent::WindowDeactivate) {
        // The application's active window is already the one taking over:
        // none when the user went to another program.
        leftForOwnWindow_ = QApplication::activeWindow() != nullptr;
    } else if (e->type() == QEvent::WindowActivate) {
        // The form activates when first shown and when it takes over from
        // another of the program's windows; coming back from another program
        // must not maximise a window the user made smaller.
        const bool handled = QMainWindow::event(e);
        const bool activate = !activatedOnce_ || leftForOwnWindow_;
        activatedOnce_ = true;
        leftForOwnWindow_ = false;
        if (activate)
            FormActivate();
        return handled;
    }
    return QMainWindow::event(e);
}

void TForm1::ShowConnectionState()
{
    auto paint = [this](const QColor& color) {
        QPalette p = LabelConnection->palette();
        p.setColor(QPalette::WindowText, color);
        LabelConnection->setPalette(p);
    };
    if (ConnectionKind == ckSerial) {
        QString text = ComPort1.Port() + ' ' + BaudRateName(ComPort1.BaudRate()) + QStringLiteral("bps");
        if (ComPort1.Connected()) {
            btnOpenPort->setText(tr("Disconnect"));
            text += tr(" connected");
            paint(Green);
        } else {
            btnOpenPort->setText(tr("Connect"));
            text += tr(" disconnected");
            paint(Red);
        }
        static_cast<TFittedLabel*>(LabelConnection)->SetText(ComPort1.Port(), text.mid(ComPort1.Port().size()));
    } else if (ConnectionKind == ckEthernet) {
        QString text = EthHost;
        if (LinkState == lsDisconnected) {
            btnOpenPort->setText(tr("Connect"));
            text += tr(" disconnected");
            paint(Red);
        } else if (LinkState == lsConnected) {
            btnOpenPort->setText(tr("Disconnect"));
            text += tr(" connected");
            paint(Green);
        }
        static_cast<TFittedLabel*>(LabelConnection)->SetText(EthHost, text.mid(EthHost.size()));
    }
    LabelConnection->adjustSize();
    ShowLinkCause();
    const int room = rgUrzadzenie->x() - LabelConnection->x() - 4;
    if (LabelConnection->width() > room)
        LabelConnection->resize(room, LabelConnection->height());
}

void TForm1::btnOpenPortClick()
{
    Session.LogAs(Session.LinkName());
    if (ConnectionKind != ckSerial) {
        Session.ToggleEthernet();
        return;
    }
    if (LinkState != lsDisconnected) {
        Session.CloseSerial();
        btnOpenPort->setText(tr("Connect"));
    } else if (Session.OpenSerial()) {
        btnOpenPort->setText(tr("Disconnect"));
    } else {
        MessageBox(tr("Selected COM port does not exist or is occupied by other software"),
                   QStringLiteral("Dirorod9"), MB_ICONEXCLAMATION);
    }
    ShowConnectionState();
    FollowLinkInUpload();
}

void TForm1::OnUpdatePortMessage(std::intptr_t wParam, std::intptr_t)
{
    LinkState = static_cast<std::uint8_t>(wParam & 0xFF);
    ShowConnectionState();
    FollowLinkInUpload();
}

void TForm1::FollowLinkInUpload()
{
    if (WyslijBazeTag != 1 || !Upload.Running())
        return;
    const bool up = ConnectionKind == ckSerial ? ComPort1.Connected() : LinkState == lsConnected;
    if (up && Upload.Held()) {
        btnOpenPort->setEnabled(false);
        Upload.Resume();
    } else if (!up && LinkState == lsDisconnected) {
        Upload.Hold();
        btnOpenPort->setEnabled(true);
    }
    StatusLine->Refresh();
}

void TForm1::ConnectionClick()
{
    if (LinkState != lsDisconnected)
        btnOpenPortClick();
    bool dialogPressed = false;
    if (ConnectionForm) {
        ConnectionForm->exec();
        dialogPressed = ConnectionForm->PressedConnect();
    }
    if (closed_)
        return;  // a quit signal closed the dialog: the link stays as the close left it
    // Ethernet reports its state by a posted message that may not have arrived
    // yet: when the dialog already pressed Connect, a second press would undo it.
    if (ConnectionKind != ckSerial && dialogPressed)
        return;
    if (LinkState == lsDisconnected)
        btnOpenPortClick();
}

void TForm1::Otwrz1Click()
{
    OpenDialog1->selectNameFilter(OpenDialog1->nameFilters().first());
    if (OpenDialog1->exec() != QDialog::Accepted || OpenDialog1->selectedFiles().isEmpty())
        return;
    LoadDatabase(OpenDialog1->selectedFiles().first());
}

void TForm1::LoadDatabase(const QString& path)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        LoadDatabaseFile(path, Table);
        loadedFile_ = path;
        Recent.Add(QFileInfo(path).absoluteFilePath());
        CommLog.SetDecoding(Table.Utf8() ? TCommLog::ldUtf8 : TCommLog::ldWindows1250);
    } catch (...) {
        QApplication::restoreOverrideCursor();
        throw;
    }
    QApplication::restoreOverrideCursor();
}

void TForm1::SetWyslijBazeIdle()
{
    WyslijBazeTag = 0;
    bbWyslijBaze->setText(tr("Send database"));
    btnOpenPort->setEnabled(true);
}

bool TForm1::CheckBeforeSending()
{
    return CheckTable(ConnectionKind != ckSerial && EthProtocol == epUDP);
}

bool TForm1::CheckTable(bool udp)
{
    const std::vector<TFinding> findings = CheckDatabase(Table, udp);
    if (findings.empty())
        return true;
    TCheckForm form(findings, this);
    return form.exec() == QDialog::Accepted;
}

void TForm1::bbWyslijBazeClick()
{
    if (WyslijBazeTag == 0) {
        // Checked before anything changes: Cancel leaves the window as it was.
        if (!CheckBeforeSending())
            return;
        ProgressBar1->setValue(0);
        WyslijBazeTag = 1;
        bbWyslijBaze->setText(tr("Stop"));
        btnOpenPort->setEnabled(false);
        UploadsRunning(ownHolds_, true);
        // The log names the kind in English, whatever the caption's language.
        const auto kinds = DatabaseKinds(rgUrzadzenie->ItemIndex());
        const auto kind = static_cast<std::size_t>(rgBaza->ItemIndex());
        Session.Start(rgBaza->ItemIndex(), kind < kinds.size() ? QString::fromLatin1(kinds[kind].Caption) : QString());
    } else {
        SetWyslijBazeIdle();
        Session.Stop();
        UploadsRunning(ownHolds_, false);
    }
    StatusLine->Refresh();
}

void TForm1::rgUrzadzenieClick()
{
    rgBaza->ClearItems();
    rgBaza->SetItems(DatabaseKindCaptions(rgUrzadzenie->ItemIndex()));
    rgBaza->SetItemIndex(0);
}

void TForm1::ComPort1RxChar(TCustomComPort*, std::int32_t count)
{
    Session.ReadSerial(count);
}

void TForm1::ComPort1DeviceLost(TCustomComPort*)
{
    // The adapter was unplugged: as if Disconnect were pressed, so the label
    // turns red and Connect opens the device again once it is back.
    if (ConnectionKind == ckSerial && LinkState != lsDisconnected)
        btnOpenPortClick();
}

void TForm1::SendOrder(const QByteArray& text)
{
    Session.Send(text);
}

TStatusState TForm1::StatusState() const
{
    return Session.Status();
}

void TForm1::ShowLinkCause()
{
    // Refresh tells the label's tooltip and description the cause.
    StatusLine->Refresh();
}

void TForm1::closeEvent(QCloseEvent* e)
{
    if (!closed_ && !MayClose()) {
        e->ignore();
        return;
    }
    FormClose();
    e->accept();
}

bool TForm1::MayClose()
{
    TCloseQuestion question(
        [this] {
            std::vector<std::int32_t> running = ScalesPanel->Model->RunningIndexes();
            if (WyslijBazeTag != 0)
                running.push_back(Upload.UploadIndex);
            return CloseQuestionText(running, Table.RowCount());
        },
        windowTitle().trimmed(), this);
    // Up while the uploads go on: it follows them, and goes when they end.
    connect(StatusLine, &TStatusLine::Refreshed, &question, &TCloseQuestion::Update);
    connect(ScalesPanel->Model, &QAbstractItemModel::dataChanged, &question, &TCloseQuestion::Update);
    return question.Ask();
}

void TForm1::FormQuitSignal()
{
    // Their nested loops return once this handler does; while quitting,
    // MessageBox shows nothing, so the close sequence cannot wait for a click.
    CloseModalWindows();
    FormClose();
    if (TerminateOnClose)
        QCoreApplication::quit();  // also when a close the user began still runs
}

void TForm1::FormClose()
{
    if (closed_)
        return;
    closed_ = true;
    try {
        ComPort1.ClosePort();
    } catch (...) {
    }
    ShowConnectionState();
    try {
        ComPort1.SaveSettings(ssIniFile, AppFolder() + QStringLiteral("ComPortTest.ini"));
    } catch (...) {
    }
    EthLink.reset();
    SaveConfig(XMLConfig);
    ScalesPanel->Close();
    Recent.Save();
    UploadsRunning(ownHolds_, false);
    UploadsRunning(panelHolds_, false);
    if (TerminateOnClose)
        QCoreApplication::quit();
}

void TForm1::BuildFileMenuAdditions()
{
    OpenRecent1 = Plik1->addMenu(tr("Open &Recent"));
    OpenRecent1->setObjectName(QStringLiteral("OpenRecent1"));
    connect(OpenRecent1, &QMenu::aboutToShow, this, &TForm1::OpenRecent1Show);
    ClearRecent1 = new QAction(tr("Clear list"), this);
    ClearRecent1->setObjectName(QStringLiteral("ClearRecent1"));
    connect(ClearRecent1, &QAction::triggered, this, &TForm1::ClearRecentClick);
    Plik1->addSeparator();
    Quit1 = Plik1->addAction(tr("&Quit"));
    Quit1->setObjectName(QStringLiteral("Quit1"));
    Quit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(Quit1, &QAction::triggered, this, &TForm1::Quit1Click);
}

void TForm1::BuildHelpMenu()
{
    Help1 = menuBar()->addMenu(tr("&Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    About1 = Help1->addAction(tr("&About scaledb"));
    About1->setObjectName(QStringLiteral("About1"));
    connect(About1, &QAction::triggered, this, &TForm1::AboutClick);
    AboutQt1 = Help1->addAction(tr("About &Qt"));
    AboutQt1->setObjectName(QStringLiteral("AboutQt1"));
    connect(AboutQt1, &QAction::triggered, this, &TForm1::AboutQtClick);
}

void TForm1::BuildDesktop()
{
    const int link = CommLog.LinkId(QStringLiteral("desktop"));
    SleepLock.Tell = [this, link](const QString& text) { CommLog.Event(link, text); };
    connect(&Desktop, &TDesktopNotifier::Activated, this, [this] {
        if (isMinimized())
            showNormal();
        raise();
        activateWindow();
    });
    setAcceptDrops(true);
}

// The menu is filled as it opens, so a file deleted meanwhile shows disabled.
void TForm1::OpenRecent1Show()
{
    OpenRecent1->clear();
    for (const QString& file : Recent.Files()) {
        QAction* item = OpenRecent1->addAction(QString(file).replace(QLatin1Char('&'), QStringLiteral("&&")));
        item->setEnabled(QFileInfo::exists(file));
        connect(item, &QAction::triggered, this, [this, file] { OpenRecentClick(file); });
    }
    if (Recent.Files().isEmpty())
        OpenRecent1->addAction(tr("(none)"))->setEnabled(false);
    OpenRecent1->addSeparator();
    OpenRecent1->addAction(ClearRecent1);
    ClearRecent1->setEnabled(!Recent.Files().isEmpty());
}

void TForm1::OpenRecentClick(const QString& path)
{
    LoadDatabase(path);
}

void TForm1::ClearRecentClick()
{
    Recent.Clear();
}

void TForm1::Quit1Click()
{
    close();
}

void TForm1::AboutClick()
{
    const QString text =
        tr("<h3>scaledb %1</h3>"
                       "<p>Sends product, user, label and status databases to shop scales, record by record, "
                       "over a serial port, TCP or UDP.</p>"
                       "<p>Licence: MIT</p>"
                       "<p>Built with Qt %2, running on Qt %3.</p>")
            .arg(QStringLiteral(SCALEDB_VERSION), QStringLiteral(QT_VERSION_STR), QString::fromLatin1(qVersion()));
    auto* box = new QMessageBox(QMessageBox::NoIcon, tr("About scaledb"), text, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("AboutBox"));
    box->setIconPixmap(windowIcon().pixmap(64, 64));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void TForm1::AboutQtClick()
{
    QApplication::aboutQt();
}

namespace {
QStringList LocalFiles(const QMimeData* data)
{
    QStringList files;
    if (data && data->hasUrls())
        for (const QUrl& url : data->urls())
            if (url.isLocalFile())
                files << url.toLocalFile();
    return files;
}
}

void TForm1::dragEnterEvent(QDragEnterEvent* e)
{
    if (!LocalFiles(e->mimeData()).isEmpty())
        e->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* e)
{
    const QStringList files = LocalFiles(e->mimeData());
    if (files.isEmpty())
        return;
    e->acceptProposedAction();
    FormDragDrop(files);
}

void TForm1::FormDragDrop(const QStringList& files)
{
    // As File > Open: a file that cannot be read throws, and the application shows why.
    LoadDatabase(files.first());
    if (files.size() > 1)
        StatusLine->Tell(tr("%1 files dropped: opened the first, %2")
                             .arg(files.size()).arg(QFileInfo(files.first()).fileName()));
}

void TForm1::UploadsRunning(bool& mine, bool running)
{
    if (mine == running)
        return;
    mine = running;
    if (running) {
        SleepLock.Hold(tr("Sending a database to a scale"));
    } else {
        SleepLock.Release();
        if (!ownHolds_ && !panelHolds_)
            Desktop.ClearProgress();
    }
}

void TForm1::NotifyEnd(const QString& summary)
{
    if (isActiveWindow())
        return;
    const QString time = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss"));
    const QString file = QFileInfo(loadedFile_).fileName();
    Desktop.Notify(summary, file.isEmpty() ? time : QStringLiteral("%1, %2").arg(file, time));
}
