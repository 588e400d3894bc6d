#include "OrvantaMainDlg.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <thread>

namespace {

// A local server answering the page address with a given status.
class AnsweringServer
{
public:
    explicit AnsweringServer(int status)
    {
        m_server.Get("/service", [status](const httplib::Request&, httplib::Response& res) {
            res.status = status;
            res.set_content(std::string(20000, 'x'), "text/html");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running()) {
            std::this_thread::yield();
        }
    }
    ~AnsweringServer()
    {
        m_server.stop();
        m_thread.join();
    }
    std::wstring Url() const
    {
        return L"http://127.0.0.1:" + std::to_wstring(m_port) + L"/service?clientType=WI";
    }

private:
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
};

TEST(NetworkCheckTest, AnyStatusOverTheAddressOwnSchemeCountsAsAnAnswer)
{
    for (int status : {200, 404, 500}) {
        AnsweringServer server(status);
        EXPECT_TRUE(COrvantaMainDlg::CheckNetwork(server.Url())) << status;
    }
}

TEST(NetworkCheckTest, NoServerOrNoAddressFails)
{
    int closedPort = 0;
    {
        AnsweringServer gone(200);
        closedPort = std::stoi(gone.Url().substr(17));
    }
    EXPECT_FALSE(COrvantaMainDlg::CheckNetwork(L"http://127.0.0.1:" + std::to_wstring(closedPort) + L"/service"));
    EXPECT_FALSE(COrvantaMainDlg::CheckNetwork(L"not an address"));
    EXPECT_FALSE(COrvantaMainDlg::CheckNetwork(L""));
}

}  // namespace
