#pragma once
// The main window: the database grid, the link display with its Connect
// button, and the upload controls.
#include "CPort.h"
#include "CommLog.h"
#include "DesktopNotifier.h"
#include "GridTable.h"
#include "PostMessage.h"
#include "ProcessData.h"
#include "RecentFiles.h"
#include "SleepInhibitor.h"
#include "StatusText.h"
#include "UploadSession.h"
#include "XMLConfig.h"

#include <QMainWindow>

#include <cstdint>
#include <memory>

class CEthConnection;
class TCommLogPanel;
class TScalesPanel;
class TConnectionForm;
class QAction;
class QFileDialog;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QTableView;
class QWidget;
class TRadioGroup;
class TStatusLine;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Local UDP port of the Ethernet link; tests choose a free one before creating the window.
    static quint16 UdpLocalPort;
    // Whether closing the window ends the application (tests keep it running).
    static bool TerminateOnClose;

    void ShowConnectionState();
    void btnOpenPortClick();
    void ConnectionClick();
    void Otwrz1Click();
    void bbWyslijBazeClick();
    void rgUrzadzenieClick();
    void ComPort1RxChar(TCustomComPort* sender, std::int32_t count);
    // The serial device hung up or was unplugged while open.
    void ComPort1DeviceLost(TCustomComPort* sender);
    void SendOrder(const QByteArray& text);
    void OnUpdatePortMessage(std::intptr_t wParam, std::intptr_t lParam);
    // Loads a database file into the grid (the command line's file too).
    void LoadDatabase(const QString& path);
    // Runs the close sequence once; the window's close does it too.
    void FormClose();
    // A quit signal (SIGTERM, SIGINT, SIGHUP): closes any dialog or box that
    // is up, runs the close sequence and ends every event loop.
    void FormQuitSignal();
    // Shows the scales panel with the scales of the list file at path,
    // which keeps the list from now on (scaledb --scales FILE).
    void OpenScales(const QString& path);
    // Beside the specified menus: File > Open Recent and Quit, the Help menu.
    void OpenRecent1Show();
    void OpenRecentClick(const QString& path);
    void ClearRecentClick();
    void Quit1Click();
    void AboutClick();
    void AboutQtClick();
    // Files dropped on the window: the first is opened as File > Open opens it.
    void FormDragDrop(const QStringList& files);

    // The connection settings dialog, shown by the "Connection" menu item.
    TConnectionForm* ConnectionForm = nullptr;

    QMenu* Plik1;
    QAction* Otwrz1;
    QAction* Connection1;
    QMenu* OpenRecent1;
    QAction* ClearRecent1;
    QAction* Quit1;
    QMenu* Help1;
    QAction* About1;
    QAction* AboutQt1;
    TRecentFiles Recent;
    // Held from the first upload's start (the window's own, the panel's) to the last one's end.
    TSleepInhibitor SleepLock;
    // The notification at an upload's end while the window is not active, the launcher's progress.
    TDesktopNotifier Desktop{QStringLiteral("io.github.scaledb.ScaleDb")};
    QFileDialog* OpenDialog1;
    // Before the links, which tell it of their last events as they go.
    TCommLog CommLog;
    TCommLogPanel* CommLogPanel = nullptr;
    // Several scales at once, each over its own link; independent of the window's link.
    TScalesPanel* ScalesPanel = nullptr;
    // The scale's link, upload and log feed; the fields below are its own.
    TUploadSession Session;
    TComPort& ComPort1;
    TUpload& Upload;
    std::unique_ptr<CEthConnection>& EthLink;
    std::uint8_t& LinkState;  // a TLinkState, as WM_LINKSTATE brought it
    int& CommLogLink;         // the active link's number in CommLog
    TXMLDocument XMLConfig;
    TGridTable Table;
    QTableView* StringGrid1;
    QWidget* Panel1;
    QProgressBar* ProgressBar1;
    QPushButton* btnOpenPort;
    QPushButton* bbWyslijBaze;
    TRadioGroup* rgUrzadzenie;
    TRadioGroup* rgBaza;
    QLabel* LabelConnection;
    // Under the panel: the upload's state and the link's failure cause.
    TStatusLine* StatusLine = nullptr;

    int WyslijBazeTag = 0;  // 1 while an upload runs and the button reads "Stop"

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void FormCreate();
    void FormActivate();
    void BuildControls();
    void BuildMenus();
    void BuildGrid(QWidget* central);
    void BuildPanel(QWidget* central);
    void BuildRadioGroups();
    void BuildStatusLine();
    void BuildUploadMenu();
    void BuildFileMenuAdditions();
    void BuildHelpMenu();
    void BuildDesktop();
    // An upload of the window's or of the panel starts or ends.
    void UploadsRunning(bool& mine, bool running);
    // The outcome as a notification, when the user is elsewhere.
    void NotifyEnd(const QString& summary);
    TUpload::THooks UploadHooks();
    void SetWyslijBazeIdle();
    // The window's upload follows its link: held while it is down, with
    // Connect free to bring it back; the awaited command again once it is up.
    void FollowLinkInUpload();
    // The check before an upload starts: true to go on (nothing found, or "Send anyway").
    bool CheckBeforeSending();
    bool CheckTable(bool udp);
    void BuildScalesPanel();
    // Asks before closing while uploads run; true to close.
    bool MayClose();
    // What the status line reads; the label's tooltip is the link's cause.
    TStatusState StatusState() const;
    void ShowLinkCause();

    bool closed_ = false;
    bool ownHolds_ = false;    // the window's own upload holds the sleep lock
    bool panelHolds_ = false;  // the scales panel's run does
    QString loadedFile_;
    bool activatedOnce_ = false;
    bool leftForOwnWindow_ = false;  // the last deactivation handed over to another of our windows
};

extern TForm1* Form1;
