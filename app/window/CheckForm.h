#pragma once
// The dialog the check before sending shows when it finds something: the
// first findings with their rows and a count of the rest. "Send anyway"
// accepts (also Alt+S), "Cancel" (the default, also Escape) rejects.
#include "DatabaseCheck.h"

#include <QDialog>

#include <vector>

class QLabel;
class QPushButton;

class TCheckForm : public QDialog {
    Q_OBJECT
public:
    static constexpr int Listed = 10;

    TCheckForm(const std::vector<TFinding>& findings, QWidget* parent = nullptr);

    QLabel* LabelFindings;
    QPushButton* btnSendAnyway;
    QPushButton* btnCancel;
};
