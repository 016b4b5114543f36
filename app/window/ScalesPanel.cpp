#include "ScalesPanel.h"

#include "ButtonRows.h"
#include "FileDialogs.h"
#include "Keyboard.h"
#include "MessageBox.h"
#include "ScaleDialog.h"
#include "ScaleList.h"
#include "ScalesModel.h"
#include "SettingsFile.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The panel's title, also its message boxes' caption.
QString Caption()
{
    return QCoreApplication::translate("TScalesPanel", "Scales");
}

// Draws the progress column as a bar.
class TProgressDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionProgressBar bar;
        bar.rect = option.rect.adjusted(2, 2, -2, -2);
        bar.minimum = 0;
        bar.maximum = 100;
        bar.progress = index.data(TScalesModel::PercentRole).toInt();
        bar.text = index.data().toString();
        bar.textVisible = true;
        bar.state = option.state | QStyle::State_Horizontal;
        QApplication::style()->drawControl(QStyle::CE_ProgressBar, &bar, painter);
    }
};

// "2 lines of scales.txt could not be read and are kept as they are: line 3:
// bad link …"; empty when every line was read.
QString BadLinesText(const QString& name, const TScaleList& list)
{
    if (list.BadCount == 0)
        return {};
    QStringList lines;
    for (const TBadLine& bad : list.Bad)
        if (lines.size() < 3)
            lines << QCoreApplication::translate("TScalesPanel", "line %1: %2").arg(QString::number(bad.Number), bad.Why);
    QString text = list.BadCount == 1
                       ? QCoreApplication::translate("TScalesPanel", "1 line of %1 could not be read and is kept as it is: %2").arg(name, lines.join(""))
                       : QCoreApplication::translate("TScalesPanel", "%1 lines of %2 could not be read and are kept as they are: %3")
                             .arg(QString::number(list.BadCount), name, lines.join(QStringLiteral("; ")));
    if (list.BadCount > lines.size())
        text += QCoreApplication::translate("TScalesPanel", "; and %1 more").arg(list.BadCount - lines.size());
    return text;
}

} // namespace

TScalesPanel::TScalesPanel(const TGridTable& table, TCommLog& log, QMainWindow* window)
    : QDockWidget(Caption(), window), Model(new TScalesModel(table, log, this))
{
    setObjectName(QStringLiteral("ScalesPanel"));
    auto* body = new QWidget(this);
    ScalesView = new QTableView(body);
    ScalesView->setObjectName(QStringLiteral("ScalesView"));
    ScalesView->setAccessibleName(Caption());
    ScalesView->setModel(Model);
    ScalesView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ScalesView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ScalesView->setWordWrap(false);
    ScalesView->setTabKeyNavigation(false);  // arrows move between rows; Tab goes on to the buttons
    ScalesView->verticalHeader()->hide();
    ScalesView->horizontalHeader()->setStretchLastSection(false);
    ScalesView->setItemDelegateForColumn(TScalesModel::scProgress, new TProgressDelegate(ScalesView));
    ScalesView->viewport()->installEventFilter(this);
    auto* remove = new QAction(ScalesView);
    remove->setShortcut(QKeySequence::Delete);
    remove->setShortcutContext(Qt::WidgetShortcut);
    connect(remove, &QAction::triggered, this, &TScalesPanel::btnRemoveClick);
    ScalesView->addAction(remove);

    ListNote = new QLabel(body);
    ListNote->setObjectName(QStringLiteral("ListNote"));
    ListNote->setTextFormat(Qt::PlainText);  // it quotes the file's lines
    ListNote->setWordWrap(true);
    ListNote->hide();

    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(ListNote);
    layout->addWidget(ScalesView, 1);
    BuildButtons(body);
    setWidget(body);

    window->addDockWidget(Qt::BottomDockWidgetArea, this);
    hide();
    BuildMenu(window);
    Model->OnScaleEnded = [this](int row) { ScaleEnded(row); };
    Model->OnRunEnded = [this] {
        ShowRunning();
        const QString summary = Model->Summary();
        Tell(summary);
        RunEnded(summary);
        Running(false);
    };
    connect(ScalesView->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TScalesPanel::ShowRunning);
    connect(Model, &QAbstractItemModel::modelReset, this, &TScalesPanel::ShowRunning);
    ShowRunning();
}

void TScalesPanel::BuildButtons(QWidget* body)
{
    auto* rows = new TButtonRows(4, body);
    rows->setObjectName(QStringLiteral("Buttons"));
    const auto button = [&](const QString& text, const char* name, void (TScalesPanel::*click)()) {
        auto* b = new QPushButton(text, rows);
        b->setObjectName(QLatin1String(name));
        b->setAccessibleName(text);
        connect(b, &QPushButton::clicked, this, click);
        rows->Add(b);
        return b;
    };
    btnSendAll = button(tr("Send to all scales"), "btnSendAll", &TScalesPanel::btnSendAllClick);
    btnSendSelected = button(tr("Send to selected"), "btnSendSelected", &TScalesPanel::btnSendSelectedClick);
    btnSendFailed = button(tr("Send again to failed"), "btnSendFailed", &TScalesPanel::btnSendFailedClick);
    btnSaveReport = button(tr("Save report…"), "btnSaveReport", &TScalesPanel::btnSaveReportClick);
    btnAdd = button(tr("Add…"), "btnAdd", &TScalesPanel::btnAddClick);
    btnRemove = button(tr("Remove"), "btnRemove", &TScalesPanel::btnRemoveClick);
    btnOpenList = button(tr("Open list…"), "btnOpenList", &TScalesPanel::btnOpenListClick);
    btnSaveList = button(tr("Save list…"), "btnSaveList", &TScalesPanel::btnSaveListClick);
    static_cast<QVBoxLayout*>(body->layout())->addWidget(rows);
}

void TScalesPanel::BuildMenu(QMainWindow* window)
{
    QMenu* view = window->menuBar()->findChild<QMenu*>(QStringLiteral("View1"));
    if (!view)
        view = window->menuBar()->addMenu(tr("&View"));
    QAction* item = toggleViewAction();
    item->setText(tr("&Scales"));
    item->setObjectName(QStringLiteral("Scales1"));
    view->addAction(item);

    QMenu* menu = window->menuBar()->addMenu(tr("&Scales"));
    menu->setObjectName(QStringLiteral("ScalesMenu"));
    const auto add = [&](QPushButton* b, const QString& text, const QList<QKeySequence>& keys, const char* name) {
        AddButtonAction(menu, b, text, keys)->setObjectName(QLatin1String(name));
    };
    // Add and Open keep the letters they have in every program: Alt+S, A
    // never starts an upload.
    add(btnSendAll, tr("Send to a&ll scales/Stop all"),
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Enter)},
        "SendAllKey");
    add(btnSendSelected, tr("Send to s&elected"), {}, "SendSelectedKey");
    add(btnSendFailed, tr("Send again to &failed"), {}, "SendFailedKey");
    add(btnSaveReport, tr("Save re&port…"), {}, "SaveReportKey");
    menu->addSeparator();
    add(btnAdd, tr("&Add…"), {}, "AddKey");
    add(btnRemove, tr("&Remove"), {}, "RemoveKey");
    add(btnOpenList, tr("&Open list…"), {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O)}, "OpenListKey");
    add(btnSaveList, tr("&Save list…"), {}, "SaveListKey");
}

bool TScalesPanel::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == ScalesView->viewport() && e->type() == QEvent::Resize)
        FitColumns();
    return QDockWidget::eventFilter(watched, e);
}

// Progress and time keep their width; name, link and state share the rest,
// so that beside the communication log every column stays in view. A text
// cut short shows whole in its tooltip and to a screen reader.
void TScalesPanel::FitColumns()
{
    const int digit = ScalesView->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    ScalesView->setColumnWidth(TScalesModel::scProgress, digit * 14);
    ScalesView->setColumnWidth(TScalesModel::scTime, digit * 8);
    const int room = ScalesView->viewport()->width() - digit * (14 + 8);
    const int shares[] = {18, 26, 40};  // name, link, state
    for (int c = 0; c < 3; ++c)
        ScalesView->setColumnWidth(c, std::max(digit * 6, room * shares[c] / (18 + 26 + 40)));
}

// Each scale's outcome is told as it comes: its state cell's name changed,
// and, while others still run, the status line (the last one's is the summary).
void TScalesPanel::ScaleEnded(int row)
{
    if (QAccessible::isActive()) {
        QAccessibleInterface* table = QAccessible::queryAccessibleInterface(ScalesView);
        QAccessibleTableInterface* cells = table ? table->tableInterface() : nullptr;
        if (QAccessibleInterface* cell = cells ? cells->cellAt(row, TScalesModel::scState) : nullptr) {
            QAccessibleEvent changed(cell, QAccessible::NameChanged);
            QAccessible::updateAccessibility(&changed);
        }
    }
    if (Model->RunningCount() > 0) {
        const TTarget& t = Model->Row(row).Entry.Target;
        Tell(QStringLiteral("%1: %2").arg(t.Name.isEmpty() ? t.Link : t.Name, Model->StateText(Model->Row(row))));
    }
}

// What can be pressed follows whether uploads run and what is selected.
void TScalesPanel::ShowRunning()
{
    const bool running = Model->RunningCount() > 0;
    const bool any = Model->rowCount() > 0;
    btnSendAll->setText(running ? tr("Stop all") : tr("Send to all scales"));
    btnSendAll->setAccessibleName(btnSendAll->text());
    btnSendAll->setEnabled(running || any);
    btnSendSelected->setEnabled(!running && ScalesView->selectionModel()->hasSelection());
    btnSendFailed->setEnabled(!running && !Model->NotAccepted().empty());
    btnSaveReport->setEnabled(!running && Model->AnyRan());
    btnAdd->setEnabled(!running);
    btnRemove->setEnabled(!running && ScalesView->selectionModel()->hasSelection());
    btnOpenList->setEnabled(!running);
}

void TScalesPanel::btnAddClick()
{
    TScaleDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    Model->Add({dialog.Target(), {}, {}, {}});
    changed_ = true;
    ScalesView->selectRow(Model->rowCount() - 1);
    ShowRunning();
}

void TScalesPanel::btnRemoveClick()
{
    if (!btnRemove->isEnabled())
        return;  // the Delete key while uploads run
    QModelIndexList rows = ScalesView->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end());
    for (auto row = rows.crbegin(); row != rows.crend(); ++row)
        Model->Remove(row->row());
    changed_ = changed_ || !rows.isEmpty();
    ShowRunning();
}

void TScalesPanel::btnOpenListClick()
{
    const QString path = AskOpenFileName(this, tr("Open a list of scales"),
                                                      tr("text files (*.txt);;all files (*)"));
    if (!path.isEmpty())
        OpenList(path);
}

void TScalesPanel::btnSaveListClick()
{
    const QString path = AskSaveFileName(this, tr("Save the list of scales"),
                                                      QStringLiteral("scales.txt"),
                                                      tr("text files (*.txt);;all files (*)"));
    if (!path.isEmpty())
        SaveList(path);
}

void TScalesPanel::btnSaveReportClick()
{
    const QString path = AskSaveFileName(this, tr("Save the report"),
                                                      QStringLiteral("report.json"),
                                                      tr("JSON files (*.json);;all files (*)"));
    if (!path.isEmpty())
        SaveReport(path);
}

bool TScalesPanel::Fail(const QString& text)
{
    MessageBox(text, Caption(), MB_ICONEXCLAMATION);
    return false;
}

bool TScalesPanel::UseList(const QString& path)
{
    listPath_ = path;
    changed_ = false;
    QString error;
    if (!QFile::exists(path)) {
        Model->SetList({});
        ShowNote({});
    } else if (!LoadList(path, error)) {
        listPath_.clear();  // what it holds is unknown: never written over
        Model->SetList({});
        ShowNote(error + tr("; it is left as it is (Save list… writes the list elsewhere)"));
        return false;
    }
    return true;
}

bool TScalesPanel::OpenList(const QString& path)
{
    if (Model->RunningCount() > 0)
        return false;
    QString error;
    if (!LoadList(path, error))
        return Fail(error);
    changed_ = path != listPath_;
    return true;
}

bool TScalesPanel::LoadList(const QString& path, QString& error)
{
    QByteArray bytes;
    if (!ReadBounded(path, kScaleListLimit, bytes)) {
        error = tr("%1 cannot be read as a list of scales").arg(path);
        return false;
    }
    TScaleList list = ReadScaleList(bytes);
    ShowNote(BadLinesText(QFileInfo(path).fileName(), list));
    Model->SetList(std::move(list));
    return true;
}

void TScalesPanel::ShowNote(const QString& text)
{
    ListNote->setText(text);
    ListNote->setVisible(!text.isEmpty());
    if (!text.isEmpty())
        Tell(text);
}

bool TScalesPanel::SaveList(const QString& path)
{
    if (!SaveAtomically(path, ScaleListText(Model->List())))
        return Fail(tr("The list of scales could not be saved to %1").arg(path));
    return true;
}

bool TScalesPanel::SaveReport(const QString& path)
{
    if (!SaveAtomically(path, Model->Report()))
        return Fail(tr("The report could not be saved to %1").arg(path));
    return true;
}

bool TScalesPanel::Close()
{
    Model->StopAll();
    if (!changed_ || listPath_.isEmpty())
        return true;
    changed_ = false;
    return SaveList(listPath_);
}

void TScalesPanel::btnSendAllClick()
{
    if (Model->RunningCount() > 0) {
        Model->StopAll();
        return;
    }
    std::vector<int> rows(static_cast<std::size_t>(Model->rowCount()));
    for (int i = 0; i < Model->rowCount(); ++i)
        rows[static_cast<std::size_t>(i)] = i;
    Send(rows);
}

void TScalesPanel::btnSendSelectedClick()
{
    std::vector<int> rows;
    for (const QModelIndex& row : ScalesView->selectionModel()->selectedRows())
        rows.push_back(row.row());
    std::sort(rows.begin(), rows.end());
    Send(rows);
}

void TScalesPanel::btnSendFailedClick()
{
    Send(Model->NotAccepted());
}

void TScalesPanel::Send(const std::vector<int>& rows)
{
    if (rows.empty() || Model->RunningCount() > 0)
        return;
    const bool udp = std::any_of(rows.begin(), rows.end(), [this](int i) {
        const TTarget& t = Model->Row(i).Entry.Target;
        return t.Kind == ckEthernet && t.Protocol == epUDP;
    });
    if (!Check(udp))
        return;
    show();
    // The last run's outcome no longer holds.
    Tell(rows.size() == 1 ? tr("Sending to 1 scale…")
                          : tr("Sending to %1 scales…").arg(rows.size()));
    Model->KindWord = KindWord();
    Model->Send(rows, Position(), UdpPort);
    if (Model->RunningCount() > 0)
        Running(true);
    ShowRunning();
}
