#include "mainpage/MainPageLoader.h"
#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>

namespace {

// What the page does after each navigation: report its border, its position, both or nothing.
struct PageScript
{
    bool bNetworkUp = true;
    // Index of the navigation (0-based) from which the page reports; -1: never.
    int nReportsFrom = -1;
    bool bBorder = true;
    bool bPosition = true;
};

class ScriptedTarget : public IMainPageLoadTarget
{
public:
    explicit ScriptedTarget(PageScript script) : m_script(script) {}

    void Attach(CMainPageLoader* pLoader) { m_pLoader = pLoader; }

    bool IsNetworkUp(const std::wstring&) override
    {
        ++nNetworkChecks;
        return m_script.bNetworkUp;
    }
    void NavigateMainPage(const std::wstring&) override
    {
        const int n = nNavigations++;
        if (m_script.nReportsFrom < 0 || n < m_script.nReportsFrom) {
            return;
        }
        // The page reports position first, as the main page window does.
        if (m_script.bPosition) {
            m_pLoader->SignalPosition();
        }
        if (m_script.bBorder) {
            m_pLoader->SignalBorder();
        }
    }
    std::wstring MainPageLocation() override { return L"http://127.0.0.1/service"; }
    int MainPageReadyState() override { return 4; }
    void ShowMainFrame(bool bCenter, bool bDefault) override
    {
        bShownCentred = bCenter;
        bShownDefault = bDefault;
        ++nOutcomes;
        bShown = true;
    }
    bool IsCenterMainFrame() override { return false; }
    void GiveUp() override
    {
        ++nOutcomes;
        bGaveUp = true;
    }

    std::atomic<int> nNetworkChecks{0};
    std::atomic<int> nNavigations{0};
    std::atomic<int> nOutcomes{0};
    std::atomic<bool> bShown{false};
    std::atomic<bool> bShownCentred{false};
    std::atomic<bool> bShownDefault{false};
    std::atomic<bool> bGaveUp{false};

private:
    PageScript m_script;
    CMainPageLoader* m_pLoader = nullptr;
};

TEST(MainPageLoaderTest, EveryPassEndsInTheFrameOrTheGiveUp)
{
    struct Case
    {
        const char* name;
        PageScript script;
        bool bGivesUp;
        int nNavigations;
        int nNetworkChecks;
        bool bDefault;
    };
    const Case cases[] = {
        {"NoNetworkIsATryEachPass", {false, -1, true, true}, true, 0, 3, false},
        {"LoadsWithoutReadiness", {true, -1, true, true}, true, 3, 3, false},
        // A page that reports only its position used to be loaded again at once, forever.
        {"PositionOnlyIsNotReloadedAtOnce", {true, 0, false, true}, true, 3, 3, false},
        {"ReadyAtFirstLoad", {true, 0, true, true}, false, 1, 1, false},
        {"ReadyAtThirdLoad", {true, 2, true, true}, false, 3, 3, false},
        {"BorderWithoutPositionTakesTheDefaults", {true, 0, true, false}, false, 1, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedTarget target(c.script);
        CMainPageLoader loader(target, std::chrono::milliseconds(5));
        target.Attach(&loader);
        ASSERT_EQ(loader.Start(L"http://127.0.0.1/service"), 0);
        ASSERT_TRUE(WaitUntil([&] { return target.nOutcomes.load() > 0; }));
        loader.Stop();
        EXPECT_EQ(target.nOutcomes.load(), 1);
        EXPECT_EQ(target.bGaveUp.load(), c.bGivesUp);
        EXPECT_EQ(target.bShown.load(), !c.bGivesUp);
        EXPECT_EQ(target.nNavigations.load(), c.nNavigations);
        EXPECT_EQ(target.nNetworkChecks.load(), c.nNetworkChecks);
        if (!c.bGivesUp) {
            EXPECT_EQ(target.bShownDefault.load(), c.bDefault);
            EXPECT_EQ(target.bShownCentred.load(), c.bDefault);
        } else {
            EXPECT_EQ(loader.RetryCount(), 2);
        }
    }
}

}  // namespace
