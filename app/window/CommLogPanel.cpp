#include "CommLogPanel.h"

#include "CommLog.h"
#include "CommLogDelegate.h"
#include "CommLogView.h"
#include "FileDialogs.h"
#include "MessageBox.h"

#include <QAction>
#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

TCommLogPanel::TCommLogPanel(TCommLog& log, QMainWindow* window)
    : QDockWidget(tr("Communication log"), window), log_(log)
{
    setObjectName(QStringLiteral("CommLogPanel"));
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(BuildButtons(body));
    layout->addWidget(BuildView(body), 1);
    setWidget(body);
    AddToWindow(window);
}

QHBoxLayout* TCommLogPanel::BuildButtons(QWidget* body)
{
    auto* buttons = new QHBoxLayout;
    const auto button = [&](const QString& text, const char* name) {
        auto* b = new QPushButton(text, body);
        b->setObjectName(QLatin1String(name));
        buttons->addWidget(b);
        return b;
    };
    btnCopy = button(tr("Copy"), "btnCopy");
    btnClear = button(tr("Clear"), "btnClear");
    btnSave = button(tr("Save..."), "btnSave");
    btnHex = button(tr("Hex"), "btnHex");
    btnHex->setCheckable(true);
    buttons->addStretch(1);
    connect(btnCopy, &QPushButton::clicked, this, &TCommLogPanel::btnCopyClick);
    connect(btnClear, &QPushButton::clicked, this, &TCommLogPanel::btnClearClick);
    connect(btnSave, &QPushButton::clicked, this, &TCommLogPanel::btnSaveClick);
    connect(btnHex, &QPushButton::clicked, this, &TCommLogPanel::btnHexClick);
    return buttons;
}

QTableView* TCommLogPanel::BuildView(QWidget* body)
{
    LogView = new TCommLogView(body);
    LogView->setObjectName(QStringLiteral("LogView"));
    LogView->setAccessibleName(tr("Communication log"));
    LogView->setSelectionBehavior(QAbstractItemView::SelectRows);
    LogView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LogView->setWordWrap(false);
    LogView->setShowGrid(false);
    LogView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    delegate_ = new TCommLogDelegate(log_, LogView);
    LogView->setItemDelegate(delegate_);
    // Fixed row heights: the view never asks 100,000 rows for their size.
    LogView->verticalHeader()->hide();
    LogView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    LogView->verticalHeader()->setDefaultSectionSize(LogView->fontMetrics().height() + 4);
    LogView->horizontalHeader()->setStretchLastSection(true);
    auto* copy = new QAction(LogView);
    copy->setShortcut(QKeySequence::Copy);
    // Ctrl+C copies wherever the focus is in the panel, also on its buttons.
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QAction::triggered, this, &TCommLogPanel::btnCopyClick);
    body->addAction(copy);
    // Arrows move between rows; Tab leaves the view.
    LogView->setTabKeyNavigation(false);
    // The scroll bar moves with every new entry. Filled by itself, it is
    // repainted alone, not with the panel and the window under it.
    LogView->verticalScrollBar()->setAutoFillBackground(true);
    return LogView;
}

// Docked at the bottom, hidden, with its item in a new "View" menu.
void TCommLogPanel::AddToWindow(QMainWindow* window)
{
    window->addDockWidget(Qt::BottomDockWidgetArea, this);
    hide();
    QMenu* view = window->menuBar()->addMenu(tr("&View"));
    view->setObjectName(QStringLiteral("View1"));
    QAction* item = toggleViewAction();
    item->setText(tr("Communication &log"));
    item->setObjectName(QStringLiteral("CommunicationLog1"));
    view->addAction(item);
    connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (visible)
            Attach();
        else if (isHidden())
            Detach();  // not only covered by another tabbed panel
    });
}

void TCommLogPanel::Attach()
{
    if (LogView->model())
        return;
    log_.Flush();
    LogView->setModel(&log_);
    const int width = LogView->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    LogView->setColumnWidth(TCommLog::lcTime, width * 14);
    LogView->setColumnWidth(TCommLog::lcLink, width * 26);
    LogView->setColumnWidth(TCommLog::lcDirection, width * 10);
    LogView->setColumnWidth(TCommLog::lcText, width * 48);
    LogView->setColumnHidden(TCommLog::lcHex, !btnHex->isChecked());
    aboutToInsert_ = connect(&log_, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar* bar = LogView->verticalScrollBar();
        atBottom_ = bar->value() >= bar->maximum();
    });
    inserted_ = connect(&log_, &QAbstractItemModel::rowsInserted, this, [this] {
        if (atBottom_)
            LogView->scrollToBottom();
    });
    changed_ = connect(&log_, &QAbstractItemModel::dataChanged, delegate_, &TCommLogDelegate::Forget);
    LogView->scrollToBottom();
}

void TCommLogPanel::Detach()
{
    disconnect(aboutToInsert_);
    disconnect(inserted_);
    disconnect(changed_);
    delegate_->Forget();
    LogView->setModel(nullptr);
}

void TCommLogPanel::btnCopyClick()
{
    if (!LogView->selectionModel())
        return;
    QModelIndexList rows = LogView->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end());
    QString text;
    for (const QModelIndex& row : rows)
        if (const TCommLog::TEntry* e = log_.Row(row.row()))
            text += log_.Line(*e) + QLatin1Char('\n');
    QGuiApplication::clipboard()->setText(text);
}

void TCommLogPanel::btnClearClick()
{
    log_.Clear();
}

void TCommLogPanel::btnSaveClick()
{
    const QString path = AskSaveFileName(this, tr("Save the communication log"),
                                                      QStringLiteral("communication-log.txt"),
                                                      tr("text files (*.txt);;all files (*)"));
    if (!path.isEmpty())
        SaveTo(path);
}

bool TCommLogPanel::SaveTo(const QString& path)
{
    QString error;
    if (log_.Save(path, error))
        return true;
    MessageBox(tr("The communication log could not be saved to %1: %2").arg(path, error),
               tr("Communication log"), MB_ICONEXCLAMATION);
    return false;
}

void TCommLogPanel::btnHexClick()
{
    LogView->setColumnHidden(TCommLog::lcHex, !btnHex->isChecked());
}
