#include "logic/BrowserStart.h"

#include <sstream>

namespace {
const char* const kProcessModels[] = {"--process-per-site", "--process-per-tab", "--single-process"};

bool IsProcessModel(const std::string& strWord)
{
    for (const char* pszModel : kProcessModels) {
        if (strWord == pszModel) {
            return true;
        }
    }
    return false;
}

bool HasProcessModel(const std::string& strFlags, const std::vector<std::string>& args)
{
    std::istringstream words(strFlags);
    std::string strWord;
    while (words >> strWord) {
        if (IsProcessModel(strWord)) {
            return true;
        }
    }
    for (const std::string& strArg : args) {
        if (IsProcessModel(strArg)) {
            return true;
        }
    }
    return false;
}
}  // namespace

BrowserStart ChooseBrowserStart(const std::function<std::string(const char*)>& getEnv,
                                const std::vector<std::string>& args)
{
    BrowserStart start;
    // The main page, popups and alerts are pages of one site: sharing renderers spares a
    // process start per popup.
    start.strChromiumFlags = getEnv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!HasProcessModel(start.strChromiumFlags, args)) {
        if (start.strChromiumFlags.find_first_not_of(' ') != std::string::npos) {
            start.strChromiumFlags += ' ';
        }
        start.strChromiumFlags += kProcessModels[0];
    }
    // The hosted pages are small documents: painting their frames in software spares every
    // view its GPU surfaces and the driver's copies of them, over a third of the client's
    // memory with the main page and ten popups open (QT_QUICK_BACKEND=rhi brings the GPU back).
    start.bSoftwarePainting = getEnv("QT_QUICK_BACKEND").empty() && getEnv("QMLSCENE_DEVICE").empty();
    // Painting in software, nothing needs OpenGL; loading the driver (on a machine without a
    // GPU the whole software rasteriser and its compiler) cost about 0.1 s of every start.
    start.bNoGlIntegration = start.bSoftwarePainting && getEnv("QT_XCB_GL_INTEGRATION").empty();
    return start;
}
