#include "CheckForm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QVBoxLayout>

TCheckForm::TCheckForm(const std::vector<TFinding>& findings, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("CheckForm"));
    setWindowTitle(tr("Check before sending"));
    setModal(true);

    const auto count = static_cast<qsizetype>(findings.size());
    QStringList lines;
    lines << (count == 1 ? tr("The database has 1 finding; sent as it is, the scale may be left with part of it or wrong data:")
                         : tr("The database has %1 findings; sent as it is, the scale may be left with part of it or wrong data:").arg(count));
    lines << QString();
    for (qsizetype i = 0; i < count && i < Listed; ++i)
        lines << findings[static_cast<std::size_t>(i)].Text();
    if (count > Listed)
        lines << tr("and %1 more").arg(count - Listed);

    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    // The picture says what the title does: named so, with no more to tell.
    icon->setAccessibleName(tr("Warning"));
    LabelFindings = new QLabel(lines.join('\n'), this);
    LabelFindings->setObjectName(QStringLiteral("LabelFindings"));
    LabelFindings->setTextFormat(Qt::PlainText);
    LabelFindings->setTextInteractionFlags(Qt::TextSelectableByMouse);

    btnSendAnyway = new QPushButton(tr("Send anyway"), this);
    btnSendAnyway->setObjectName(QStringLiteral("btnSendAnyway"));
    // A button takes Enter, and shows it, only while it has the focus; the
    // focus starts on Cancel, so Enter cancels and Space never sends unseen.
    btnSendAnyway->setAutoDefault(true);
    connect(btnSendAnyway, &QPushButton::clicked, this, &QDialog::accept);
    btnCancel = new QPushButton(tr("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(true);
    btnCancel->setDefault(true);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    // Alt+S sends anyway; the caption stays as it reads, without a mnemonic.
    auto* sendKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_S), this);
    connect(sendKey, &QShortcut::activated, btnSendAnyway, &QPushButton::click);
    btnSendAnyway->setToolTip(QStringLiteral("Alt+S"));
    // Mostly opened from the keyboard: show the focus frame on Cancel at once.
    setAttribute(Qt::WA_KeyboardFocusChange);

    auto* text = new QHBoxLayout;
    text->addWidget(icon);
    text->addWidget(LabelFindings, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnSendAnyway);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(text);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    btnCancel->setFocus(Qt::OtherFocusReason);
}
