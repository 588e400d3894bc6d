#pragma once
#include <functional>
#include <string>
#include <vector>

// How the client has the browser draw its pages, chosen from the environment and the command
// line before the application object exists. A choice the user made there is kept.
struct BrowserStart
{
    // QTWEBENGINE_CHROMIUM_FLAGS as the browser gets it.
    std::string strChromiumFlags;
    // Qt Quick's software backend for the page views.
    bool bSoftwarePainting = false;
    // QT_XCB_GL_INTEGRATION=none: the X platform loads no OpenGL driver at all.
    bool bNoGlIntegration = false;
};

// getEnv returns the variable's value, empty when unset. args: the command line without the
// program name.
BrowserStart ChooseBrowserStart(const std::function<std::string(const char*)>& getEnv,
                                const std::vector<std::string>& args);
