#include "InProcessService.h"
#include "RequestRecorder.h"
#include "WaitUntil.h"

#include <httplib.h>
#include <json/json.h>
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace {

// The stand-in service's page routes and recorder on an ephemeral port, without a browser.
class ServiceDemoTest : public ::testing::Test
{
protected:
    void SetUp() override { ServiceRequests().Clear(); }
    httplib::Client Client() { return m_service.Client(); }

    static Json::Value Parse(const std::string& text)
    {
        Json::Value value;
        Json::Reader().parse(text, value);
        return value;
    }

    InProcessService m_service;
};

TEST_F(ServiceDemoTest, RequestsListsWhatTheServiceReceived)
{
    auto client = Client();
    const std::string body = "{\"callInfo\":{\"peerPhone\":\"0212345678\",\"msg\":\"안녕\\n</script>\"},\"cidKind\":\"MSG\"}";
    httplib::Headers headers{{"X-Orvanta-Client", "WI"}};
    auto page = client.Post("/cid", headers, body, "application/json");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    // The posted JSON is in the page, and no text of it closes the script block early.
    const std::string head = "window.ORVANTA_POSTED = ";
    const size_t at = page->body.find(head);
    ASSERT_NE(at, std::string::npos);
    const size_t end = page->body.find(";</script>", at);
    ASSERT_NE(end, std::string::npos);
    const std::string literal = page->body.substr(at + head.size(), end - at - head.size());
    EXPECT_EQ(literal.find('<'), std::string::npos) << literal;
    EXPECT_EQ(Parse("[" + literal + "]")[0].asString(), body);

    auto list = client.Get("/demo/requests?path=/cid");
    ASSERT_TRUE(list);
    const Json::Value requests = Parse(list->body);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0]["method"].asString(), "POST");
    EXPECT_EQ(requests[0]["path"].asString(), "/cid");
    EXPECT_EQ(requests[0]["body"].asString(), body);
    EXPECT_EQ(requests[0]["headers"]["Content-Type"].asString(), "application/json");
    EXPECT_EQ(requests[0]["headers"]["X-Orvanta-Client"].asString(), "WI");
    EXPECT_FALSE(requests[0]["headers"].isMember("REMOTE_ADDR"));

    // The demo routes themselves are not listed; clearing empties the list.
    EXPECT_TRUE(Parse(client.Get("/demo/requests?path=/demo")->body).empty());
    ASSERT_TRUE(client.Delete("/demo/requests"));
    EXPECT_TRUE(Parse(client.Get("/demo/requests")->body).empty());
}

TEST_F(ServiceDemoTest, MainPageIsServedUnderBothAddresses)
{
    auto client = Client();
    for (const char* path : {"/service?clientType=WI&autoRunOpt=1", "/?clientType=WI&displayMode=MB"}) {
        SCOPED_TRACE(path);
        auto page = client.Get(path);
        ASSERT_TRUE(page);
        EXPECT_EQ(page->status, 200);
        EXPECT_NE(page->body.find("/js/main.js"), std::string::npos);
    }
}

TEST_F(ServiceDemoTest, PushRejectsARequestWithoutMethod)
{
    auto client = Client();
    for (const char* body : {"", "not json", "{\"arg\": 1}", "{\"method\": \"\"}", "[1]"}) {
        SCOPED_TRACE(body);
        auto res = client.Post("/demo/push", body, "application/json");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 400);
    }
}

TEST_F(ServiceDemoTest, PushedEventsReachAnOpenStream)
{
    std::mutex cs;
    std::string stream;
    std::atomic<bool> bStop{false};
    std::thread reader([&] {
        httplib::Client client = m_service.Client();
        client.Get("/demo/events?page=test", [&](const char* data, size_t n) {
            std::lock_guard<std::mutex> lock(cs);
            stream.append(data, n);
            return !bStop.load();
        });
    });
    auto text = [&] {
        std::lock_guard<std::mutex> lock(cs);
        return stream;
    };
    auto client = Client();
    // The stream is open once the service counts the page.
    Json::Value reply;
    WaitUntil([&] {
        reply = Parse(client.Post("/demo/push", "{\"method\":\"FE_MAIN_Log\",\"arg\":\"probe\"}", "application/json")->body);
        return reply["subscribers"].asUInt() >= 1 && text().find("retry:") != std::string::npos;
    }, 5000, 50);
    ASSERT_GE(reply["subscribers"].asUInt(), 1u);

    struct PushCase
    {
        const char* name;
        const char* request;
        const char* expectedData;
    };
    const PushCase cases[] = {
        {"object_as_json_text", R"({"method":"FE_MAIN_Call_Recv_Noti","arg":{"peerPhone":"0212345678","callResult":101}})",
         R"({"arg":"{\"callResult\":101,\"peerPhone\":\"0212345678\"}","method":"FE_MAIN_Call_Recv_Noti"})"},
        {"string_as_is", R"({"method":"FE_MAIN_Log","arg":"그대로 \"전달\""})",
         R"({"arg":"그대로 \"전달\"","method":"FE_MAIN_Log"})"},
        {"no_argument", R"({"method":"FE_CID_Get_ClientVersion"})",
         R"({"arg":null,"method":"FE_CID_Get_ClientVersion"})"},
    };
    for (const PushCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto res = client.Post("/demo/push", c.request, "application/json");
        ASSERT_TRUE(res);
        ASSERT_EQ(res->status, 200);
        const std::string expected = "id: " + Parse(res->body)["id"].asString() + "\ndata: " + c.expectedData + "\n\n";
        WaitUntil([&] { return text().find(expected) != std::string::npos; }, 20000);
        EXPECT_NE(text().find(expected), std::string::npos) << text();
    }
    bStop = true;
    reader.join();
}

TEST_F(ServiceDemoTest, ReconnectingStreamGetsTheEventsItMissed)
{
    auto client = Client();
    const Json::Value first = Parse(client.Post("/demo/push", R"({"method":"FE_A","arg":"1"})", "application/json")->body);
    client.Post("/demo/push", R"({"method":"FE_B","arg":"2"})", "application/json");
    std::string stream;
    httplib::Client reader = m_service.Client();
    httplib::Headers headers{{"Last-Event-ID", first["id"].asString()}};
    reader.Get("/demo/events?page=late", headers, [&](const char* data, size_t n) {
        stream.append(data, n);
        return stream.find("FE_B") == std::string::npos;
    });
    EXPECT_EQ(stream.find("FE_A"), std::string::npos) << stream;
    EXPECT_NE(stream.find(R"("method":"FE_B")"), std::string::npos) << stream;
}

}  // namespace
