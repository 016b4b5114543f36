#pragma once
// The communication log's dockable panel and the "View" menu item that shows
// it. Hidden, it leaves the model alone: the view lets go of the model and
// takes it up again, at the newest row, when shown.
#include <QDockWidget>
#include <QMetaObject>

class QHBoxLayout;
class QMainWindow;
class QPushButton;
class QTableView;
class TCommLog;
class TCommLogDelegate;

class TCommLogPanel : public QDockWidget {
    Q_OBJECT
public:
    // Adds itself to window's bottom dock area, hidden, and its item to a new "View" menu.
    TCommLogPanel(TCommLog& log, QMainWindow* window);

    void btnCopyClick();
    void btnClearClick();
    void btnSaveClick();
    void btnHexClick();
    // Every entry to path, atomically; a failure is shown in a message box.
    bool SaveTo(const QString& path);

    QTableView* LogView;
    QPushButton* btnCopy;
    QPushButton* btnClear;
    QPushButton* btnSave;
    QPushButton* btnHex;

private:
    QHBoxLayout* BuildButtons(QWidget* body);
    QTableView* BuildView(QWidget* body);
    void AddToWindow(QMainWindow* window);
    void Attach();
    void Detach();

    TCommLog& log_;
    TCommLogDelegate* delegate_;
    bool atBottom_ = true;
    QMetaObject::Connection aboutToInsert_;
    QMetaObject::Connection inserted_;
    QMetaObject::Connection changed_;
};
