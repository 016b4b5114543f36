#pragma once
// config.xml: the file that keeps the shared settings of Global between runs.
// Read once at start (EnsureConfigDefaults, then LoadConfig), written once at
// close (SaveConfig). Problems with the file are never shown: a missing or
// unreadable file gives the defaults.
#include <QDomDocument>
#include <QString>

// The one configuration document, alive as long as the main window.
struct TXMLDocument {
    QDomDocument Dom;
    bool Active = false;
    QString FileName; // where it is loaded from and saved to
};

// AppFolder() + "config.xml".
QString ConfigFilePath();

// Loads FileName when it holds a readable document, then adds every missing
// section and key with its default. Writes nothing to disk.
void EnsureConfigDefaults(TXMLDocument& doc);
// Copies the key texts into the shared settings.
void LoadConfig(TXMLDocument& doc);
// Copies the shared settings into the document and saves it atomically; a
// save that fails leaves the old file as it was.
void SaveConfig(TXMLDocument& doc);

// Appends `key` with `defaultText` under `section` unless it is there already.
void EnsureConfigKey(TXMLDocument& doc, const QString& section, const QString& key,
                     const QString& defaultText);
// True when the key's text is exactly `text`, or when the key is missing;
// false for a key without readable text.
bool ConfigKeyEquals(TXMLDocument& doc, const QString& section, const QString& key,
                     const QString& text);
// Sets the key's text to `whenTrue` or `whenFalse`.
void WriteConfigKey(TXMLDocument& doc, const QString& section, const QString& key, bool flag,
                    const QString& whenTrue, const QString& whenFalse);
