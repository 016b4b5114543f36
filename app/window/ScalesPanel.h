#pragma once
// The scales panel: a shop's scales in a table, each one's upload state,
// and the buttons (and "Scales" menu items) that keep the list and send the
// window's table to several scales at once. Dockable, hidden until "View >
// Scales" shows it, as the communication log is.
#include "FleetDefaults.h"

#include <QDockWidget>

#include <functional>
#include <vector>

class QLabel;
class QMainWindow;
class QPushButton;
class QTableView;
class TCommLog;
class TGridTable;
class TScalesModel;

class TScalesPanel : public QDockWidget {
    Q_OBJECT
public:
    TScalesPanel(const TGridTable& table, TCommLog& log, QMainWindow* window);

    void btnAddClick();
    void btnRemoveClick();
    void btnOpenListClick();
    void btnSaveListClick();
    void btnSendAllClick();
    void btnSendSelectedClick();
    void btnSendFailedClick();
    void btnSaveReportClick();

    // The list's file: read now (a missing file is an empty list) and
    // written at close when the list changed. Shows no message box: lines
    // that cannot be read are kept and told in the note above the table and
    // in the status line. False when the file cannot be read at all; it is
    // then never written over.
    bool UseList(const QString& path);
    // Replaces the list with a file's scales, its unreadable lines kept and
    // told as UseList does; a file that cannot be read, in a message box.
    bool OpenList(const QString& path);
    bool SaveList(const QString& path);
    bool SaveReport(const QString& path);
    // Writes the list to its file if it changed; true when nothing was lost.
    bool Close();

    // The check before sending, once for a run; `udp`: a scale of it is on UDP.
    std::function<bool(bool udp)> Check = [](bool) { return true; };
    // The database kind's position, as the window's radio group has it.
    std::function<int()> Position = [] { return 0; };
    std::function<QString()> KindWord = [] { return QStringLiteral("product"); };
    // Tells the status line a run's outcome.
    std::function<void(const QString& text)> Tell = [](const QString&) {};
    // A run starts (true) or its last upload ended (false).
    std::function<void(bool running)> Running = [](bool) {};
    // A run's last upload ended, with the run's summary.
    std::function<void(const QString& summary)> RunEnded = [](const QString&) {};
    // The local port every UDP scale answers to (0: any).
    quint16 UdpPort = FleetDefaults::UdpPort;

    TScalesModel* Model;
    QLabel* ListNote;  // what of the list's file could not be read; hidden when all could
    QTableView* ScalesView;
    QPushButton* btnAdd;
    QPushButton* btnRemove;
    QPushButton* btnOpenList;
    QPushButton* btnSaveList;
    QPushButton* btnSendAll;
    QPushButton* btnSendSelected;
    QPushButton* btnSendFailed;
    QPushButton* btnSaveReport;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void FitColumns();
    void BuildButtons(QWidget* body);
    void BuildMenu(QMainWindow* window);
    void Send(const std::vector<int>& rows);
    void ShowRunning();
    void ScaleEnded(int row);
    bool Fail(const QString& text);
    bool LoadList(const QString& path, QString& error);
    void ShowNote(const QString& text);

    QString listPath_;
    bool changed_ = false;
};
