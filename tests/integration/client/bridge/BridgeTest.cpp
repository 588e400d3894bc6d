#include "bridge/HtmlDialog.h"
#include "logic/JsonText.h"
#include "PageHostSupport.h"
#include "text/TextConv.h"

#include <QSignalSpy>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

// A page that notes, in its first script, what the bridge had already published.
const char* const kBridgePage = R"HTML(<!DOCTYPE html>
<html><head><meta charset="utf-8"><script>
window.seenAtStart = {
  notice: typeof (window.external && window.external.FE_Notice),
  query: typeof (window.external && window.external.FE_Query),
  other: typeof (window.external && window.external.FE_Other)
};
window.received = [];
window.WI_Echo = function (text) { window.received.push(text); return 'ignored'; };
window.WI_Throws = function () { throw new Error('page failure'); };
window.WI_Text = function () { return 'page text 한글 "q"\n2'; };
window.WI_Number = function () { return 42; };
window.notAFunction = 5;
</script></head><body><iframe id="own" src="/page/frame.html"></iframe></body></html>
)HTML";

// Reports to its parent whether it sees the window's methods.
const char* const kFramePage = R"HTML(<!DOCTYPE html>
<html><head><meta charset="utf-8"><script>
parent.postMessage({ origin: location.origin, notice: typeof (window.external && window.external.FE_Notice) }, '*');
</script></head><body>frame</body></html>
)HTML";

// Records what reached each handler.
struct Recorder
{
    std::vector<std::wstring> notices;
    std::vector<std::wstring> tests;
    int nSignals = 0;
    std::wstring strQueryAnswer = L"answer";
    int nThrown = 0;
};

CExternalTable MakeTable(Recorder& rec)
{
    return CExternalTable{
        ExternalMethod::Notice(L"FE_Notice", [&rec](const std::wstring& a) { rec.notices.push_back(a); }),
        ExternalMethod::Signal(L"FE_Signal", [&rec] { ++rec.nSignals; }),
        ExternalMethod::Query(L"FE_Query", [&rec] { return rec.strQueryAnswer; }),
        ExternalMethod::Query(L"FE_SignalCount", [&rec] { return std::to_wstring(rec.nSignals); }),
        ExternalMethod::Test(L"FE_Test", [&rec](const std::wstring& a) {
            rec.tests.push_back(a);
            return a == rec.strQueryAnswer;
        }),
        ExternalMethod::Notice(L"FE_BadJson", [&rec](const std::wstring& a) {
            Json::Value root;
            if (ParseJsonText(a, root)) {
                JsonGetInt(root, "count", 0);  // an object here cannot be read as a number
                ++rec.nThrown;                 // reached only when the read succeeded
            }
        }),
    };
}

class BridgeTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_site = new LocalSite();
        s_site->AddPage("/page/bridge.html", kBridgePage);
        s_site->AddPage("/page/frame.html", kFramePage);
        s_site->AddPage("/page/doc.xml", "<?xml version=\"1.0\"?><root><item/></root>", "application/xml");
        s_site->Start();
        s_foreign = new LocalSite();
        s_foreign->AddPage("/page/bridge.html", kBridgePage);
        s_foreign->AddPage("/page/frame.html", kFramePage);
        s_foreign->Start();
    }
    static void TearDownTestSuite()
    {
        delete s_site;
        delete s_foreign;
    }

    void SetUp() override
    {
        m_dialog = std::make_unique<CHtmlDialog>();
        m_dialog->resize(600, 400);
        m_dialog->SetSilent(true);
        m_dialog->SetExternalTable(MakeTable(m_rec));
        m_dialog->show();
    }

    bool LoadBridgePage() { return LoadAndWait(*m_dialog, s_site->Url("/page/bridge.html")); }

    QVariant Js(const QString& script) { return RunScript(*m_dialog, script); }

    static LocalSite* s_site;
    static LocalSite* s_foreign;
    Recorder m_rec;
    std::unique_ptr<CHtmlDialog> m_dialog;
};

LocalSite* BridgeTest::s_site = nullptr;
LocalSite* BridgeTest::s_foreign = nullptr;

struct TextCase
{
    const char* name;
    std::wstring text;
};

std::vector<TextCase> TextCases()
{
    std::wstring big;
    while (big.size() < 100 * 1024) {
        big += L"통화 기록 \"call\" 0123456789 \\ 'x'\n";
    }
    return {
        {"empty", L""},
        {"korean", L"홍길동 님, 전화 왔습니다"},
        {"quotes_and_backslashes", L"{\"msg\":\"그가 \\\"안녕\\\"이라고 했다\"} 'single' \\n"},
        {"line_breaks", L"첫 줄\r\n둘째 줄\n셋째 줄\r"},
        {"beyond_basic_plane", L"전화 📞 기호 𝄞"},
        {"hundred_kilobytes", big},
    };
}

TEST_F(BridgeTest, MethodsArePublishedBeforeThePageScriptsRun)
{
    ASSERT_TRUE(LoadBridgePage());
    EXPECT_EQ(Js("window.seenAtStart.notice").toString(), "function");
    EXPECT_EQ(Js("window.seenAtStart.query").toString(), "function");
    EXPECT_EQ(Js("window.seenAtStart.other").toString(), "undefined");
}

TEST_F(BridgeTest, EveryFormCarriesItsTextBothWays)
{
    ASSERT_TRUE(LoadBridgePage());
    for (const TextCase& c : TextCases()) {
        SCOPED_TRACE(c.name);
        const QString literal = JsLiteral(ToQString(c.text));
        m_rec = Recorder{};
        m_rec.strQueryAnswer = c.text;

        // notice: the handler gets the text exactly
        Js(QStringLiteral("window.external.FE_Notice(%1)").arg(literal));
        ASSERT_EQ(m_rec.notices.size(), 1u);
        EXPECT_TRUE(m_rec.notices[0] == c.text);

        // query: the page gets the handler's text exactly, as a string
        EXPECT_EQ(Js(QStringLiteral("(function(){ var r = window.external.FE_Query();"
                                    " return typeof r === 'string' && r === %1; })()").arg(literal)).toBool(),
                  true);

        // test: the handler gets the text and its boolean reaches the page
        EXPECT_EQ(Js(QStringLiteral("window.external.FE_Test(%1)").arg(literal)).toBool(), true);
        EXPECT_EQ(Js(QStringLiteral("window.external.FE_Test(%1 + 'x')").arg(literal)).toBool(), false);
        EXPECT_EQ(Js("typeof window.external.FE_Test('')").toString(), "boolean");
        ASSERT_EQ(m_rec.tests.size(), 3u);
        EXPECT_TRUE(m_rec.tests[0] == c.text);
    }
}

TEST_F(BridgeTest, AbsentOrNonTextArgumentsArriveAsText)
{
    ASSERT_TRUE(LoadBridgePage());
    Js("window.external.FE_Notice(); window.external.FE_Notice(null); window.external.FE_Notice(5);"
       " window.external.FE_Notice(true);");
    ASSERT_EQ(m_rec.notices.size(), 4u);
    EXPECT_EQ(m_rec.notices[0], L"");
    EXPECT_EQ(m_rec.notices[1], L"");
    EXPECT_EQ(m_rec.notices[2], L"5");
    EXPECT_EQ(m_rec.notices[3], L"true");
}

TEST_F(BridgeTest, HandlerRunsToItsEndBeforeThePageContinues)
{
    ASSERT_TRUE(LoadBridgePage());
    // The count read right after each signal already includes it.
    EXPECT_EQ(Js("(function(){ var seen = [];"
                 " for (var i = 0; i < 3; ++i) { window.external.FE_Signal(); seen.push(window.external.FE_SignalCount()); }"
                 " return seen.join(','); })()").toString(),
              "1,2,3");
    EXPECT_EQ(m_rec.nSignals, 3);
}

TEST_F(BridgeTest, UnconvertibleJsonFieldStopsOnlyThatHandler)
{
    ASSERT_TRUE(LoadBridgePage());
    const size_t nBefore = CountOccurrences(LogText(), "FE_BadJson stopped");
    EXPECT_EQ(Js("window.external.FE_BadJson('{\"count\": {\"nested\": 1}}'); 'page goes on'").toString(),
              "page goes on");
    EXPECT_EQ(m_rec.nThrown, 0);
    EXPECT_EQ(CountOccurrences(LogText(), "FE_BadJson stopped"), nBefore + 1);
    // The window keeps answering, and a convertible field passes.
    Js("window.external.FE_BadJson('{\"count\": 3}')");
    EXPECT_EQ(m_rec.nThrown, 1);
}

TEST_F(BridgeTest, HostileArgumentsReachHandlersAsTextAndThePageGoesOn)
{
    ASSERT_TRUE(LoadBridgePage());
    struct Case
    {
        const char* name;
        const char* script;  // the argument, as the page writes it
        bool bArrives;       // a value that cannot become text raises in the page instead
        int nLength;         // characters that arrive, -1: not checked
        bool bStops;         // parses as a value that is not an object: the read stops
    };
    const Case cases[] = {
        {"DeepNesting", "'['.repeat(100000)", true, 100000, false},
        {"DeepObjects", "'{\"a\":'.repeat(100000)", true, 500000, false},
        {"FourMegabytes", "'x'.repeat(4 * 1024 * 1024)", true, 4 * 1024 * 1024, false},
        {"LoneSurrogates", "'\\ud800{\\udfff\"'", true, -1, false},
        {"NulInside", "'a\\u0000b'", true, 3, false},
        {"NestedArrays", "[[[1], [2]], 'x']", true, 5, true},
        {"Object", "({ a: 1 })", true, 15, false},
        {"ThrowingToString", "({ toString: function () { throw new Error('no'); } })", false, -1, false},
        {"Symbol", "Symbol('s')", true, 9, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_rec = Recorder{};
        const size_t nStoppedBefore = CountOccurrences(LogText(), "FE_BadJson stopped");
        const QString script = QStringLiteral(
            "(function(){ var r = [];"
            " try { window.external.FE_Notice(%1); r.push('n'); } catch (e) { r.push('raised'); }"
            " try { window.external.FE_BadJson(%1); r.push('j'); } catch (e) { r.push('raised'); }"
            " try { r.push(String(window.external.FE_Test(%1))); } catch (e) { r.push('raised'); }"
            " return r.join(','); })()").arg(QString::fromLatin1(c.script));
        EXPECT_EQ(Js(script).toString(), c.bArrives ? "n,j,false" : "raised,raised,raised");
        ASSERT_EQ(m_rec.notices.size(), c.bArrives ? 1u : 0u);
        if (c.bArrives && c.nLength >= 0) {
            EXPECT_EQ(static_cast<int>(m_rec.notices[0].size()), c.nLength);
        }
        // Text the reader cannot take is not JSON to the handler; it neither throws nor reads.
        EXPECT_EQ(m_rec.nThrown, 0);
        EXPECT_EQ(CountOccurrences(LogText(), "FE_BadJson stopped"), nStoppedBefore + (c.bStops ? 1 : 0));
    }
    // The window still answers afterwards.
    EXPECT_EQ(Js("window.external.FE_Query()").toString(), "answer");
}

TEST_F(BridgeTest, PageFunctionGetsItsArgumentExactly)
{
    ASSERT_TRUE(LoadBridgePage());
    for (const TextCase& c : TextCases()) {
        SCOPED_TRACE(c.name);
        Js("window.received = []");
        int nStatus = 1;
        m_dialog->CallPageFunction(L"WI_Echo", c.text, [&](int s) { nStatus = s; });
        ASSERT_TRUE(WaitUntil([&] { return nStatus != 1; }));
        EXPECT_EQ(nStatus, kPageCallOk);
        EXPECT_TRUE(Js(QStringLiteral("window.received.length === 1 && window.received[0] === %1")
                           .arg(JsLiteral(ToQString(c.text))))
                        .toBool());
    }
}

struct StatusCase
{
    const char* name;
    const char* path;  // nullptr: nothing navigated
    const wchar_t* function;
    int nStatus;
};

TEST_F(BridgeTest, PageFunctionStatuses)
{
    const StatusCase cases[] = {
        {"found", "/page/bridge.html", L"WI_Echo", kPageCallOk},
        {"raises_while_running", "/page/bridge.html", L"WI_Throws", kPageCallOk},
        {"missing", "/page/bridge.html", L"WI_Missing", kPageNoFunction},
        {"not_a_function", "/page/bridge.html", L"notAFunction", kPageNoFunction},
        {"not_html", "/page/doc.xml", L"WI_Echo", kPageNotHtml},
        {"no_document", nullptr, L"WI_Echo", kPageNoDocument},
    };
    for (const StatusCase& c : cases) {
        SCOPED_TRACE(c.name);
        CHtmlDialog dialog;
        dialog.SetSilent(true);
        if (c.path != nullptr) {
            ASSERT_TRUE(LoadAndWait(dialog, s_site->Url(c.path)));
        }
        int nStatus = 1;
        dialog.CallPageFunction(c.function, L"{}", [&](int s) { nStatus = s; });
        ASSERT_TRUE(WaitUntil([&] { return nStatus != 1; }));
        EXPECT_EQ(nStatus, c.nStatus);
    }
}

TEST_F(BridgeTest, CallWhileTheFirstDocumentLoadsFindsNoFunction)
{
    CHtmlDialog dialog;
    dialog.SetSilent(true);
    QSignalSpy complete(&dialog, &CHtmlDialog::DocumentComplete);
    dialog.Navigate(s_site->Url("/page/bridge.html"));
    int nStatus = 1;
    dialog.CallPageFunction(L"WI_Echo", L"early", [&](int s) { nStatus = s; });
    ASSERT_TRUE(WaitUntil([&] { return nStatus != 1; }));
    EXPECT_TRUE(nStatus == kPageNoDocument || nStatus == kPageNoFunction) << nStatus;
    EXPECT_TRUE(WaitUntil([&] { return complete.count() > 0; }));
}

TEST_F(BridgeTest, QueryCallReturnsTextOnlyWhenThePageGivesText)
{
    ASSERT_TRUE(LoadBridgePage());
    struct QueryCase
    {
        const wchar_t* function;
        std::wstring expected;
    };
    const QueryCase cases[] = {
        {L"WI_Text", L"page text 한글 \"q\"\n2"},
        {L"WI_Number", L""},
        {L"WI_Missing", L""},
        {L"WI_Throws", L""},
    };
    for (const QueryCase& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.function));
        bool bDone = false;
        std::wstring strText = L"unset";
        m_dialog->CallPageQuery(c.function, [&](const std::wstring& t) {
            strText = t;
            bDone = true;
        });
        ASSERT_TRUE(WaitUntil([&] { return bDone; }));
        EXPECT_TRUE(strText == c.expected);
    }
    CHtmlDialog fresh;
    bool bDone = false;
    std::wstring strText = L"unset";
    fresh.CallPageQuery(L"WI_Text", [&](const std::wstring& t) {
        strText = t;
        bDone = true;
    });
    ASSERT_TRUE(WaitUntil([&] { return bDone; }));
    EXPECT_TRUE(strText.empty());
}

TEST_F(BridgeTest, AnswersArriveInCallOrder)
{
    ASSERT_TRUE(LoadBridgePage());
    std::vector<std::wstring> order;
    for (int i = 0; i < 12; ++i) {
        const std::wstring tag = std::to_wstring(i);
        switch (i % 3) {
        case 0:
            m_dialog->CallPageFunction(L"WI_Echo", tag, [&order, tag](int s) { order.push_back(tag + L":" + std::to_wstring(s)); });
            break;
        case 1:
            m_dialog->CallPageFunction(L"WI_Missing", tag, [&order, tag](int s) { order.push_back(tag + L":" + std::to_wstring(s)); });
            break;
        default:
            m_dialog->CallPageQuery(L"WI_Text", [&order, tag](const std::wstring& t) { order.push_back(tag + L":" + std::to_wstring(t.size())); });
            break;
        }
    }
    ASSERT_TRUE(WaitUntil([&] { return order.size() == 12; }));
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(order[i].substr(0, order[i].find(L':')), std::to_wstring(i));
    }
    EXPECT_EQ(order[1], L"1:-202");
    // The page saw the calls in the same order.
    EXPECT_EQ(Js("window.received.join(',')").toString(), "0,3,6,9");
}

TEST_F(BridgeTest, HandlerMayCallIntoThePageItself)
{
    // A readiness handler that reads the page's stored data, the way the main page window does.
    std::wstring strRead = L"unset";
    CExternalTable table = MakeTable(m_rec);
    table.Add(ExternalMethod::Notice(L"FE_Notice", [&](const std::wstring&) {
        m_dialog->CallPageQuery(L"WI_Text", [&](const std::wstring& t) { strRead = t; });
    }));
    m_dialog->SetExternalTable(table);
    ASSERT_TRUE(LoadBridgePage());
    Js("window.external.FE_Notice('ready')");
    ASSERT_TRUE(WaitUntil([&] { return strRead != L"unset"; }));
    EXPECT_TRUE(strRead == L"page text 한글 \"q\"\n2");
}

TEST_F(BridgeTest, WindowsReachOnlyTheirOwnMethods)
{
    // Both windows publish a method of the same name; each page reaches its own window's.
    Recorder recA, recB;
    CHtmlDialog a, b;
    a.SetSilent(true);
    b.SetSilent(true);
    a.SetExternalTable({ExternalMethod::Notice(L"FE_MAIN_Log", [&](const std::wstring& t) { recA.notices.push_back(t); }),
                        ExternalMethod::Signal(L"FE_OnlyA", [&] { ++recA.nSignals; })});
    b.SetExternalTable({ExternalMethod::Notice(L"FE_MAIN_Log", [&](const std::wstring& t) { recB.notices.push_back(t); }),
                        ExternalMethod::Signal(L"FE_OnlyB", [&] { ++recB.nSignals; })});
    ASSERT_TRUE(LoadAndWait(a, s_site->Url("/page/bridge.html")));
    ASSERT_TRUE(LoadAndWait(b, s_site->Url("/page/bridge.html")));

    RunScript(a, "window.external.FE_MAIN_Log('from a')");
    RunScript(b, "window.external.FE_MAIN_Log('from b')");
    EXPECT_EQ(recA.notices, std::vector<std::wstring>{L"from a"});
    EXPECT_EQ(recB.notices, std::vector<std::wstring>{L"from b"});

    EXPECT_EQ(RunScript(a, "typeof window.external.FE_OnlyB").toString(), "undefined");
    EXPECT_EQ(RunScript(b, "typeof window.external.FE_OnlyA").toString(), "undefined");
    EXPECT_EQ(RunScript(a, "try { window.external.FE_OnlyB(); 'called' } catch (e) { 'refused' }").toString(),
              "refused");
    EXPECT_EQ(recB.nSignals, 0);
}

TEST_F(BridgeTest, ForeignDocumentGetsNoMethodsAndIsLoggedOnce)
{
    ASSERT_TRUE(LoadBridgePage());
    const std::string foreignUrl = s_foreign->Origin() + "/page/bridge.html";
    const std::string line = "window.external withheld from " + foreignUrl;
    const size_t nBefore = CountOccurrences(LogText(), line);

    // A link followed from the client's page to another origin.
    QSignalSpy complete(m_dialog.get(), &CHtmlDialog::DocumentComplete);
    Js(QStringLiteral("window.location.href = %1").arg(JsLiteral(QString::fromStdString(foreignUrl))));
    ASSERT_TRUE(WaitUntil([&] { return complete.count() > 0; }));
    EXPECT_EQ(Js("window.location.origin").toString().toStdString(), s_foreign->Origin());
    EXPECT_EQ(Js("window.seenAtStart.notice").toString(), "undefined");
    EXPECT_EQ(Js("typeof (window.external && window.external.FE_Notice)").toString(), "undefined");

    ASSERT_TRUE(WaitUntil([&] { return CountOccurrences(LogText(), line) > nBefore; }, 5000));
    EXPECT_EQ(CountOccurrences(LogText(), line), nBefore + 1);
}

TEST_F(BridgeTest, ForeignFrameGetsNoMethodsOwnFrameDoes)
{
    const std::string page = std::string(R"HTML(<!DOCTYPE html><html><head><meta charset="utf-8"><script>
window.frames_seen = [];
window.addEventListener('message', function (e) { window.frames_seen.push(e.data.origin + '=' + e.data.notice); });
</script></head><body>
<iframe src="/page/frame.html"></iframe>
<iframe src=")HTML") + s_foreign->Origin() + R"HTML(/page/frame.html"></iframe>
</body></html>)HTML";
    s_site->AddPage("/page/frames.html", page);
    ASSERT_TRUE(LoadAndWait(*m_dialog, s_site->Url("/page/frames.html")));
    ASSERT_TRUE(WaitUntil([&] { return Js("window.frames_seen.length").toInt() == 2; }));
    const QString seen = Js("window.frames_seen.sort().join(' ')").toString();
    EXPECT_TRUE(seen.contains(QString::fromStdString(s_site->Origin() + "=function"))) << seen.toStdString();
    EXPECT_TRUE(seen.contains(QString::fromStdString(s_foreign->Origin() + "=undefined"))) << seen.toStdString();
}

}  // namespace
