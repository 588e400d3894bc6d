#include "PushHub.h"
#include "RequestRecorder.h"
#include "ServiceOptions.h"

#include <httplib.h>
#include <json/json.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

// A page stream ends after this long and the page's EventSource opens the next one at once;
// so no request outlives a stop of the server by more than this.
constexpr auto kStreamLife = std::chrono::seconds(3);
constexpr auto kStreamPoll = std::chrono::milliseconds(250);

PushHub& Hub()
{
    static PushHub s_hub;
    return s_hub;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string CompactJson(const Json::Value& value)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, value);
}

bool ParseJson(const std::string& text, Json::Value& value)
{
    Json::CharReaderBuilder builder;
    std::string errors;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    return reader->parse(text.data(), text.data() + text.size(), &value, &errors);
}

// The posted body goes into the page as a script string; "<" is escaped so that no text of the
// body can close the script block.
std::string PostedScript(const std::string& body)
{
    std::string literal = CompactJson(Json::Value(body));
    std::string escaped;
    escaped.reserve(literal.size());
    for (char c : literal) {
        if (c == '<') {
            escaped += "\\u003c";
        } else {
            escaped += c;
        }
    }
    return "<script>window.ORVANTA_POSTED = " + escaped + ";</script>";
}

void ServePopup(const ServiceOptions& options, const std::string& file, const httplib::Request& req,
                httplib::Response& res)
{
    std::string page = ReadFile(options.pagesDir + "/" + file);
    if (page.empty()) {
        res.status = 404;
        return;
    }
    const std::string marker = "<!--POSTED-->";
    const size_t at = page.find(marker);
    if (at != std::string::npos) {
        page.replace(at, marker.size(), PostedScript(req.body));
    }
    res.set_header("Cache-Control", "no-store");
    res.set_content(page, "text/html; charset=utf-8");
}

void JsonReply(httplib::Response& res, int status, const Json::Value& value)
{
    res.status = status;
    res.set_content(CompactJson(value), "application/json; charset=utf-8");
}

// POST /demo/push {"method": NAME, "arg": VALUE}
void HandlePush(const httplib::Request& req, httplib::Response& res)
{
    Json::Value request;
    if (!ParseJson(req.body, request) || !request.isObject() || !request["method"].isString() ||
        request["method"].asString().empty()) {
        Json::Value error;
        error["error"] = "expected {\"method\": NAME, \"arg\": VALUE}";
        JsonReply(res, 400, error);
        return;
    }
    Json::Value event;
    event["method"] = request["method"];
    const Json::Value& arg = request["arg"];
    if (arg.isNull()) {
        event["arg"] = Json::Value();
    } else if (arg.isString()) {
        event["arg"] = arg;
    } else {
        event["arg"] = CompactJson(arg);
    }
    Json::Value reply;
    reply["id"] = Json::UInt64(Hub().Publish(CompactJson(event)));
    reply["subscribers"] = Json::UInt64(Hub().Subscribers());
    JsonReply(res, 200, reply);
}

// GET /demo/events?page=ID: a server-sent event stream of the pushed events.
void HandleEvents(const httplib::Request& req, httplib::Response& res)
{
    uint64_t nAfter = Hub().LastId();
    if (req.has_header("Last-Event-ID")) {
        try {
            nAfter = std::min<uint64_t>(std::stoull(req.get_header_value("Last-Event-ID")), nAfter);
        } catch (const std::exception&) {
        }
    }
    const std::string page = req.has_param("page") ? req.get_param_value("page") : req.remote_addr;
    Hub().Seen(page, true);
    const auto deadline = std::chrono::steady_clock::now() + kStreamLife;
    auto state = std::make_shared<uint64_t>(nAfter);
    res.set_header("Cache-Control", "no-store");
    res.set_chunked_content_provider(
        "text/event-stream",
        [state, deadline, first = true](size_t, httplib::DataSink& sink) mutable {
            if (first) {
                first = false;
                const std::string hello = "retry: 200\n\n";
                if (!sink.write(hello.data(), hello.size())) {
                    return false;
                }
            }
            for (const PushHub::Event& event : Hub().WaitAfter(*state, kStreamPoll)) {
                const std::string text =
                    "id: " + std::to_string(event.nId) + "\ndata: " + event.data + "\n\n";
                if (!sink.write(text.data(), text.size())) {
                    return false;
                }
                *state = event.nId;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                sink.done();
            }
            return true;
        },
        [page](bool) { Hub().Seen(page, false); });
}

}  // namespace

void RegisterPageRoutes(httplib::Server& server, const ServiceOptions& options)
{
    // Every open page holds a stream and each browser keeps a few idle connections.
    server.new_task_queue = [] { return new httplib::ThreadPool(32); };
    server.set_mount_point("/", options.pagesDir);

    // The main page, under the address the client builds when it has a port.
    server.Get("/service", [options](const httplib::Request&, httplib::Response& res) {
        res.set_header("Cache-Control", "no-store");
        res.set_content(ReadFile(options.pagesDir + "/index.html"), "text/html; charset=utf-8");
    });
    // The main page reporting its readiness with a text of the wrong shape ("array": a JSON
    // array, "broken": text that does not parse), for the client's start-up under such a page.
    server.Get(R"(/wrong-ready/(array|broken)/?)", [options](const httplib::Request& req, httplib::Response& res) {
        const std::string arg = req.matches[1] == "array" ? "'[]'" : "'{\"border\":'";
        std::string page = ReadFile(options.pagesDir + "/index.html");
        const std::string marker = "<script src=\"/js/main.js\"></script>";
        const size_t at = page.find(marker);
        if (at != std::string::npos) {
            page.insert(at, "<script>window.demoReadyArg = " + arg + ";</script>\n");
        }
        res.set_header("Cache-Control", "no-store");
        res.set_content(page, "text/html; charset=utf-8");
    });
    for (const auto& [path, file] : {std::pair{"/cid", "cid.html"}, std::pair{"/sch", "sch.html"}}) {
        const std::string page = file;
        auto serve = [options, page](const httplib::Request& req, httplib::Response& res) {
            ServePopup(options, page, req, res);
        };
        server.Post(path, serve);
        server.Get(path, serve);
    }

    server.Post("/demo/push", HandlePush);
    server.Get("/demo/events", HandleEvents);
    server.Get("/demo/requests", [](const httplib::Request& req, httplib::Response& res) {
        const std::string prefix = req.has_param("path") ? req.get_param_value("path") : std::string();
        res.set_header("Cache-Control", "no-store");
        res.set_content(ServiceRequests().ToJson(prefix), "application/json; charset=utf-8");
    });
    server.Delete("/demo/requests", [](const httplib::Request&, httplib::Response& res) {
        ServiceRequests().Clear();
        res.status = 204;
    });
}
