#include "PushHub.h"
#include "RequestRecorder.h"
#include "ServiceOptions.h"

#include <httplib.h>
#include <json/json.h>

#include <chrono>
#include <ctime>
#include <deque>
#include <fstream>
#include <memory>
#include <mutex>
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

// Benchmark marks: what a page reported and when the service received it, on CLOCK_MONOTONIC so
// that a bench started on the same machine can compare it with its own clock.
struct BenchMark
{
    std::string what;
    long long llMonoNs = 0;
};

std::mutex g_marksLock;
std::deque<BenchMark> g_marks;
constexpr size_t kKeepMarks = 1000;

long long MonotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

void HandleBenchMark(const httplib::Request& req, httplib::Response& res)
{
    const long long llNow = MonotonicNs();
    std::string what = req.has_param("what") ? req.get_param_value("what") : std::string();
    if (what.size() > 64) {
        what.resize(64);
    }
    for (char& c : what) {
        const bool bPlain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                            c == '-' || c == '_' || c == '.';
        c = bPlain ? c : '_';
    }
    {
        std::lock_guard<std::mutex> lock(g_marksLock);
        g_marks.push_back(BenchMark{what, llNow});
        while (g_marks.size() > kKeepMarks) {
            g_marks.pop_front();
        }
    }
    res.set_header("Cache-Control", "no-store");
    res.status = 204;
}

void HandleBenchMarks(const httplib::Request&, httplib::Response& res)
{
    Json::Value list(Json::arrayValue);
    {
        std::lock_guard<std::mutex> lock(g_marksLock);
        for (const BenchMark& mark : g_marks) {
            Json::Value item;
            item["what"] = mark.what;
            item["monoNs"] = Json::Int64(mark.llMonoNs);
            list.append(item);
        }
    }
    res.set_header("Cache-Control", "no-store");
    JsonReply(res, 200, list);
}

// The main page with a first script that reports at once that scripts run.
std::string WithBenchMark(std::string page)
{
    const std::string head = "<head>";
    const size_t at = page.find(head);
    if (at != std::string::npos) {
        page.insert(at + head.size(),
                    "\n<script>(new Image()).src = '/bench/mark?what=main-script&r=' + Math.random();</script>");
    }
    return page;
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
    const bool bBenchMarks = options.Value("--bench-marks", "off") == "on";
    server.Get("/service", [options, bBenchMarks](const httplib::Request&, httplib::Response& res) {
        std::string page = ReadFile(options.pagesDir + "/index.html");
        if (bBenchMarks) {
            page = WithBenchMark(std::move(page));
        }
        res.set_header("Cache-Control", "no-store");
        res.set_content(page, "text/html; charset=utf-8");
    });
    if (bBenchMarks) {
        server.Get("/bench/mark", HandleBenchMark);
        server.Get("/bench/marks", HandleBenchMarks);
    }
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
