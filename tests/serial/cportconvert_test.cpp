#include "CPort.h"

#include <QTest>

class CPortConvertTest : public QObject {
    Q_OBJECT
private slots:
    void textToBaudRate_data();
    void textToBaudRate();
    void baudRateTextsRoundTrip();
    void otherTextsFallBack_data();
    void otherTextsFallBack();
    void textToBool_data();
    void textToBool();
    void charToText_data();
    void charToText();
    void textToChar_data();
    void textToChar();
    void eventMask_data();
    void eventMask();
    void messages_data();
    void messages();
    void flowPresetDerived_data();
    void flowPresetDerived();
    void flowPresetSetKeepsOtherFields();
    void bufferSizes_data();
    void bufferSizes();
    void defaultRecord();
    void recordFields_data();
    void recordFields();
    void copiedSettingsHaveNoOwner();
};

void CPortConvertTest::textToBaudRate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("rate");
    QTest::newRow("custom in lower case") << "custom" << int(brCustom);
    QTest::newRow("first rate") << "110" << int(br110);
    QTest::newRow("last rate") << "256000" << int(br256000);
    QTest::newRow("empty text falls back") << "" << int(br9600);
    QTest::newRow("unknown rate falls back") << "9601" << int(br9600);
    QTest::newRow("padded text is no match") << " 19200" << int(br9600);
}

void CPortConvertTest::textToBaudRate()
{
    QFETCH(QString, text);
    QFETCH(int, rate);
    QCOMPARE(int(TextToBaudRate(text)), rate);
}

void CPortConvertTest::baudRateTextsRoundTrip()
{
    for (int r = brCustom; r <= br256000; ++r) {
        const auto rate = static_cast<TBaudRate>(r);
        QCOMPARE(int(TextToBaudRate(BaudRateToText(rate))), r);
        if (rate != brCustom)
            QCOMPARE(BaudRateToText(rate), QString::number(BaudRateToInt(rate)));
    }
}

void CPortConvertTest::otherTextsFallBack_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("stop bits 1.5") << "stop" << "1.5" << "1.5";
    QTest::newRow("stop bits unknown") << "stop" << "3" << "1";
    QTest::newRow("data bits 9 gives 8") << "data" << "9" << "8";
    QTest::newRow("data bits 5") << "data" << "5" << "5";
    QTest::newRow("parity any case") << "parity" << "mARK" << "Mark";
    QTest::newRow("parity unknown") << "parity" << "Strange" << "None";
    QTest::newRow("flow any case") << "flow" << "hardware" << "Hardware";
    QTest::newRow("flow unknown gives custom") << "flow" << "RTS/CTS" << "Custom";
    QTest::newRow("flow empty gives custom") << "flow" << "" << "Custom";
    QTest::newRow("dtr handshake") << "dtr" << "HANDSHAKE" << "Handshake";
    QTest::newRow("dtr toggle is rts only") << "dtr" << "Toggle" << "Disable";
    QTest::newRow("rts toggle") << "rts" << "toggle" << "Toggle";
    QTest::newRow("rts unknown") << "rts" << "x" << "Disable";
}

void CPortConvertTest::otherTextsFallBack()
{
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QString got;
    if (kind == "stop")
        got = StopBitsToText(TextToStopBits(text));
    else if (kind == "data")
        got = DataBitsToText(TextToDataBits(text));
    else if (kind == "parity")
        got = ParityToText(TextToParity(text));
    else if (kind == "flow")
        got = FlowControlToText(TextToFlowControl(text));
    else if (kind == "dtr")
        got = DTRToText(TextToDTR(text));
    else
        got = RTSToText(TextToRTS(text));
    QCOMPARE(got, expected);
}

void CPortConvertTest::textToBool_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("value");
    QTest::newRow("Yes") << "Yes" << true;
    QTest::newRow("upper case") << "YES" << true;
    QTest::newRow("No") << "No" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("true is not yes") << "true" << false;
    QTest::newRow("1 is not yes") << "1" << false;
}

void CPortConvertTest::textToBool()
{
    QFETCH(QString, text);
    QFETCH(bool, value);
    QCOMPARE(TextToBool(text), value);
    QCOMPARE(BoolToText(value), value ? QString("Yes") : QString("No"));
}

void CPortConvertTest::charToText_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("XON as number") << 17 << "#17";
    QTest::newRow("blank as number") << 32 << "#32";
    QTest::newRow("zero") << 0 << "#0";
    QTest::newRow("first printable") << 33 << "!";
    QTest::newRow("hash itself") << 35 << "#";
    QTest::newRow("127 as character") << 127 << "\x7f";
    QTest::newRow("high byte as number") << 200 << "#200";
    QTest::newRow("255") << 255 << "#255";
}

void CPortConvertTest::charToText()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(CharToText(static_cast<char>(code)), text);
}

void CPortConvertTest::textToChar_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("code");
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("number") << "#17" << 17;
    QTest::newRow("lone hash is the character") << "#" << 35;
    QTest::newRow("number above a byte keeps low bits") << "#300" << 44;
    QTest::newRow("negative number keeps low bits") << "#-1" << 255;
    QTest::newRow("not a number") << "#x1" << 0;
    QTest::newRow("letter") << "A" << 65;
    QTest::newRow("first character of a word") << "Xon" << 88;
}

void CPortConvertTest::textToChar()
{
    QFETCH(QString, text);
    QFETCH(int, code);
    QCOMPARE(int(static_cast<unsigned char>(TextToChar(text))), code);
}

void CPortConvertTest::eventMask_data()
{
    QTest::addColumn<uint>("events");
    QTest::addColumn<uint>("mask");
    QTest::newRow("none") << 0u << 0u;
    QTest::newRow("rx char") << uint(SetOf(evRxChar)) << 0x0001u;
    QTest::newRow("tx empty and rx flag swap places") << uint(SetOf(evTxEmpty) | SetOf(evRxFlag)) << 0x0006u;
    QTest::newRow("ring") << uint(SetOf(evRing)) << 0x0100u;
    QTest::newRow("rlsd") << uint(SetOf(evRLSD)) << 0x0020u;
    QTest::newRow("all ten") << uint(AllComEvents) << 0x05FFu;
}

void CPortConvertTest::eventMask()
{
    QFETCH(uint, events);
    QFETCH(uint, mask);
    QCOMPARE(EventsToMask(static_cast<TComEvents>(events)), mask);
    QCOMPARE(uint(MaskToEvents(mask)), events);
    QCOMPARE(uint(MaskToEvents(mask | 0x0200u | 0x10000u)), events); // bits outside the table drop
}

void CPortConvertTest::messages_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("system");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing device") << 1 << 2 << "Unable to open com port (win error code: 2)";
    QTest::newRow("no system code") << 14 << -1 << "Cannot set property while connected";
    QTest::newRow("system code zero still shown") << 7 << 0 << "SetCommState function failed (win error code: 0)";
    QTest::newRow("last row") << 23 << 2 << "Registry error (win error code: 2)";
}

void CPortConvertTest::messages()
{
    QFETCH(int, code);
    QFETCH(int, system);
    QFETCH(QString, message);
    const EComPort e(code, system);
    QCOMPARE(e.Message(), message);
    QCOMPARE(QString::fromUtf8(e.what()), message);
    QCOMPARE(e.PortErrorCode, code);
    QCOMPARE(e.SystemErrorCode, system);
}

void CPortConvertTest::flowPresetDerived_data()
{
    QTest::addColumn<int>("rts");
    QTest::addColumn<bool>("cts");
    QTest::addColumn<bool>("xin");
    QTest::addColumn<bool>("xout");
    QTest::addColumn<int>("dtr");
    QTest::addColumn<int>("preset");
    QTest::newRow("hardware") << int(rtsHandshake) << true << false << false << int(dtrDisable) << int(fcHardware);
    QTest::newRow("software") << int(rtsDisable) << false << true << true << int(dtrDisable) << int(fcSoftware);
    QTest::newRow("none") << int(rtsDisable) << false << false << false << int(dtrDisable) << int(fcNone);
    QTest::newRow("dtr handshake still none") << int(rtsDisable) << false << false << false << int(dtrHandshake)
                                              << int(fcNone);
    QTest::newRow("xon out only is custom") << int(rtsDisable) << false << false << true << int(dtrDisable)
                                            << int(fcCustom);
    QTest::newRow("rts enabled is custom") << int(rtsEnable) << false << false << false << int(dtrDisable)
                                           << int(fcCustom);
    QTest::newRow("both kinds is custom") << int(rtsHandshake) << true << true << true << int(dtrDisable)
                                          << int(fcCustom);
}

void CPortConvertTest::flowPresetDerived()
{
    QFETCH(int, rts);
    QFETCH(bool, cts);
    QFETCH(bool, xin);
    QFETCH(bool, xout);
    QFETCH(int, dtr);
    QFETCH(int, preset);
    TComFlowControl f;
    f.SetControlRTS(static_cast<TRTSFlowControl>(rts));
    f.SetOutCTSFlow(cts);
    f.SetXonXoffIn(xin);
    f.SetXonXoffOut(xout);
    f.SetControlDTR(static_cast<TDTRFlowControl>(dtr));
    QCOMPARE(int(f.FlowControl()), preset);
}

void CPortConvertTest::flowPresetSetKeepsOtherFields()
{
    TComFlowControl f;
    f.SetControlDTR(dtrEnable);
    f.SetOutDSRFlow(true);
    f.SetXonChar('A');
    f.SetFlowControl(fcHardware);
    QCOMPARE(int(f.FlowControl()), int(fcHardware));
    f.SetFlowControl(fcSoftware);
    QCOMPARE(int(f.FlowControl()), int(fcSoftware));
    QVERIFY(!f.OutCTSFlow());
    QCOMPARE(int(f.ControlRTS()), int(rtsDisable));
    f.SetXonXoffIn(false); // now custom; setting custom must not touch it
    f.SetFlowControl(fcCustom);
    QVERIFY(!f.XonXoffIn());
    QVERIFY(f.XonXoffOut());
    QCOMPARE(int(f.ControlDTR()), int(dtrEnable));
    QVERIFY(f.OutDSRFlow());
    QCOMPARE(f.XonChar(), 'A');
}

void CPortConvertTest::bufferSizes_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("stored");
    QTest::newRow("odd positive one lower") << 1025 << 1024;
    QTest::newRow("one becomes zero") << 1 << 0;
    QTest::newRow("even kept") << 4096 << 4096;
    QTest::newRow("odd negative kept") << -3 << -3;
    QTest::newRow("zero kept") << 0 << 0;
}

void CPortConvertTest::bufferSizes()
{
    QFETCH(int, size);
    QFETCH(int, stored);
    TComBuffer b;
    b.SetInputSize(size);
    b.SetOutputSize(size);
    QCOMPARE(b.InputSize(), stored);
    QCOMPARE(b.OutputSize(), stored);
}

void CPortConvertTest::defaultRecord()
{
    TComPort port;
    const TDCB d = port.DeviceControlBlock();
    QCOMPARE(d.DCBlength, 28u);
    QCOMPARE(d.BaudRate, 9600u);
    QCOMPARE(d.Flags, 0x0001u);
    QCOMPARE(d.XonLim, quint16(256));
    QCOMPARE(d.XoffLim, quint16(256));
    QCOMPARE(d.ByteSize, quint8(8));
    QCOMPARE(d.Parity, quint8(0));
    QCOMPARE(d.StopBits, quint8(0));
    QCOMPARE(int(d.XonChar), 17);
    QCOMPARE(int(d.XoffChar), 19);
    QCOMPARE(int(d.ErrorChar), 0);
    QCOMPARE(port.Port(), QString("COM1"));
    QCOMPARE(port.Events(), AllComEvents);
    QCOMPARE(port.SettingsGroups(), TSettingsGroups(SetOf(sgBasic)));
}

void CPortConvertTest::recordFields_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<uint>("flags");
    QTest::addColumn<uint>("baud");
    QTest::addColumn<int>("limits");
    QTest::addColumn<int>("errorChar");
    QTest::newRow("odd input size halves to 256") << "buffer1025" << 0x0001u << 9600u << 256 << 0;
    QTest::newRow("custom rate") << "custom" << 0x0001u << 31250u << 256 << 0;
    QTest::newRow("check without replace") << "check" << 0x0003u << 9600u << 256 << 0;
    QTest::newRow("replace without check is off") << "replace" << 0x0001u << 9600u << 256 << 0;
    QTest::newRow("check and replace") << "checkreplace" << 0x0403u << 9600u << 256 << int('?');
    QTest::newRow("hardware flow") << "hardware" << (0x0001u | 0x0004u | 0x2000u) << 9600u << 256 << 0;
    QTest::newRow("software flow") << "software" << (0x0001u | 0x0100u | 0x0200u) << 9600u << 256 << 0;
    QTest::newRow("dtr enable and discard null") << "dtrnull" << (0x0001u | 0x0010u | 0x0800u) << 9600u << 256
                                                 << 0;
}

void CPortConvertTest::recordFields()
{
    QFETCH(QString, change);
    QFETCH(uint, flags);
    QFETCH(uint, baud);
    QFETCH(int, limits);
    QFETCH(int, errorChar);
    TComPort port;
    port.Parity().SetReplaceChar('?');
    if (change == "buffer1025")
        port.Buffer().SetInputSize(1025);
    if (change == "custom") {
        port.SetBaudRate(brCustom);
        port.SetCustomBaudRate(31250);
    }
    if (change == "check" || change == "checkreplace")
        port.Parity().SetCheck(true);
    if (change == "replace" || change == "checkreplace")
        port.Parity().SetReplace(true);
    if (change == "hardware")
        port.FlowControl().SetFlowControl(fcHardware);
    if (change == "software")
        port.FlowControl().SetFlowControl(fcSoftware);
    if (change == "dtrnull") {
        port.FlowControl().SetControlDTR(dtrEnable);
        port.SetDiscardNull(true);
    }
    const TDCB d = port.DeviceControlBlock();
    QCOMPARE(d.Flags, flags);
    QCOMPARE(d.BaudRate, baud);
    QCOMPARE(int(d.XonLim), limits);
    QCOMPARE(int(d.ErrorChar), errorChar);
}

void CPortConvertTest::copiedSettingsHaveNoOwner()
{
    // A dialog edits a copy; only assigning it back reaches the port.
    TComPort port;
    TComParity copy = port.Parity();
    copy.SetBits(prEven);
    QCOMPARE(int(port.Parity().Bits()), int(prNone));
    port.SetParity(copy);
    QCOMPARE(int(port.Parity().Bits()), int(prEven));
}

QTEST_GUILESS_MAIN(CPortConvertTest)
#include "cportconvert_test.moc"
