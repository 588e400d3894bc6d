#pragma once
#include <QString>

class QWebEngineProfile;

// The one web profile of every page window. It lives on disk under the user's data folder, so
// the pages' local storage and cookies survive a restart of the client.
class CPageProfile
{
public:
    // Created on first use (a QApplication must exist) and owned by the application object.
    static QWebEngineProfile* Shared();
    // $XDG_DATA_HOME/ORVANTA_VEXA/WebEngine (default ~/.local/share/...).
    static QString StoragePath();
    static QString CachePath();
};
