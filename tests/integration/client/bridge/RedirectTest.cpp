#include "bridge/HtmlDialog.h"
#include "PageHostSupport.h"
#include "text/TextConv.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Notes what the bridge had published when the page's first script ran, and offers a call.
const char* const kPage = R"HTML(<!DOCTYPE html>
<html><head><meta charset="utf-8"><script>
window.seenAtStart = typeof (window.external && window.external.FE_Notice);
</script></head><body>page</body></html>
)HTML";

// Two servers on 127.0.0.1: the window is sent to the first; its redirects lead to the first
// under another path, to the second (another port), or to "localhost" (another host name).
class RedirectTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_other = new LocalSite();
        s_other->AddPage("/page/landing.html", kPage);
        s_other->Start();
        s_site = new LocalSite();
        s_site->AddPage("/page/landing.html", kPage);
        const std::string otherPort = std::to_string(s_other->Port());
        const std::vector<std::pair<std::string, std::string>> routes = {
            {"/redirect/path", s_site->Origin() + "/page/landing.html"},
            {"/redirect/port", s_other->Origin() + "/page/landing.html"},
            {"/redirect/twice", s_site->Origin() + "/redirect/port"},
            {"/redirect/host", "http://localhost:" + otherPort + "/page/landing.html"},
            {"/redirect/host-and-back", "http://localhost:" + otherPort + "/redirect-back"},
        };
        for (const auto& route : routes) {
            const std::string target = route.second;
            s_site->Server().Get(route.first, [target](const httplib::Request&, httplib::Response& res) {
                res.set_redirect(target, 302);
            });
        }
        // The foreign host sends the window back to the host it was sent to.
        const std::string back = s_site->Origin() + "/page/landing.html";
        s_other->Server().Get("/redirect-back", [back](const httplib::Request&, httplib::Response& res) {
            res.set_redirect(back, 302);
        });
        s_site->Start();
    }
    static void TearDownTestSuite()
    {
        delete s_site;
        delete s_other;
    }

    static LocalSite* s_site;
    static LocalSite* s_other;
};

LocalSite* RedirectTest::s_site = nullptr;
LocalSite* RedirectTest::s_other = nullptr;

TEST_F(RedirectTest, SameHostRedirectKeepsTheBridgeAnotherHostGetsNone)
{
    struct Case
    {
        const char* name;
        std::string path;
        std::string landingOrigin;
        bool bBridge;
    };
    const std::string localhostOrigin = "http://localhost:" + std::to_string(s_other->Port());
    const Case cases[] = {
        {"OtherPath", "/redirect/path", s_site->Origin(), true},
        {"OtherPort", "/redirect/port", s_other->Origin(), true},
        {"TwoHopsSameHost", "/redirect/twice", s_other->Origin(), true},
        {"OtherHostName", "/redirect/host", localhostOrigin, false},
        // Back on the very origin the window was sent to: its own documents again.
        {"OtherHostThenBack", "/redirect/host-and-back", s_site->Origin(), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::wstring> notices;
        CHtmlDialog dialog;
        dialog.SetSilent(true);
        dialog.SetExternalTable({ExternalMethod::Notice(
            L"FE_Notice", [&notices](const std::wstring& a) { notices.push_back(a); })});
        const std::string withheld = "window.external withheld from " + c.landingOrigin + "/page/landing.html";
        const size_t nBefore = CountOccurrences(LogText(), withheld);

        ASSERT_TRUE(LoadAndWait(dialog, s_site->Url(c.path)));
        EXPECT_EQ(RunScript(dialog, "window.location.origin").toString().toStdString(), c.landingOrigin);
        EXPECT_EQ(RunScript(dialog, "window.seenAtStart").toString(), c.bBridge ? "function" : "undefined");
        RunScript(dialog, "try { window.external.FE_Notice('after redirect'); } catch (e) {}");
        EXPECT_EQ(notices.size(), c.bBridge ? 1u : 0u);
        if (c.bBridge) {
            EXPECT_EQ(CountOccurrences(LogText(), withheld), nBefore);
        } else {
            ASSERT_TRUE(WaitUntil([&] { return CountOccurrences(LogText(), withheld) > nBefore; }, 5000));
            EXPECT_EQ(CountOccurrences(LogText(), withheld), nBefore + 1);
        }
    }
}

TEST_F(RedirectTest, PageInitiatedMoveToAnotherPortStaysForeign)
{
    // Only the server's redirect of the window's own load is followed, not the page's moves.
    std::vector<std::wstring> notices;
    CHtmlDialog dialog;
    dialog.SetSilent(true);
    dialog.SetExternalTable({ExternalMethod::Notice(
        L"FE_Notice", [&notices](const std::wstring& a) { notices.push_back(a); })});
    ASSERT_TRUE(LoadAndWait(dialog, s_site->Url("/page/landing.html")));
    ASSERT_EQ(RunScript(dialog, "window.seenAtStart").toString(), "function");

    QSignalSpy complete(&dialog, &CHtmlDialog::DocumentComplete);
    RunScript(dialog, QStringLiteral("window.location.href = %1")
                          .arg(JsLiteral(QString::fromStdString(s_other->Origin() + "/page/landing.html"))));
    ASSERT_TRUE(WaitUntil([&] { return complete.count() > 0; }));
    EXPECT_EQ(RunScript(dialog, "window.seenAtStart").toString(), "undefined");
    RunScript(dialog, "try { window.external.FE_Notice('moved'); } catch (e) {}");
    EXPECT_TRUE(notices.empty());
}

TEST_F(RedirectTest, OnlyWebAddressesAreLoaded)
{
    const std::wstring addresses[] = {L"file:///etc/passwd", L"data:text/html,<p>x</p>", L"javascript:1",
                                      L"ftp://127.0.0.1/x", L"about:blank", L""};
    for (const std::wstring& address : addresses) {
        SCOPED_TRACE(WideToUtf8(address));
        CHtmlDialog dialog;
        const std::string line = "navigation refused: not a web address.[";
        const size_t nBefore = CountOccurrences(LogText(), line);
        QSignalSpy complete(&dialog, &CHtmlDialog::DocumentComplete);
        dialog.Navigate(address);
        dialog.NavigatePost(address, "{}");
        EXPECT_EQ(dialog.GetReadyState(), PageReadyState::Uninitialized);
        EXPECT_EQ(CountOccurrences(LogText(), line), nBefore + 2);
        // The window can still be sent to a web address afterwards.
        EXPECT_TRUE(LoadAndWait(dialog, s_site->Url("/page/landing.html")));
        EXPECT_EQ(complete.count(), 1);
    }
}

}  // namespace
