#pragma once
// The stores a port's settings can be kept in: an ini file (the one this
// program uses) and the Windows registry, which has no counterpart here.
#include <QString>

#include <cstdint>
#include <memory>
#include <stdexcept>

// A failed ini-file write: "Unable to write to <file>".
class EIniFileException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One ini file held in memory: sections and keys match ignoring case, other
// sections, keys and their order stay as they were, and UpdateFile() replaces
// the file in one step, so a failed write leaves the old file whole.
// Values are the locale's 8-bit bytes.
class TIniFile {
public:
    // Values longer than this are cut when read.
    static constexpr int MaxValueLength = 2047;

    explicit TIniFile(const QString& fileName);
    ~TIniFile();
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    QString FileName() const { return fileName_; }

    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;
    // Decimal, or hexadecimal after "0x"; a missing or unreadable value gives the default.
    std::int32_t ReadInteger(const QString& section, const QString& key, std::int32_t defaultValue) const;
    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, std::int32_t value);

    // Writes the file; raises EIniFileException when it cannot.
    void UpdateFile();

private:
    struct Data;
    std::unique_ptr<Data> data_;
    QString fileName_;
    bool unreadable_ = false; // there is a file but it could not be read: never overwrite it
};

// The text of an ini integer, by the rule of TIniFile::ReadInteger.
bool ParseIniInteger(const QString& text, std::int32_t& value);

// A failed registry access.
class ERegistryException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Where a registry location would point: the root named before the first
// backslash (HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER, ignoring case; any
// other name leaves the current user's), then the rest with a trailing
// backslash and the component's name.
struct TRegistryLocation {
    enum TRoot { HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE };
    TRoot Root = HKEY_CURRENT_USER;
    QString Key;
    bool Valid = false; // a location without a backslash names no key
};
TRegistryLocation RegistryLocation(const QString& location, const QString& componentName);

// The registry key of a location. Linux has no registry: opening raises
// ERegistryException, so nothing is ever written anywhere.
class TRegistryKey {
public:
    TRegistryKey(const QString& location, const QString& componentName, bool canCreate);

    const TRegistryLocation& Location() const { return location_; }
    void WriteString(const QString& name, const QString& value);
    void WriteInteger(const QString& name, std::int32_t value);
    QString ReadString(const QString& name) const;
    std::int32_t ReadInteger(const QString& name) const;

private:
    TRegistryLocation location_;
};
