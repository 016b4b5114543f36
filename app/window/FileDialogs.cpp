#include "FileDialogs.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QFileDialog>

namespace {

QString Ask(QFileDialog& dialog)
{
    KeepFileDialogTidy(&dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

} // namespace

void KeepFileDialogTidy(QFileDialog* dialog)
{
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog] {
        for (QCompleter* completer : dialog->findChildren<QCompleter*>())
            if (completer->popup() && completer->popup()->isVisible())
                completer->popup()->hide();
    });
}

QString AskOpenFileName(QWidget* parent, const QString& caption, const QString& filter)
{
    QFileDialog dialog(parent, caption, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return Ask(dialog);
}

QString AskSaveFileName(QWidget* parent, const QString& caption, const QString& name, const QString& filter)
{
    QFileDialog dialog(parent, caption, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.selectFile(name);
    return Ask(dialog);
}
