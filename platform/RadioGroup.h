#pragma once
// A captioned group of radio buttons addressed by position, as the forms of
// this program use them: Items, ItemIndex and a click notification.
#include <QButtonGroup>
#include <QGroupBox>
#include <QStringList>

class QGridLayout;

class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit TRadioGroup(const QString& caption, QWidget* parent = nullptr, int columns = 1);

    QStringList Items() const { return items_; }
    void SetItems(const QStringList& items);
    void ClearItems() { SetItems({}); }
    void AddItem(const QString& item);

    int ItemIndex() const;
    // Selects position index (-1 clears) and raises Click when it changes.
    void SetItemIndex(int index);

    // The radio button at a position, for tests and accessibility.
    QAbstractButton* Button(int index) const;

signals:
    // The selection changed, by the user or by SetItemIndex.
    void Click();

private:
    void Rebuild();
    void KeepTabPlace();
    void KeepTabStop();

    QStringList items_;
    QButtonGroup group_;
    QGridLayout* layout_;
    int columns_;
    int index_ = -1;
};
