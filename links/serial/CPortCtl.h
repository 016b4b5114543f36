#pragma once
// Drop-down lists bound to one setting of one serial port. The list fills its
// own entries, shows the port's current value and, when asked, writes the
// chosen value back; the setup dialog is built from six of them.
#include "CPort.h"
#include "SerialDeviceList.h"

#include <QComboBox>
#include <QMetaObject>
#include <QString>

#include <cstdint>

enum TComProperty : std::uint8_t { cpNone, cpPort, cpBaudRate, cpDataBits, cpStopBits, cpParity, cpFlowControl };

// The value a list holds for its port, kept apart from the widget so that the
// list can be filled and bound before it is shown.
class TComSelect {
public:
    explicit TComSelect(QComboBox& items) : items_(items) {}
    TComSelect(const TComSelect&) = delete;
    TComSelect& operator=(const TComSelect&) = delete;
    ~TComSelect();

    TCustomComPort* ComPort() const { return port_; }
    // `context` receives the port's destroyed notification.
    void SetComPort(TCustomComPort* port, QObject* context);
    TComProperty ComProperty() const { return property_; }
    // Refills the entries; raises EComPort 23 for the port list without a device tree.
    void SetComProperty(TComProperty property);
    bool AutoApply() const { return autoApply_; }
    void SetAutoApply(bool value) { autoApply_ = value; }

    // Selects the entry of the port's current value.
    void UpdateSetting();
    // Writes the chosen value to the port.
    void ApplySetting();
    // The user picked an entry (an empty text: none); for the port list,
    // the value is the name the entry stores, not its caption.
    void Change(const QString& value);
    void PortDestroyed();

    QString ChosenPort() const { return portName_; }

private:
    QString PortValueText() const;
    void Choose(const QString& text);
    void FillPorts();
    int FindPort(const QString& name) const;

    QComboBox& items_;
    TCustomComPort* port_ = nullptr;
    QMetaObject::Connection destroyedLink_;
    TComProperty property_ = cpNone;
    bool autoApply_ = false;
    QString portName_;
    TBaudRate baudRate_ = brCustom;
    TDataBits dataBits_ = dbFive;
    TStopBits stopBits_ = sbOneStopBit;
    TParityBits parity_ = prNone;
    TFlowControl flowControl_ = fcHardware;
};

// A drop-down list (no typing) for one property of a bound port.
class TComComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TComComboBox(QWidget* parent = nullptr);

    TCustomComPort* ComPort() const { return select_.ComPort(); }
    void SetComPort(TCustomComPort* port) { select_.SetComPort(port, this); }
    TComProperty ComProperty() const { return select_.ComProperty(); }
    void SetComProperty(TComProperty property) { select_.SetComProperty(property); }
    bool AutoApply() const { return select_.AutoApply(); }
    void SetAutoApply(bool value) { select_.SetAutoApply(value); }

    // The selected entry's text, or empty when nothing is selected.
    QString Text() const;
    // Selects the entry equal to `text` ignoring case; otherwise the selection stays.
    void SetText(const QString& text);

    void UpdateSettings() { select_.UpdateSetting(); }
    void ApplySettings() { select_.ApplySetting(); }

private:
    void ComboActivated(int index);

    TComSelect select_;
};
