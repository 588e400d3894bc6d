#pragma once
#include "ServiceOptions.h"

#include <httplib.h>

#include <functional>
#include <string>
#include <thread>

// The stand-in service's routes on an ephemeral loopback port, served from a thread of the test
// process. Which routes: pages (main, popups, alerts, demo interface, request recorder) and/or
// the version check and installer download; `extraRoutes` adds a test's own before listening.
class InProcessService
{
public:
    struct Setup
    {
        bool bPages = true;
        bool bUpdates = false;
        ServiceOptions options;  // pagesDir defaults to the source tree's pages
        std::function<void(httplib::Server&)> extraRoutes;
    };

    InProcessService();  // pages only
    explicit InProcessService(Setup setup);
    ~InProcessService();
    InProcessService(const InProcessService&) = delete;
    InProcessService& operator=(const InProcessService&) = delete;

    int Port() const { return m_nPort; }
    std::string Origin() const;                    // "http://127.0.0.1:PORT"
    std::wstring Url(const std::string& path) const;
    httplib::Client Client() const { return httplib::Client("127.0.0.1", m_nPort); }
    httplib::Server& Server() { return m_server; }
    const ServiceOptions& Options() const { return m_options; }

private:
    httplib::Server m_server;
    ServiceOptions m_options;
    std::thread m_thread;
    int m_nPort = 0;
};
