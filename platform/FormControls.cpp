#include "FormControls.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QLabel>
#include <QLayout>
#include <QString>
#include <QToolButton>
#include <QWidget>

#include <cmath>

namespace {

// Average character width of the font the pixel positions were chosen for.
constexpr double DesignCharWidth = 6.0;

int Scaled(int pixels, double scale)
{
    return static_cast<int>(std::lround(pixels * scale));
}

void ScaleChildren(QWidget& parent, double scale)
{
    for (QWidget* child : parent.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isWindow())
            continue; // pop-ups and other dialogs keep their own size
        if (auto* label = qobject_cast<QLabel*>(child)) {
            label->adjustSize();
            label->move(Scaled(label->x(), scale), Scaled(label->y(), scale));
            continue;
        }
        const QRect r = child->geometry();
        child->setGeometry(Scaled(r.x(), scale), Scaled(r.y(), scale), Scaled(r.width(), scale),
                           Scaled(r.height(), scale));
        // A layout places its own children; anything else was placed by hand.
        if (!child->layout() && qstrcmp(child->metaObject()->className(), "QGroupBox") == 0)
            ScaleChildren(*child, scale);
    }
}

// A drop-down named by its accessible name where it has one, by its
// selection otherwise; its value is the selection and its one child the list.
class TDropDownAccessible : public QAccessibleWidget {
public:
    explicit TDropDownAccessible(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value || (t == QAccessible::Name && box()->accessibleName().isEmpty()))
            return box()->currentText();
        return QAccessibleWidget::text(t);
    }
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override
    {
        return index == 0 ? QAccessible::queryAccessibleInterface(box()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return child && child->object() == box()->view() ? 0 : -1;
    }
    QStringList actionNames() const override
    {
        return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& name) override
    {
        if (name != showMenuAction() && name != pressAction()) {
            QAccessibleWidget::doAction(name);
            return;
        }
        if (box()->view()->isVisible())
            box()->hidePopup();
        else
            box()->showPopup();
    }

private:
    QComboBox* box() const { return static_cast<QComboBox*>(widget()); }
};

QAccessibleInterface* DropDownFactory(const QString& className, QObject* object)
{
    auto* box = qobject_cast<QComboBox*>(object);
    // Asked first with the object's own class: answered there or not at all.
    if (!box || box->isEditable() || className != QLatin1String(object->metaObject()->className()))
        return nullptr;
    return new TDropDownAccessible(box);
}

} // namespace

void InstallDropDownNames()
{
    // Factories installed later are asked first: this one comes after the
    // one for Qt's own widgets, which the application object installs.
    static bool installed = false;
    if (installed || !QCoreApplication::instance())
        return;
    installed = true;
    QAccessible::installFactory(DropDownFactory);
}

QLabel* MakeLabel(const char* name, const QString& caption, int x, int y, QWidget* parent)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    label->move(x, y);
    label->adjustSize();
    return label;
}

void NameAfterLabel(QLabel* label, QWidget* field)
{
    InstallDropDownNames();
    label->setBuddy(field);
    field->setAccessibleName(SpokenCaption(label->text()));
    if (auto* box = qobject_cast<QComboBox*>(field))
        box->view()->setAccessibleName(field->accessibleName());
}

QString SpokenCaption(QString caption)
{
    caption.remove(QLatin1Char('&'));
    caption = caption.trimmed();
    if (caption.endsWith(QLatin1Char(':')))
        caption.chop(1);
    return caption.trimmed();
}

QToolButton* MakeSpeedButton(const char* name, const QString& caption, QStyle::StandardPixmap image,
                             QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setText(caption);
    button->setIcon(parent->style()->standardIcon(image));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    // Tab reaches it and shows the style's focus frame; a click leaves the focus where it was.
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

double FormScale(const QWidget& form)
{
    static const QString sample = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
    const double average = QFontMetricsF(form.font()).horizontalAdvance(sample) / sample.size();
    return std::max(1.0, average / DesignCharWidth);
}

void ScaleForm(QWidget& form, QSize clientSize)
{
    const double scale = FormScale(form);
    ScaleChildren(form, scale);
    form.setFixedSize(Scaled(clientSize.width(), scale), Scaled(clientSize.height(), scale));
}
