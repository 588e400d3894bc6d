#include "logic/BrowserStart.h"

#include <gtest/gtest.h>

#include <map>

namespace {

struct StartCase
{
    const char* name;
    std::map<std::string, std::string> env;
    std::vector<std::string> args;
    std::string expectedFlags;
    bool software;
    bool noGl;
};

void PrintTo(const StartCase& c, std::ostream* os)
{
    *os << c.name;
}

class BrowserStartTest : public ::testing::TestWithParam<StartCase>
{
};

TEST_P(BrowserStartTest, KeepsWhatTheUserChose)
{
    const StartCase& c = GetParam();
    const BrowserStart start = ChooseBrowserStart(
        [&c](const char* pszName) {
            const auto it = c.env.find(pszName);
            return it == c.env.end() ? std::string() : it->second;
        },
        c.args);
    EXPECT_EQ(start.strChromiumFlags, c.expectedFlags);
    EXPECT_EQ(start.bSoftwarePainting, c.software);
    EXPECT_EQ(start.bNoGlIntegration, c.noGl);
}

INSTANTIATE_TEST_SUITE_P(
    Choices, BrowserStartTest,
    ::testing::Values(
        StartCase{"Defaults", {}, {}, "--process-per-site", true, true},
        StartCase{"OtherFlagsKept", {{"QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu"}}, {},
                  "--no-sandbox --disable-gpu --process-per-site", true, true},
        StartCase{"ModelInFlags", {{"QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --single-process"}}, {},
                  "--no-sandbox --single-process", true, true},
        StartCase{"ModelOnCommandLine", {}, {"[URL=http://127.0.0.1]", "--process-per-tab"}, "", true, true},
        StartCase{"LookalikeIsNoModel", {{"QTWEBENGINE_CHROMIUM_FLAGS", "--process-per-site-x"}},
                  {"x--single-process"}, "--process-per-site-x --process-per-site", true, true},
        StartCase{"GpuBackendChosen", {{"QT_QUICK_BACKEND", "rhi"}}, {}, "--process-per-site", false, false},
        StartCase{"OlderBackendVariable", {{"QMLSCENE_DEVICE", "softwarecontext"}}, {}, "--process-per-site",
                  false, false},
        StartCase{"GlIntegrationChosen", {{"QT_XCB_GL_INTEGRATION", "xcb_egl"}}, {}, "--process-per-site", true,
                  false}));

}  // namespace
