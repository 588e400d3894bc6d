#pragma once
#include <string>
#include <vector>

namespace httplib {
class Server;
}

// What the command line gave the stand-in service; each route module reads its own options.
struct ServiceOptions
{
    int port = 8470;
    std::string pagesDir;
    std::vector<std::string> args;  // every argument, for the modules' own options

    // The value after `name` ("--name value"), or `fallback`.
    std::string Value(const std::string& name, const std::string& fallback = {}) const;
    bool Flag(const std::string& name) const;
};

// The pages (main, popups, alerts) and the demo event interface.
void RegisterPageRoutes(httplib::Server& server, const ServiceOptions& options);
// The version check and the installer download.
void RegisterUpdateRoutes(httplib::Server& server, const ServiceOptions& options);
