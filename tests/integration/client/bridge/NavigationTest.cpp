#include "bridge/HtmlDialog.h"
#include "PageHostSupport.h"
#include "bridge/PageProfile.h"
#include "text/TextConv.h"

#include <QDir>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <gtest/gtest.h>
#include <json/json.h>

#include <atomic>
#include <limits>
#include <thread>

namespace {

const char* const kPlainPage = R"HTML(<!DOCTYPE html>
<html><head><meta charset="utf-8"></head><body style="margin:0">
<div id="area" style="width:100%;height:300px">page</div>
<script>
window.events = [];
document.addEventListener('keydown', function (e) { window.events.push('key:' + e.key); });
document.addEventListener('mousedown', function (e) { window.events.push('mouse:' + e.button); });
document.addEventListener('contextmenu', function () { window.events.push('menu'); });
</script></body></html>
)HTML";

class NavigationTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_site = new LocalSite();
        s_site->AddPage("/page/plain.html", kPlainPage);
        s_site->AddPage("/page/other.html", kPlainPage);
        s_site->AddPage("/page/posted", kPlainPage);
        s_site->Start();
    }
    static void TearDownTestSuite() { delete s_site; }

    // The last request the site received for `path`.
    Json::Value LastRequest(const std::string& path)
    {
        Json::Value list;
        Json::Reader().parse(s_site->Requests().ToJson(path), list);
        return list.empty() ? Json::Value() : list[list.size() - 1];
    }

    static std::string Header(const Json::Value& request, const std::string& name)
    {
        for (const std::string& key : request["headers"].getMemberNames()) {
            if (QString::fromStdString(key).compare(QString::fromStdString(name), Qt::CaseInsensitive) == 0) {
                return request["headers"][key].asString();
            }
        }
        return {};
    }

    static LocalSite* s_site;
};

LocalSite* NavigationTest::s_site = nullptr;

TEST_F(NavigationTest, GetCarriesTheExtraHeaders)
{
    CHtmlDialog dialog;
    ASSERT_TRUE(LoadAndWait(dialog, s_site->Url("/page/plain.html"),
                            L"Cache-Control: no-cache, no-store, max-age=1\r\nX-Orvanta-Client: WI\r\n"));
    const Json::Value request = LastRequest("/page/plain.html");
    EXPECT_EQ(request["method"].asString(), "GET");
    EXPECT_EQ(Header(request, "Cache-Control"), "no-cache, no-store, max-age=1");
    EXPECT_EQ(Header(request, "X-Orvanta-Client"), "WI");
}

TEST_F(NavigationTest, PostCarriesJsonBodyAsUtf8)
{
    CHtmlDialog dialog;
    const std::wstring body =
        L"{\n   \"callInfo\" : {\n      \"peerPhone\" : \"0212345678\",\n      \"msg\" : \"안녕하세요 \\\"견적\\\"\\n감사합니다\"\n   },\n"
        L"   \"cidKind\" : \"MSG\"\n}\n";
    QSignalSpy complete(&dialog, &CHtmlDialog::DocumentComplete);
    dialog.NavigatePost(s_site->Url("/page/posted"), WideToUtf8(body));
    ASSERT_TRUE(WaitUntil([&] { return complete.count() > 0; }));
    const Json::Value request = LastRequest("/page/posted");
    EXPECT_EQ(request["method"].asString(), "POST");
    EXPECT_EQ(Header(request, "Content-Type"), "application/json");
    EXPECT_EQ(request["body"].asString(), WideToUtf8(body));
}

TEST_F(NavigationTest, DocumentCompleteReadyStateAndNoHistory)
{
    CHtmlDialog dialog;
    EXPECT_EQ(dialog.GetReadyState(), PageReadyState::Uninitialized);
    QSignalSpy complete(&dialog, &CHtmlDialog::DocumentComplete);
    dialog.Navigate(s_site->Url("/page/plain.html"));
    EXPECT_EQ(dialog.GetReadyState(), PageReadyState::Loading);
    ASSERT_TRUE(WaitUntil([&] { return complete.count() > 0; }));
    EXPECT_EQ(complete.at(0).at(0).toUrl().toString().toStdWString(), s_site->Url("/page/plain.html"));
    EXPECT_EQ(dialog.GetReadyState(), PageReadyState::Complete);
    EXPECT_EQ(dialog.GetLocationURL(), s_site->Url("/page/plain.html"));

    ASSERT_TRUE(LoadAndWait(dialog, s_site->Url("/page/other.html")));
    EXPECT_FALSE(dialog.Page()->history()->canGoBack());
    EXPECT_EQ(dialog.GetLocationURL(), s_site->Url("/page/other.html"));
}

TEST_F(NavigationTest, WorkerThreadNavigatesAndWatchesTheReadyState)
{
    CHtmlDialog dialog;
    std::atomic<bool> bSawComplete{false};
    std::atomic<bool> bStop{false};
    std::thread worker([&] {
        dialog.Navigate(s_site->Url("/page/plain.html"), L"Cache-Control: no-cache, no-store, max-age=1");
        // Polled from this thread (it only sleeps here); ends when the test stops waiting.
        WaitUntil([&] {
            if (dialog.GetReadyState() == PageReadyState::Complete &&
                dialog.GetLocationURL() == s_site->Url("/page/plain.html")) {
                bSawComplete = true;
            }
            return bSawComplete || bStop;
        }, std::numeric_limits<int>::max(), 10);
    });
    const bool bDone = WaitUntil([&] { return bSawComplete.load(); });
    bStop = true;
    worker.join();
    EXPECT_TRUE(bDone);
}

TEST_F(NavigationTest, ProfileIsSharedAndStoredUnderTheUserDataFolder)
{
    QWebEngineProfile* pProfile = CPageProfile::Shared();
    ASSERT_NE(pProfile, nullptr);
    EXPECT_FALSE(pProfile->isOffTheRecord());
    EXPECT_EQ(pProfile->persistentStoragePath(),
              qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/ORVANTA_VEXA/WebEngine"));

    // What one window's page stores, another window's page of the same site reads.
    CHtmlDialog first;
    CHtmlDialog second;
    EXPECT_EQ(first.Page()->profile(), pProfile);
    ASSERT_TRUE(LoadAndWait(first, s_site->Url("/page/plain.html")));
    RunScript(first, "localStorage.setItem('orvanta.check', '창 위치 저장')");
    ASSERT_TRUE(LoadAndWait(second, s_site->Url("/page/other.html")));
    EXPECT_EQ(RunScript(second, "localStorage.getItem('orvanta.check')").toString(), QStringLiteral("창 위치 저장"));
}

TEST_F(NavigationTest, ReloadKeyAndRightButtonNeverReachThePage)
{
    CHtmlDialog dialog;
    dialog.resize(500, 400);
    dialog.show();
    ASSERT_TRUE(LoadAndWait(dialog, s_site->Url("/page/plain.html")));
    QWidget* pInput = dialog.View()->focusProxy();
    ASSERT_NE(pInput, nullptr);
    pInput->setFocus();

    auto events = [&] { return RunScript(dialog, "window.events.join(',')").toString(); };
    const QPoint inside(50, 50);

    // Plain input reaches the page, so the blocks below are real.
    QTest::keyClick(pInput, Qt::Key_A);
    QTest::mouseClick(pInput, Qt::LeftButton, {}, inside);
    ASSERT_TRUE(WaitUntil([&] { return events().contains("mouse:0") && events().contains("key:a"); }, 10000))
        << events().toStdString();

    RunScript(dialog, "window.events = []");
    QTest::keyPress(pInput, Qt::Key_F5);
    QTest::keyClick(pInput, Qt::Key_B);  // pressed while F5 is held
    QTest::keyRelease(pInput, Qt::Key_F5);
    QTest::mouseClick(pInput, Qt::RightButton, {}, inside);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, inside, pInput->mapToGlobal(inside));
    QCoreApplication::sendEvent(pInput, &menu);
    QTest::keyClick(pInput, Qt::Key_C);  // after F5 is released, keys go through again
    ASSERT_TRUE(WaitUntil([&] { return events().contains("key:c"); }, 10000)) << events().toStdString();
    EXPECT_EQ(events(), "key:c");
}

}  // namespace
