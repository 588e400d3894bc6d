#include "BuildConfig.h"
#include "RequestRecorder.h"
#include "ServiceOptions.h"

#include <httplib.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
httplib::Server* g_server = nullptr;

void StopOnSignal(int)
{
    if (g_server != nullptr) {
        g_server->stop();
    }
}

// The port of the build's default service address, so the programs' defaults find us.
int DefaultPort()
{
    const std::string url = ORVANTA_DEFAULT_SERVER_URL_A;
    const size_t colon = url.rfind(':');
    if (colon != std::string::npos && colon > url.find("://")) {
        return std::atoi(url.c_str() + colon + 1);
    }
    return 8470;
}
}  // namespace

int main(int argc, char* argv[])
{
    ServiceOptions options;
    options.args.assign(argv + 1, argv + argc);
    std::string message;
    switch (CheckServiceArguments(options.args, &message)) {
    case ServiceCommand::Help:
        std::fputs(ServiceUsage(std::to_string(DefaultPort())).c_str(), stdout);
        return 0;
    case ServiceCommand::Error:
        std::fprintf(stderr, "orvanta_service: %s\nTry 'orvanta_service --help'.\n", message.c_str());
        return 2;
    case ServiceCommand::Run:
        break;
    }
    options.port = std::atoi(options.Value("--port", std::to_string(DefaultPort())).c_str());
    options.pagesDir = options.Value("--pages", SERVICE_PAGES_DIR);

    httplib::Server server;
    g_server = &server;
    server.set_logger([](const httplib::Request& req, const httplib::Response& res) {
        // Open pages reconnect their event stream every few seconds; that is no news.
        if (req.path == "/demo/events") {
            return;
        }
        std::fprintf(stderr, "%s %s -> %d\n", req.method.c_str(), req.path.c_str(), res.status);
    });
    InstallRequestRecorder(server);
    RegisterUpdateRoutes(server, options);
    RegisterPageRoutes(server, options);

    std::signal(SIGTERM, StopOnSignal);
    std::signal(SIGINT, StopOnSignal);
    std::fprintf(stderr, "stand-in service on http://127.0.0.1:%d (pages from %s)\n", options.port,
                 options.pagesDir.c_str());
    if (!server.listen("127.0.0.1", options.port)) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1:%d\n", options.port);
        return 1;
    }
    return 0;
}
