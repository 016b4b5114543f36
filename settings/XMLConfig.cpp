#include "XMLConfig.h"

#include "AppFolder.h"
#include "Global.h"
#include "IntegerText.h"
#include "SettingsFile.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace {

// A config.xml is a few hundred bytes; anything this large is not ours and
// is not worth parsing at start.
constexpr qint64 MaxConfigBytes = 1024 * 1024;

const QString RootName = QStringLiteral("TarvikConfig");
const QString Options = QStringLiteral("Options");
const QString Interface = QStringLiteral("Interface");

// Each key and each fixed text named once, for the defaults, the load and the save.
const QString OrdersFileNameKey = QStringLiteral("OrdersFileName");
const QString WindRowKey = QStringLiteral("WindRow");
const QString WindRowModeKey = QStringLiteral("WindRowMode");
const QString WindRowCharKey = QStringLiteral("WindRowChar");
const QString SaveASCIIKey = QStringLiteral("SaveASCII");
const QString InsertTimeKey = QStringLiteral("InsertTime");
const QString ChangePointToColonKey = QStringLiteral("ChangePointToColon");
const QString KindKey = QStringLiteral("Kind");
const QString ProtocolKey = QStringLiteral("Protocol");
const QString HostKey = QStringLiteral("Host");
const QString PortKey = QStringLiteral("Port");

const QString Yes = QStringLiteral("Yes");
const QString No = QStringLiteral("No");
const QString KindEthernet = QStringLiteral("Eth");
const QString KindSerial = QStringLiteral("COM");
const QString ProtocolUdp = QStringLiteral("UDP");
const QString ProtocolTcp = QStringLiteral("TCP");
const QString DefaultWindRowMode = QStringLiteral("0");
const QString DefaultHost = QStringLiteral("192.168.1.100");
const QString DefaultPort = QString::number(EthDefaultPort);

enum class KeyRead { Missing, NoText, Unreadable, Text };

QString DocPath(const TXMLDocument& doc)
{
    return doc.FileName.isEmpty() ? ConfigFilePath() : doc.FileName;
}

QDomElement Section(const TXMLDocument& doc, const QString& section)
{
    return doc.Dom.documentElement().firstChildElement(section);
}

QDomElement Key(const TXMLDocument& doc, const QString& section, const QString& key)
{
    return Section(doc, section).firstChildElement(key);
}

// Only an element with no content or with one text/CDATA node has text that
// can be read or replaced as such.
KeyRead ReadKey(const TXMLDocument& doc, const QString& section, const QString& key, QString& text)
{
    const QDomElement element = Key(doc, section, key);
    if (element.isNull())
        return KeyRead::Missing;
    const QDomNodeList children = element.childNodes();
    if (children.isEmpty())
        return KeyRead::NoText;
    const QDomNode only = children.at(0);
    if (children.size() != 1 || !(only.isText() || only.isCDATASection()))
        return KeyRead::Unreadable;
    text = only.nodeValue();
    return KeyRead::Text;
}

bool LoadFile(const QString& path, QDomDocument& dom)
{
    QByteArray bytes;
    if (!ReadBounded(path, MaxConfigBytes, bytes))
        return false;
    // Internal entities are expanded by the parser only up to its own limit,
    // so an expansion bomb fails to parse; external ones are never fetched.
    QDomDocument parsed;
    if (!parsed.setContent(bytes))
        return false;
    dom = parsed;
    return true;
}

// The document is always written as UTF-8; a declaration that a hand-edited
// file carried must not claim another encoding, or the next load would
// misread every non-ASCII character.
void DeclareUtf8(QDomDocument& dom)
{
    QDomNode first = dom.firstChild();
    if (!first.isProcessingInstruction() || first.nodeName() != QLatin1String("xml"))
        return;
    QDomProcessingInstruction declaration = first.toProcessingInstruction();
    static const QRegularExpression encoding(
        QStringLiteral(R"(encoding\s*=\s*("[^"]*"|'[^']*'))"));
    QString data = declaration.data();
    if (data.contains(encoding))
        declaration.setData(data.replace(encoding, QStringLiteral("encoding=\"UTF-8\"")));
}

// XML 1.0 cannot carry most control characters, non-characters or lone
// surrogates; one of them in a setting would make the whole saved file
// unreadable at the next start, so they are left out.
QString XmlSafe(const QString& text)
{
    QString safe;
    safe.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            safe += c;
            safe += text[++i];
            continue;
        }
        const char16_t u = c.unicode();
        const bool allowed = u == 0x9 || u == 0xA || u == 0xD
            || (u >= 0x20 && u <= 0xFFFD && !c.isSurrogate());
        if (allowed)
            safe += c;
    }
    return safe;
}

// A hand-edited file may hold comments, instructions or attributes with such
// characters too; the lenient parser took them, but the saved file must be
// one the next start can read.
void MakeXmlSafe(QDomNode node)
{
    if (node.isElement()) {
        QDomNamedNodeMap attributes = node.attributes();
        for (int i = 0; i < attributes.count(); ++i) {
            QDomAttr attribute = attributes.item(i).toAttr();
            attribute.setValue(XmlSafe(attribute.value()));
        }
    } else if (node.isCharacterData() || node.isProcessingInstruction()) {
        node.setNodeValue(XmlSafe(node.nodeValue()));
    }
    for (QDomNode child = node.firstChild(); !child.isNull();) {
        const QDomNode next = child.nextSibling();
        // An instruction's target cannot be renamed: one no parser would take goes.
        if (child.isProcessingInstruction() && XmlSafe(child.nodeName()) != child.nodeName()) {
            node.removeChild(child);
        } else {
            MakeXmlSafe(child);
            // The writer puts a line feed after an instruction or a comment; the
            // one it put there last time is taken back, or every save would add one.
            const QDomNode before = child.previousSibling();
            if (child.isText() && (before.isProcessingInstruction() || before.isComment())
                && child.nodeValue().startsWith('\n'))
                child.setNodeValue(child.nodeValue().mid(1));
        }
        child = next;
    }
}

// The settings alone, under a fresh root: what is saved when the hand-edited
// document would not parse back once written. Only keys that hold plain text
// come along, so nothing of the hand edit can spoil the file again.
QByteArray SettingsOnly(const QDomDocument& dom)
{
    QDomDocument fresh;
    QDomElement root = fresh.appendChild(fresh.createElement(RootName)).toElement();
    for (const QString& name : {Options, Interface}) {
        QDomElement section = root.appendChild(fresh.createElement(name)).toElement();
        for (QDomElement key = dom.documentElement().firstChildElement(name).firstChildElement(); !key.isNull();
             key = key.nextSiblingElement()) {
            const QDomNodeList children = key.childNodes();
            const bool plain = children.isEmpty()
                || (children.size() == 1 && (children.at(0).isText() || children.at(0).isCDATASection()));
            if (plain && XmlSafe(key.tagName()) == key.tagName())
                section.appendChild(fresh.importNode(key, true));
        }
    }
    return fresh.toByteArray(-1);
}

QString YesNo(bool value)
{
    return value ? Yes : No;
}

} // namespace

QString ConfigFilePath()
{
    return AppFolder() + QStringLiteral("config.xml");
}

void EnsureConfigKey(TXMLDocument& doc, const QString& section, const QString& key,
                     const QString& defaultText)
{
    QDomElement parent = Section(doc, section);
    if (parent.isNull() || !parent.firstChildElement(key).isNull())
        return;
    QDomElement element = doc.Dom.createElement(key);
    element.appendChild(doc.Dom.createTextNode(defaultText));
    parent.appendChild(element);
}

bool ConfigKeyEquals(TXMLDocument& doc, const QString& section, const QString& key,
                     const QString& text)
{
    QString value;
    switch (ReadKey(doc, section, key, value)) {
    case KeyRead::Missing:
        return true;
    case KeyRead::Text:
        return value == text;
    case KeyRead::NoText:
    case KeyRead::Unreadable:
        break;
    }
    return false;
}

void WriteConfigKey(TXMLDocument& doc, const QString& section, const QString& key, bool flag,
                    const QString& whenTrue, const QString& whenFalse)
{
    QDomElement root = doc.Dom.documentElement();
    if (root.isNull())
        return;
    QDomElement parent = root.firstChildElement(section);
    if (parent.isNull())
        parent = root.appendChild(doc.Dom.createElement(section)).toElement();
    QDomElement element = parent.firstChildElement(key);
    if (element.isNull())
        element = parent.appendChild(doc.Dom.createElement(key)).toElement();

    // Whatever the key held (a comment or markup included) gives way to the
    // one text, so a hand-edited key never blocks the save.
    while (element.hasChildNodes())
        element.removeChild(element.firstChild());
    const QString text = XmlSafe(flag ? whenTrue : whenFalse);
    // The parser drops text of blanks only as layout, so such a setting (a
    // blank WindRowChar) goes out as CDATA, which it keeps.
    if (!text.isEmpty() && text.trimmed().isEmpty())
        element.appendChild(doc.Dom.createCDATASection(text));
    else if (!text.isEmpty())
        element.appendChild(doc.Dom.createTextNode(text));
}

void EnsureConfigDefaults(TXMLDocument& doc)
{
    const QString path = DocPath(doc);
    QDomDocument loaded;
    if (QFileInfo::exists(path) && LoadFile(path, loaded)) {
        doc.Dom = loaded;
        doc.Active = true;
    }
    if (!doc.Active) {
        doc.Dom = QDomDocument();
        doc.Active = true;
    }
    if (doc.Dom.documentElement().isNull())
        doc.Dom.appendChild(doc.Dom.createElement(RootName));

    QDomElement root = doc.Dom.documentElement();
    if (root.firstChildElement(Options).isNull())
        root.appendChild(doc.Dom.createElement(Options));
    EnsureConfigKey(doc, Options, OrdersFileNameKey, AppFolder() + QStringLiteral("orders.xml"));
    EnsureConfigKey(doc, Options, WindRowKey, No);
    EnsureConfigKey(doc, Options, WindRowModeKey, DefaultWindRowMode);
    EnsureConfigKey(doc, Options, WindRowCharKey, QStringLiteral("$00"));
    EnsureConfigKey(doc, Options, SaveASCIIKey, Yes);
    EnsureConfigKey(doc, Options, InsertTimeKey, No);
    EnsureConfigKey(doc, Options, ChangePointToColonKey, No);

    if (root.firstChildElement(Interface).isNull())
        root.appendChild(doc.Dom.createElement(Interface));
    EnsureConfigKey(doc, Interface, KindKey, KindSerial);
    EnsureConfigKey(doc, Interface, ProtocolKey, ProtocolTcp);
    EnsureConfigKey(doc, Interface, HostKey, DefaultHost);
    EnsureConfigKey(doc, Interface, PortKey, DefaultPort);
}

void LoadConfig(TXMLDocument& doc)
{
    if (!doc.Active)
        return;

    // A key without readable text gives what an unparsable text gives; it
    // never keeps the later keys from being read.
    const auto readText = [&doc](const QString& section, const QString& key, QString& setting) {
        QString text;
        const KeyRead read = ReadKey(doc, section, key, text);
        if (read != KeyRead::Missing)
            setting = read == KeyRead::Text ? text : QString();
    };
    const auto readYes = [&doc](const QString& key, bool& setting) {
        QString text;
        if (ReadKey(doc, Options, key, text) != KeyRead::Missing)
            setting = ConfigKeyEquals(doc, Options, key, Yes);
    };
    const auto readInteger = [&doc](const QString& section, const QString& key, std::int32_t& value) {
        QString text;
        const KeyRead read = ReadKey(doc, section, key, text);
        if (read == KeyRead::Missing)
            return false;
        value = 0;
        if (read == KeyRead::Text)
            TryParseInteger(text, value);
        return true;
    };

    readText(Options, OrdersFileNameKey, OrdersFileName);
    readYes(WindRowKey, WindRow);
    std::int32_t mode = 0;
    if (readInteger(Options, WindRowModeKey, mode))
        WindRowMode = static_cast<std::int8_t>(static_cast<std::uint8_t>(mode & 0xFF));
    readText(Options, WindRowCharKey, WindRowChar);
    readYes(SaveASCIIKey, SaveASCII);
    readYes(InsertTimeKey, InsertTime);
    readYes(ChangePointToColonKey, ChangePointToColon);

    QString text;
    if (ReadKey(doc, Interface, KindKey, text) != KeyRead::Missing)
        ConnectionKind = ConfigKeyEquals(doc, Interface, KindKey, KindEthernet) ? ckEthernet : ckSerial;
    if (ReadKey(doc, Interface, ProtocolKey, text) != KeyRead::Missing)
        EthProtocol = ConfigKeyEquals(doc, Interface, ProtocolKey, ProtocolUdp) ? epUDP : epTCP;
    readText(Interface, HostKey, EthHost);
    std::int32_t port = 0;
    if (readInteger(Interface, PortKey, port))
        EthPort = port > 0 ? port : EthDefaultPort;
}

void SaveConfig(TXMLDocument& doc)
{
    if (!doc.Active || doc.Dom.documentElement().isNull())
        return;

    WriteConfigKey(doc, Options, OrdersFileNameKey, true, OrdersFileName, {});
    WriteConfigKey(doc, Options, WindRowKey, true, YesNo(WindRow), {});
    WriteConfigKey(doc, Options, WindRowModeKey, WindRowMode >= 0, QString::number(WindRowMode), DefaultWindRowMode);
    WriteConfigKey(doc, Options, WindRowCharKey, true, WindRowChar, {});
    WriteConfigKey(doc, Options, SaveASCIIKey, true, YesNo(SaveASCII), {});
    WriteConfigKey(doc, Options, InsertTimeKey, true, YesNo(InsertTime), {});
    WriteConfigKey(doc, Options, ChangePointToColonKey, true, YesNo(ChangePointToColon), {});
    WriteConfigKey(doc, Interface, KindKey, ConnectionKind == ckEthernet, KindEthernet, KindSerial);
    WriteConfigKey(doc, Interface, ProtocolKey, EthProtocol == epUDP, ProtocolUdp, ProtocolTcp);
    WriteConfigKey(doc, Interface, HostKey, !EthHost.isEmpty(), EthHost, DefaultHost);
    WriteConfigKey(doc, Interface, PortKey, EthPort > 0, QString::number(EthPort), DefaultPort);

    DeclareUtf8(doc.Dom);
    MakeXmlSafe(doc.Dom);
    QByteArray bytes = doc.Dom.toByteArray(-1);
    if (QDomDocument check; !check.setContent(bytes)) {
        bytes = SettingsOnly(doc.Dom);
        doc.Dom.setContent(bytes);
    }
    SaveAtomically(DocPath(doc), bytes);
}
