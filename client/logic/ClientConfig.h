#pragma once
#include <functional>
#include <string>

// What the start-up learnt from the command line and the settings, handed to every part that
// needs it.
struct ClientConfig
{
    std::wstring strServerUrl;  // scheme and host, no path
    int nServerPort = -1;       // from "[PORT=": used only when 1 or more
    // Read when asked: an installer may record a new version while the client runs.
    std::function<std::wstring()> installedVersion;
    std::wstring InstalledVersion() const { return installedVersion ? installedVersion() : std::wstring(); }
};
