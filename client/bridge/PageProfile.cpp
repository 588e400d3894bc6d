#include "bridge/PageProfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QPointer>
#include <QStandardPaths>
#include <QWebEngineProfile>

namespace {
QString XdgFolder(const char* pszVariable, const QString& strFallback)
{
    const QString value = qEnvironmentVariable(pszVariable);
    // A relative value is invalid under the XDG rules and is ignored.
    if (!value.isEmpty() && QDir::isAbsolutePath(value)) {
        return value;
    }
    return QDir::homePath() + strFallback;
}
}  // namespace

QString CPageProfile::StoragePath()
{
    return XdgFolder("XDG_DATA_HOME", QStringLiteral("/.local/share")) +
           QStringLiteral("/ORVANTA_VEXA/WebEngine");
}

QString CPageProfile::CachePath()
{
    return XdgFolder("XDG_CACHE_HOME", QStringLiteral("/.cache")) +
           QStringLiteral("/ORVANTA_VEXA/WebEngine");
}

QWebEngineProfile* CPageProfile::Shared()
{
    static QPointer<QWebEngineProfile> s_profile;
    if (s_profile.isNull()) {
        auto* pProfile = new QWebEngineProfile(QStringLiteral("OrvantaVexa"),
                                               QCoreApplication::instance());
        QDir().mkpath(StoragePath());
        QDir().mkpath(CachePath());
        pProfile->setPersistentStoragePath(StoragePath());
        pProfile->setCachePath(CachePath());
        pProfile->setPersistentCookiesPolicy(QWebEngineProfile::AllowPersistentCookies);
        s_profile = pProfile;
    }
    return s_profile.data();
}
