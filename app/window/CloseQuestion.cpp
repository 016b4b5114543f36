#include "CloseQuestion.h"

#include "MessageBox.h"
#include "ProcessData.h"
#include "QuitSignals.h"
#include "StatusText.h"

#include <QMessageBox>

#include <algorithm>

namespace {

// How far an exchange has come: the start command, each record, the end command.
std::int32_t Progress(std::int32_t index, std::int32_t rows)
{
    if (index == TUpload::EndCommandSent)
        return rows + 1;
    if (index == TUpload::EndAccepted)
        return rows + 2;
    return index;
}

} // namespace

QString CloseQuestionText(const std::vector<std::int32_t>& indexes, std::int32_t rows)
{
    if (indexes.empty())
        return {};
    const auto behind = std::min_element(indexes.begin(), indexes.end(), [rows](std::int32_t a, std::int32_t b) {
        return Progress(a, rows) < Progress(b, rows);
    });
    const auto count = static_cast<int>(indexes.size());
    return QCoreApplication::translate("TCloseQuestion", "An upload is running (%1; %2 %3). Close anyway?")
        .arg(ShownUploadWhere(*behind, rows, true))
        .arg(count)
        .arg(count == 1 ? QCoreApplication::translate("TCloseQuestion", "scale") : QCoreApplication::translate("TCloseQuestion", "scales"));
}

TCloseQuestion::TCloseQuestion(std::function<QString()> text, const QString& caption, QWidget* parent)
    : text_(std::move(text)), caption_(caption), parent_(parent)
{
}

bool TCloseQuestion::Ask()
{
    const QString text = text_();
    if (text.isEmpty())
        return true;
    if (MessageBoxHooked() || Quitting())
        return MessageBox(text, caption_, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
    QMessageBox box(QMessageBox::Question, caption_, text, QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    box_ = &box;
    const int answer = box.exec();
    return withdrawn_ || answer == QMessageBox::Yes;
}

void TCloseQuestion::Update()
{
    if (!box_ || withdrawn_)
        return;
    const QString text = text_();
    if (!text.isEmpty()) {
        box_->setText(text);
        return;
    }
    withdrawn_ = true;
    box_->done(QMessageBox::No);
}
