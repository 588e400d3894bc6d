#include "platform/SettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

std::optional<uint32_t> ISettingsStore::ReadDword(const std::wstring& key,
                                                  const std::wstring& name) const
{
    auto text = ReadString(key, name);
    if (!text) {
        return std::nullopt;
    }
    bool ok = false;
    const uint32_t value = QString::fromStdWString(*text).trimmed().toUInt(&ok, 10);
    return ok ? value : 0u;
}

bool ISettingsStore::WriteDword(const std::wstring& key, const std::wstring& name, uint32_t value)
{
    return WriteString(key, name, std::to_wstring(value));
}

IniSettingsStore::IniSettingsStore(QString filePath) : m_filePath(std::move(filePath)) {}

QString IniSettingsStore::DefaultFilePath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty()) {
        base = QDir::homePath() + QStringLiteral("/.config");
    }
    return base + QStringLiteral("/ORVANTA_VEXA/settings.ini");
}

namespace {
QString ValueKey(const std::wstring& key, const std::wstring& name)
{
    return QString::fromStdWString(key) + QLatin1Char('/') + QString::fromStdWString(name);
}

bool Commit(QSettings& settings)
{
    settings.sync();
    return settings.status() == QSettings::NoError;
}
}  // namespace

bool IniSettingsStore::KeyExists(const std::wstring& key) const
{
    if (!QFileInfo::exists(m_filePath)) {
        return false;
    }
    QSettings settings(m_filePath, QSettings::IniFormat);
    return settings.childGroups().contains(QString::fromStdWString(key));
}

bool IniSettingsStore::CreateKey(const std::wstring& key)
{
    (void)key;  // an INI section exists once it holds a value; here only the file matters
    QDir().mkpath(QFileInfo(m_filePath).absolutePath());
    if (!QFileInfo::exists(m_filePath)) {
        QFile file(m_filePath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
            return false;
        }
    }
    return QFileInfo(m_filePath).isWritable();
}

std::optional<std::wstring> IniSettingsStore::ReadString(const std::wstring& key,
                                                         const std::wstring& name) const
{
    if (!QFileInfo::exists(m_filePath)) {
        return std::nullopt;
    }
    QSettings settings(m_filePath, QSettings::IniFormat);
    const QVariant value = settings.value(ValueKey(key, name));
    if (!value.isValid()) {
        return std::nullopt;
    }
    // A hand-written value with a comma reads as a list; join it back to the written text.
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList().join(QStringLiteral(", ")).toStdWString();
    }
    return value.toString().toStdWString();
}

bool IniSettingsStore::WriteString(const std::wstring& key, const std::wstring& name,
                                   const std::wstring& value)
{
    QDir().mkpath(QFileInfo(m_filePath).absolutePath());
    QSettings settings(m_filePath, QSettings::IniFormat);
    settings.setValue(ValueKey(key, name), QString::fromStdWString(value));
    return Commit(settings);
}

bool IniSettingsStore::RemoveValue(const std::wstring& key, const std::wstring& name)
{
    if (!QFileInfo::exists(m_filePath)) {
        return true;
    }
    QSettings settings(m_filePath, QSettings::IniFormat);
    settings.remove(ValueKey(key, name));
    return Commit(settings);
}

ISettingsStore& DefaultSettingsStore()
{
    static IniSettingsStore store(IniSettingsStore::DefaultFilePath());
    return store;
}
