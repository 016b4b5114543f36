#pragma once
// Keyboard access to the main window's buttons: menu items with shortcuts
// that press a button as a click would.
#include <QKeySequence>
#include <QList>

class QAction;
class QMenu;
class QPushButton;
class QString;

// Adds an item to menu that clicks button; it is enabled exactly when the
// button is, so a shortcut never does what a disabled button would not.
QAction* AddButtonAction(QMenu* menu, QPushButton* button, const QString& text, const QList<QKeySequence>& keys);
