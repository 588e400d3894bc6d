#include "ServiceOptions.h"

#include <algorithm>

std::string ServiceOptions::Value(const std::string& name, const std::string& fallback) const
{
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == name) {
            return args[i + 1];
        }
    }
    return fallback;
}

bool ServiceOptions::Flag(const std::string& name) const
{
    for (const auto& arg : args) {
        if (arg == name) {
            return true;
        }
    }
    return false;
}

const std::vector<ServiceOptionInfo>& KnownServiceOptions()
{
    static const std::vector<ServiceOptionInfo> options = {
        {"--port", "N", "port on 127.0.0.1 (default: the build's service port)"},
        {"--pages", "DIR", "the pages to serve (default: the source tree's)"},
        {"--update-check-result", "N", "version answer's checkResult; 1 asks for an update until "
                                       "the client has --update-srv-ver (default 0)"},
        {"--update-srv-ver", "VERSION", "version answer's srvVer (default 001000001)"},
        {"--update-prog-meta", "TEXT", "version answer's progMeta (default empty)"},
        {"--update-url", "URL", "version answer's updateReq_url (default: our download)"},
        {"--update-check-mode", "MODE", "ok, 404, 500, stall, empty, text or drop (default ok)"},
        {"--update-check-fail-count", "N", "answers in that mode before ok again (default: all)"},
        {"--update-installer", "FILE", "file the download serves (default: the demo installer)"},
        {"--update-download-mode", "MODE", "ok, a status (404, 403, 416, 500, 503, ...), norange, short, "
                                           "extra, badrange, stall or drop (default ok)"},
        {"--update-integrity", "MODE", "on: the answer names the installer's size and SHA-256; off; "
                                       "wrong: a digest that matches nothing (default on)"},
        {"--update-download-fail-count", "N", "downloads in that mode before ok again (default: all)"},
        {"--update-bandwidth", "BYTES", "download pace per second, 0: unlimited (default 0)"},
        {"--update-drop-after", "BYTES", "drop mode: bytes sent before closing (default: half)"},
        {"--update-stall-ms", "MS", "stall mode: how long to hold the answer (default 30000)"},
        {"--bench-marks", "on|off", "on: the main page's first script reports to /bench/mark and "
                                    "GET /bench/marks lists the receive times (default off)"},
    };
    return options;
}

ServiceCommand CheckServiceArguments(const std::vector<std::string>& args, std::string* pMessage)
{
    for (const auto& arg : args) {
        if (arg == "--help" || arg == "-h") {
            return ServiceCommand::Help;
        }
    }
    const auto& known = KnownServiceOptions();
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        bool found = false;
        for (const auto& option : known) {
            found = found || arg == option.name;
        }
        if (!found) {
            if (pMessage != nullptr) {
                *pMessage = "unknown option: " + arg;
            }
            return ServiceCommand::Error;
        }
        if (i + 1 >= args.size()) {
            if (pMessage != nullptr) {
                *pMessage = "option " + arg + " needs a value";
            }
            return ServiceCommand::Error;
        }
        ++i;  // its value, whatever it looks like
    }
    return ServiceCommand::Run;
}

std::string ServiceUsage(const std::string& defaultPort)
{
    std::string text =
        "Usage: orvanta_service [OPTION VALUE]...\n"
        "The stand-in for the hosted service, for development and tests: the main page, the\n"
        "popup and alert pages, the demo interface (/demo/push, /demo/requests, /demo/update),\n"
        "the version check and the installer download. Listens on 127.0.0.1:" +
        defaultPort + "\nunless --port says otherwise. Unknown options are refused.\n\nOptions:\n";
    for (const auto& option : KnownServiceOptions()) {
        std::string head = std::string("  ") + option.name + " " + option.value;
        head.resize(std::max<size_t>(head.size() + 1, 35), ' ');
        text += head + option.help + "\n";
    }
    text += std::string("  -h, --help").append(23, ' ') + "print this text and end\n";
    return text;
}
