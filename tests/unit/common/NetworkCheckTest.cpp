#include "net/NetworkCheck.h"

#include "InProcessService.h"

#include <gtest/gtest.h>
#include <httplib.h>

namespace {

// A local server answering the page address with a given status.
InProcessService::Setup Answering(int status)
{
    InProcessService::Setup setup;
    setup.bPages = false;
    setup.extraRoutes = [status](httplib::Server& server) {
        server.Get("/service", [status](const httplib::Request&, httplib::Response& res) {
            res.status = status;
            res.set_content(std::string(20000, 'x'), "text/html");
        });
    };
    return setup;
}

TEST(NetworkCheckTest, AnyStatusOverTheAddressOwnSchemeCountsAsAnAnswer)
{
    for (int status : {200, 404, 500}) {
        InProcessService server(Answering(status));
        EXPECT_TRUE(CheckNetworkAddress(server.Url("/service?clientType=WI")).Ok()) << status;
    }
}

TEST(NetworkCheckTest, NoServerOrNoAddressFails)
{
    int closedPort = 0;
    {
        InProcessService gone(Answering(200));
        closedPort = gone.Port();
    }
    EXPECT_FALSE(CheckNetworkAddress(L"http://127.0.0.1:" + std::to_wstring(closedPort) + L"/service").Ok());
    EXPECT_FALSE(CheckNetworkAddress(L"not an address").Ok());
    EXPECT_FALSE(CheckNetworkAddress(L"").Ok());
}

}  // namespace
