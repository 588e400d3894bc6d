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

// One option the service or a route module reads; every one takes a value.
struct ServiceOptionInfo
{
    const char* name;   // "--port"
    const char* value;  // what the value is, for the usage text
    const char* help;
};

// Every option, in the order the usage text lists them. A module that reads a new option adds
// it here, or the command line refuses it.
const std::vector<ServiceOptionInfo>& KnownServiceOptions();

enum class ServiceCommand
{
    Run,    // serve
    Help,   // print the usage text, exit 0
    Error,  // print the message and the usage hint, exit 2
};

// Judges the arguments before anything starts: "--help" (or "-h") anywhere asks for help; an
// option not in the list, or one without its value, is an error described in *pMessage.
ServiceCommand CheckServiceArguments(const std::vector<std::string>& args, std::string* pMessage);

// The usage text with every option.
std::string ServiceUsage(const std::string& defaultPort);

// The pages (main, popups, alerts) and the demo event interface.
void RegisterPageRoutes(httplib::Server& server, const ServiceOptions& options);
// The version check and the installer download.
void RegisterUpdateRoutes(httplib::Server& server, const ServiceOptions& options);
