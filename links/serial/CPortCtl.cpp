#include "CPortCtl.h"

#include <QAbstractItemView>
#include <QStringList>

namespace {

// The port list's entries carry more than their captions: the name choosing
// one stores, and the name the list showed before adapters had captions.
constexpr int PortNameRole = Qt::UserRole;
constexpr int ListedNameRole = Qt::UserRole + 1;
constexpr int KernelRole = Qt::UserRole + 2;

QStringList EntriesOf(TComProperty property)
{
    QStringList entries;
    switch (property) {
    case cpPort: // filled with their names by FillPorts
        break;
    case cpBaudRate:
        for (int b = brCustom; b <= br256000; ++b)
            entries << BaudRateToText(static_cast<TBaudRate>(b));
        break;
    case cpDataBits:
        for (int d = dbFive; d <= dbEight; ++d)
            entries << DataBitsToText(static_cast<TDataBits>(d));
        break;
    case cpStopBits:
        for (int s = sbOneStopBit; s <= sbTwoStopBits; ++s)
            entries << StopBitsToText(static_cast<TStopBits>(s));
        break;
    case cpParity:
        for (int p = prNone; p <= prSpace; ++p)
            entries << ParityToText(static_cast<TParityBits>(p));
        break;
    case cpFlowControl:
        for (int f = fcHardware; f <= fcCustom; ++f)
            entries << FlowControlToText(static_cast<TFlowControl>(f));
        break;
    case cpNone:
        break;
    }
    return entries;
}

} // namespace

TComSelect::~TComSelect()
{
    QObject::disconnect(destroyedLink_);
}

void TComSelect::SetComPort(TCustomComPort* port, QObject* context)
{
    if (port == port_)
        return;
    QObject::disconnect(destroyedLink_);
    port_ = port;
    if (port_) {
        destroyedLink_ = QObject::connect(port_, &QObject::destroyed, context, [this] { PortDestroyed(); });
        UpdateSetting();
    }
}

void TComSelect::SetComProperty(TComProperty property)
{
    property_ = property;
    items_.clear();
    if (property == cpPort)
        FillPorts();
    else
        items_.addItems(EntriesOf(property));
    if (items_.count() == 0)
        return;
    if (port_)
        UpdateSetting();
    else
        items_.setCurrentIndex(0);
}

QString TComSelect::PortValueText() const
{
    switch (property_) {
    case cpPort:
        return port_->Port();
    case cpBaudRate:
        return BaudRateToText(port_->BaudRate());
    case cpDataBits:
        return DataBitsToText(port_->DataBits());
    case cpStopBits:
        return StopBitsToText(port_->StopBits());
    case cpParity:
        return ParityToText(port_->Parity().Bits());
    case cpFlowControl:
        return FlowControlToText(port_->FlowControl().FlowControl());
    case cpNone:
        break;
    }
    return {};
}

void TComSelect::FillPorts()
{
    QList<TSerialDeviceInfo> devices;
    ListSerialDevices(devices, SerialDeviceFolder, SerialByIdFolder);
    for (const TSerialDeviceInfo& d : devices) {
        items_.addItem(d.Caption(), d.PortName());
        const int i = items_.count() - 1;
        items_.setItemData(i, d.Name, ListedNameRole);
        items_.setItemData(i, d.Kernel, KernelRole);
        if (!d.StablePath.isEmpty())
            items_.setItemData(i, d.StablePath, Qt::ToolTipRole);
    }
    // The closed list is narrow; its drop-down shows whole captions.
    items_.view()->setMinimumWidth(items_.view()->sizeHintForColumn(0) + 8);
}

int TComSelect::FindPort(const QString& name) const
{
    // Names stored before adapters had stable paths (ttyUSB0, /dev/ttyUSB0,
    // com1) find their entry as well as the stable path does.
    for (int i = 0; i < items_.count(); ++i) {
        if (items_.itemText(i).compare(name, Qt::CaseInsensitive) == 0
            || items_.itemData(i, ListedNameRole).toString().compare(name, Qt::CaseInsensitive) == 0
            || items_.itemData(i, PortNameRole).toString() == name
            || QStringLiteral("/dev/") + items_.itemData(i, KernelRole).toString() == name)
            return i;
    }
    return -1;
}

void TComSelect::UpdateSetting()
{
    if (!port_)
        return;
    if (property_ == cpPort) {
        const int index = FindPort(port_->Port());
        items_.setCurrentIndex(index);
        // A plain entry gives its own text (com1 becomes COM1); an adapter's
        // entry keeps the stored name, so Apply alone changes nothing.
        if (index >= 0)
            Choose(items_.itemText(index) == items_.itemData(index, ListedNameRole).toString()
                       ? items_.itemText(index)
                       : port_->Port());
        return;
    }
    const int index = items_.findText(PortValueText(), Qt::MatchFixedString); // whole text, any case
    items_.setCurrentIndex(index);
    if (index >= 0)
        Choose(items_.itemText(index));
}

void TComSelect::Choose(const QString& text)
{
    switch (property_) {
    case cpPort:
        portName_ = text;
        break;
    case cpBaudRate:
        baudRate_ = TextToBaudRate(text);
        break;
    case cpDataBits:
        dataBits_ = TextToDataBits(text);
        break;
    case cpStopBits:
        stopBits_ = TextToStopBits(text);
        break;
    case cpParity:
        parity_ = TextToParity(text);
        break;
    case cpFlowControl:
        flowControl_ = TextToFlowControl(text);
        break;
    case cpNone:
        break;
    }
}

void TComSelect::Change(const QString& value)
{
    Choose(value);
    if (autoApply_)
        ApplySetting();
}

void TComSelect::ApplySetting()
{
    if (!port_)
        return;
    switch (property_) {
    case cpPort:
        // No name chosen means the port's own name was not listed (a
        // pseudo-terminal, an unplugged adapter): keep it rather than
        // leave the port with a name that cannot open.
        if (!portName_.isEmpty())
            port_->SetPort(portName_);
        break;
    case cpBaudRate:
        port_->SetBaudRate(baudRate_);
        break;
    case cpDataBits:
        port_->SetDataBits(dataBits_);
        break;
    case cpStopBits:
        port_->SetStopBits(stopBits_);
        break;
    case cpParity:
        port_->Parity().SetBits(parity_);
        break;
    case cpFlowControl:
        port_->FlowControl().SetFlowControl(flowControl_);
        break;
    case cpNone:
        break;
    }
}

void TComSelect::PortDestroyed()
{
    QObject::disconnect(destroyedLink_);
    port_ = nullptr;
    if (items_.count() > 0)
        items_.setCurrentIndex(0);
}

TComComboBox::TComComboBox(QWidget* parent) : QComboBox(parent), select_(*this)
{
    setEditable(false);
    connect(this, &QComboBox::activated, this, &TComComboBox::ComboActivated);
}

QString TComComboBox::Text() const
{
    return currentIndex() < 0 ? QString() : itemText(currentIndex());
}

void TComComboBox::SetText(const QString& text)
{
    const int index = findText(text, Qt::MatchFixedString);
    if (index >= 0)
        setCurrentIndex(index);
}

void TComComboBox::ComboActivated(int index)
{
    if (index < 0)
        select_.Change(QString());
    else if (ComProperty() == cpPort)
        select_.Change(itemData(index, PortNameRole).toString());
    else
        select_.Change(itemText(index));
}
