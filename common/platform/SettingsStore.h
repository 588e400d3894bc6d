#pragma once
#include <QString>
#include <optional>
#include <string>

// The per-user settings of both programs: keys below SOFTWARE\ORVANTA_VEXA ("LogOption",
// "Install") with named text or decimal values.
class ISettingsStore
{
public:
    virtual ~ISettingsStore() = default;

    virtual bool KeyExists(const std::wstring& key) const = 0;
    // Makes the key openable; false when the store cannot be written.
    virtual bool CreateKey(const std::wstring& key) = 0;
    virtual std::optional<std::wstring> ReadString(const std::wstring& key,
                                                   const std::wstring& name) const = 0;
    virtual bool WriteString(const std::wstring& key, const std::wstring& name,
                             const std::wstring& value) = 0;
    virtual bool RemoveValue(const std::wstring& key, const std::wstring& name) = 0;

    // A value that is present but not a decimal number reads as 0, as four bytes of some other
    // type would.
    std::optional<uint32_t> ReadDword(const std::wstring& key, const std::wstring& name) const;
    bool WriteDword(const std::wstring& key, const std::wstring& name, uint32_t value);
};

// One INI file that support staff can edit by hand: a section per key, a line per value.
class IniSettingsStore : public ISettingsStore
{
public:
    explicit IniSettingsStore(QString filePath);

    // $XDG_CONFIG_HOME/ORVANTA_VEXA/settings.ini, ~/.config when the variable is unset.
    static QString DefaultFilePath();

    bool KeyExists(const std::wstring& key) const override;
    bool CreateKey(const std::wstring& key) override;
    std::optional<std::wstring> ReadString(const std::wstring& key,
                                           const std::wstring& name) const override;
    bool WriteString(const std::wstring& key, const std::wstring& name,
                     const std::wstring& value) override;
    bool RemoveValue(const std::wstring& key, const std::wstring& name) override;

    const QString& FilePath() const { return m_filePath; }

private:
    QString m_filePath;
};

// The store the programs use; the path is taken from the environment at first use.
ISettingsStore& DefaultSettingsStore();
