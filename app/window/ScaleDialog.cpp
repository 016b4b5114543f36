#include "ScaleDialog.h"

#include "ScaleList.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TScaleDialog::TScaleDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ScaleDialog"));
    setWindowTitle(tr("Add a scale"));
    EditLink = new QLineEdit(this);
    EditLink->setObjectName(QStringLiteral("EditLink"));
    EditLink->setPlaceholderText(QStringLiteral("tcp://192.168.1.14:4001"));
    EditName = new QLineEdit(this);
    EditName->setObjectName(QStringLiteral("EditName"));
    EditName->setMaxLength(200);
    LabelHint = new QLabel(this);
    LabelHint->setObjectName(QStringLiteral("LabelHint"));
    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto* form = new QFormLayout(this);
    form->addRow(tr("&Link:"), EditLink);
    form->addRow(tr("&Name (optional):"), EditName);
    form->addRow(LabelHint);
    form->addRow(Buttons);
    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(EditLink, &QLineEdit::textChanged, this, &TScaleDialog::Check);
    Check();
    EditLink->setFocus(Qt::OtherFocusReason);
}

void TScaleDialog::Check()
{
    TTarget t;
    const bool ok = ParseLink(EditLink->text().trimmed(), t);
    Buttons->button(QDialogButtonBox::Ok)->setEnabled(ok);
    LabelHint->setText(ok ? QString() : tr("Type %1").arg(LinkForms()));
    EditLink->setAccessibleDescription(LabelHint->text());
}

TTarget TScaleDialog::Target() const
{
    TTarget t;
    ParseLink(EditLink->text().trimmed(), t);
    const QString name = ListableName(EditName->text());
    if (!name.isEmpty())
        t.Name = name;
    return t;
}
