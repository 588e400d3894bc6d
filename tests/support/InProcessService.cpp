#include "InProcessService.h"

#include "RequestRecorder.h"
#include "text/TextConv.h"
#include "WaitUntil.h"

InProcessService::InProcessService() : InProcessService(Setup{}) {}

InProcessService::InProcessService(Setup setup) : m_options(std::move(setup.options))
{
    if (m_options.pagesDir.empty()) {
        m_options.pagesDir = SERVICE_PAGES_DIR;
    }
    if (setup.bPages) {
        InstallRequestRecorder(m_server);
    }
    if (setup.extraRoutes) {
        setup.extraRoutes(m_server);
    }
    if (setup.bUpdates) {
        RegisterUpdateRoutes(m_server, m_options);
    }
    if (setup.bPages) {
        RegisterPageRoutes(m_server, m_options);
    }
    m_nPort = m_server.bind_to_any_port("127.0.0.1");
    m_options.port = m_nPort;
    if (m_nPort > 0) {
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        // The port accepts connections once bound; wait until requests are also served.
        WaitUntil([this] { return m_server.is_running(); }, 10000, 2);
    }
}

InProcessService::~InProcessService()
{
    m_server.stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

std::string InProcessService::Origin() const
{
    return "http://127.0.0.1:" + std::to_string(m_nPort);
}

std::wstring InProcessService::Url(const std::string& path) const
{
    return Utf8ToWide(Origin() + path);
}
