#include "CPortSetup.h"

#include "CPortCtl.h"
#include "FormControls.h"
#include "Translate.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

#include <array>
#include <memory>

bool SetupApplied = false;

namespace {

TComComboBox* MakeCombo(const char* name, int y, TComProperty property, QWidget* parent)
{
    auto* combo = new TComComboBox(parent);
    combo->setObjectName(QLatin1String(name));
    combo->setGeometry(80, y, 129, 21);
    combo->SetComProperty(property);
    return combo;
}

QString Translated(const QString& text)
{
    return CportText(text.toUtf8().constData());
}

} // namespace

TComSetupFrm::TComSetupFrm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ComSetupFrm"));
    setWindowTitle(QStringLiteral(QT_TRANSLATE_NOOP("cport", "RS-232 settings")));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    // The theme's window colour, not a white of its own: under a dark
    // theme's light text a white background would leave nothing to read.

    BuildSettingsGroup();
    BuildButtons();
    FormCreate();
    ScaleForm(*this, QSize(231, 216)); // after translation: captions may have grown
    Combo1->setFocus(Qt::OtherFocusReason);  // the first of the tab order
}

void TComSetupFrm::BuildSettingsGroup()
{
    GroupBox1 = new QGroupBox(QStringLiteral(QT_TRANSLATE_NOOP("cport", " Settings: ")), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 8, 217, 169);
    Label1 = MakeLabel("Label1", QStringLiteral(QT_TRANSLATE_NOOP("cport", "Port:")), 8, 24, GroupBox1);
    Label2 = MakeLabel("Label2", QStringLiteral(QT_TRANSLATE_NOOP("cport", "Baud rate:")), 8, 48, GroupBox1);
    Label3 = MakeLabel("Label3", QStringLiteral(QT_TRANSLATE_NOOP("cport", "Data bits:")), 8, 72, GroupBox1);
    Label4 = MakeLabel("Label4", QStringLiteral(QT_TRANSLATE_NOOP("cport", "Stop bits:")), 8, 96, GroupBox1);
    Label5 = MakeLabel("Label5", QStringLiteral(QT_TRANSLATE_NOOP("cport", "Parity:")), 8, 120, GroupBox1);
    Label6 = MakeLabel("Label6", QStringLiteral(QT_TRANSLATE_NOOP("cport", "Flow control:")), 8, 144, GroupBox1);
    // The port list comes first so that a missing device tree fails before
    // the other lists are filled.
    Combo1 = MakeCombo("Combo1", 16, cpPort, GroupBox1);
    Combo2 = MakeCombo("Combo2", 40, cpBaudRate, GroupBox1);
    Combo3 = MakeCombo("Combo3", 64, cpDataBits, GroupBox1);
    Combo4 = MakeCombo("Combo4", 88, cpStopBits, GroupBox1);
    Combo5 = MakeCombo("Combo5", 112, cpParity, GroupBox1);
    Combo6 = MakeCombo("Combo6", 136, cpFlowControl, GroupBox1);
    setTabOrder(Combo1, Combo2);
    setTabOrder(Combo2, Combo3);
    setTabOrder(Combo3, Combo4);
    setTabOrder(Combo4, Combo5);
    setTabOrder(Combo5, Combo6);
}

// The hidden buttons the dialog's keys press, then the visible speed buttons.
void TComSetupFrm::BuildButtons()
{
    BitBtnApply = new QPushButton(QStringLiteral(QT_TRANSLATE_NOOP("cport", "Apply")), this);
    BitBtnApply->setObjectName(QStringLiteral("BitBtnApply"));
    BitBtnApply->setGeometry(8, 188, 17, 22);
    BitBtnCancel = new QPushButton(QStringLiteral(QT_TRANSLATE_NOOP("cport", "Cancel")), this);
    BitBtnCancel->setObjectName(QStringLiteral("BitBtnCancel"));
    BitBtnCancel->setGeometry(16, 188, 17, 22);
    for (QPushButton* b : {BitBtnApply, BitBtnCancel}) {
        b->setAutoDefault(false); // Enter presses nothing
        b->hide();
    }
    connect(BitBtnApply, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    setTabOrder(Combo6, BitBtnApply);
    setTabOrder(BitBtnApply, BitBtnCancel);

    sbApply = MakeSpeedButton("sbApply", QStringLiteral(QT_TRANSLATE_NOOP("cport", "Zastosuj")), QStyle::SP_DialogApplyButton, this);
    sbApply->setToolTip(QStringLiteral(QT_TRANSLATE_NOOP("cport", "Apply settings")));
    sbApply->setGeometry(80, 184, 73, 25);
    sbCancel = MakeSpeedButton("sbCancel", QStringLiteral(QT_TRANSLATE_NOOP("cport", "Anuluj")), QStyle::SP_DialogCancelButton, this);
    sbCancel->setToolTip(QStringLiteral(QT_TRANSLATE_NOOP("cport", "Cancel settings")));
    sbCancel->setGeometry(160, 184, 65, 25);
    connect(sbApply, &QToolButton::clicked, this, &TComSetupFrm::sbApplyClick);
    connect(sbCancel, &QToolButton::clicked, this, &TComSetupFrm::sbCancelClick);
    setTabOrder(BitBtnCancel, sbApply);
    setTabOrder(sbApply, sbCancel);
}

void TComSetupFrm::FormCreate()
{
    // Every caption passes through the "cport" catalogue as it stands (the
    // literals above are marked for it); the lists hold setting values, not
    // captions: they are never translated.
    setWindowTitle(Translated(windowTitle()));
    for (QLabel* l : findChildren<QLabel*>())
        l->setText(Translated(l->text()));
    // Each list is announced with its label, as translated.
    const std::array<QLabel*, 6> labels{Label1, Label2, Label3, Label4, Label5, Label6};
    const std::array<TComComboBox*, 6> lists{Combo1, Combo2, Combo3, Combo4, Combo5, Combo6};
    for (std::size_t i = 0; i < labels.size(); ++i)
        NameAfterLabel(labels[i], lists[i]);
    GroupBox1->setTitle(Translated(GroupBox1->title()));
    for (QAbstractButton* b : findChildren<QAbstractButton*>()) {
        b->setText(Translated(b->text()));
        if (!b->toolTip().isEmpty())
            b->setToolTip(Translated(b->toolTip()));
    }
}

void TComSetupFrm::sbApplyClick()
{
    BitBtnApply->click();
    SetupApplied = true;
}

void TComSetupFrm::sbCancelClick()
{
    BitBtnCancel->click();
    SetupApplied = false;
}

void TComSetupFrm::keyPressEvent(QKeyEvent* e)
{
    // Enter is "Zastosuj" (or the focused button), Escape is "Anuluj", each
    // with the flag its button sets.
    switch (e->key()) {
    case Qt::Key_Escape:
        sbCancelClick();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (focusWidget() == sbCancel)
            sbCancelClick();
        else
            sbApplyClick();
        return;
    default:
        QDialog::keyPressEvent(e);
    }
}

void EditPortSettings(TCustomComPort& port)
{
    auto form = std::make_unique<TComSetupFrm>();
    const std::array<TComComboBox*, 6> lists{form->Combo1, form->Combo2, form->Combo3,
                                             form->Combo4, form->Combo5, form->Combo6};
    for (TComComboBox* list : lists)
        list->SetComPort(&port);
    for (TComComboBox* list : lists)
        list->UpdateSettings();
    if (form->exec() != QDialog::Accepted)
        return;
    port.BeginSettingsUpdate();
    try {
        for (TComComboBox* list : lists)
            list->ApplySettings();
    } catch (...) {
        // A refused setting must not leave the port deaf to later changes.
        port.EndSettingsUpdate();
        throw;
    }
    port.EndSettingsUpdate();
}

void InstallSerialSetupDialog()
{
    TCustomComPort::SettingsDialogHook = [](TCustomComPort& port) { EditPortSettings(port); };
}
