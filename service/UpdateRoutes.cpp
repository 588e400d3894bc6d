// The version-check server and the installer download of the stand-in service.
//
// What they answer is set by command-line options and can be changed while running with
// POST /demo/update (a JSON object with any of the keys below); GET /demo/update shows the
// settings and what the routes have seen.
//
//   option                        key                 default
//   --update-check-result N       checkResult         0 (1 = update required)
//   --update-srv-ver TEXT         srvVer              "001000001"
//   --update-prog-meta TEXT       progMeta            ""
//   --update-url URL              updateUrl           http://<Host>/iCliVer/download/Orva_Update.exe
//   --update-check-mode MODE      checkMode           ok  (ok 404 500 stall drop empty text)
//   --update-check-fail-count N   checkFailCount      -1  (requests the mode applies to, -1 all)
//   --update-installer PATH       installer           installer/Orva_Update.exe of the service
//   --update-download-mode MODE   downloadMode        ok  (ok, any status such as 404 403 500 503
//                                                         416, stall drop norange short extra
//                                                         badrange)
//   --update-integrity MODE       integrity           on  (on off wrong)
//   --update-download-fail-count  downloadFailCount   -1
//   --update-bandwidth BYTES      bandwidth           0   (bytes per second, 0 = unlimited)
//   --update-drop-after BYTES     dropAfter           half of what a request would send
//   --update-stall-ms MS          stallMs             30000
//
// A failure mode applies to the next `FailCount` requests and then returns to "ok"; -1 keeps it.
// "stall" answers nothing for stallMs, "drop" closes the connection mid-answer, "empty" and
// "text" answer 200 with no body or with a body that is not JSON, "norange" sends the whole
// file with 200 whatever the Range line asks. The download's misbehaviours: a status mode
// answers that status with an error page; "short" sends half the file with 200 and no length,
// then closes; "extra" sends the file and an error page behind it, without a length;
// "badrange" answers a resumed request with 206 from byte 0.
//
// The version answer names the installer's size and SHA-256 ("updateSize", "updateSha256")
// when the download address is the service's own: "off" leaves them out, "wrong" sends a
// digest that matches nothing.
//
// Like the real server, an update is never required of a client that already has srvVer: after
// the demo installer has recorded the new version, the restarted launcher finds no update.
#include "ServiceOptions.h"

#include <httplib.h>
#include <json/json.h>
#include <openssl/evp.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>

namespace {
const char* const kCheckPath = "/iCliVer/version/checkVersion.jsp";
const char* const kDownloadPath = "/iCliVer/download/Orva_Update.exe";

struct UpdateSettings
{
    int checkResult = 0;
    std::string srvVer = "001000001";
    std::string progMeta;
    std::string updateUrl;
    std::string checkMode = "ok";
    int checkFailCount = -1;
    std::string installer;
    std::string downloadMode = "ok";
    int downloadFailCount = -1;
    long long bandwidth = 0;
    long long dropAfter = -1;
    int stallMs = 30000;
    std::string integrity = "on";
};

// The installer as served, read once per change of the file, with its digest.
struct InstallerCopy
{
    std::string path;
    long long mtime = -1;
    long long size = -1;
    std::shared_ptr<const std::string> bytes;
    std::string sha256;
};

struct UpdateState
{
    std::mutex mutex;
    UpdateSettings settings;
    // What the routes have seen, for demos and tests.
    int checks = 0;
    int downloads = 0;
    std::string lastCheckBody;
    std::string lastCheckContentType;
    std::string lastRange;
    std::string lastQuery;
    InstallerCopy installer;
};

int ToInt(const std::string& text, int fallback)
{
    return text.empty() ? fallback : std::atoi(text.c_str());
}

void ApplyJson(UpdateSettings& s, const Json::Value& v)
{
    const auto text = [&v](const char* key, std::string& out) {
        if (v.isMember(key) && v[key].isString()) {
            out = v[key].asString();
        }
    };
    const auto number = [&v](const char* key, auto& out) {
        if (v.isMember(key) && v[key].isIntegral()) {
            out = static_cast<std::remove_reference_t<decltype(out)>>(v[key].asInt64());
        }
    };
    number("checkResult", s.checkResult);
    text("srvVer", s.srvVer);
    text("progMeta", s.progMeta);
    text("updateUrl", s.updateUrl);
    text("checkMode", s.checkMode);
    number("checkFailCount", s.checkFailCount);
    text("installer", s.installer);
    text("downloadMode", s.downloadMode);
    number("downloadFailCount", s.downloadFailCount);
    number("bandwidth", s.bandwidth);
    number("dropAfter", s.dropAfter);
    number("stallMs", s.stallMs);
    text("integrity", s.integrity);
}

Json::Value ToJson(const UpdateState& state)
{
    const UpdateSettings& s = state.settings;
    Json::Value v;
    v["checkResult"] = s.checkResult;
    v["srvVer"] = s.srvVer;
    v["progMeta"] = s.progMeta;
    v["updateUrl"] = s.updateUrl;
    v["checkMode"] = s.checkMode;
    v["checkFailCount"] = s.checkFailCount;
    v["installer"] = s.installer;
    v["downloadMode"] = s.downloadMode;
    v["downloadFailCount"] = s.downloadFailCount;
    v["bandwidth"] = static_cast<Json::Int64>(s.bandwidth);
    v["dropAfter"] = static_cast<Json::Int64>(s.dropAfter);
    v["stallMs"] = s.stallMs;
    v["integrity"] = s.integrity;
    v["checks"] = state.checks;
    v["downloads"] = state.downloads;
    v["lastCheckBody"] = state.lastCheckBody;
    v["lastCheckContentType"] = state.lastCheckContentType;
    v["lastRange"] = state.lastRange;
    v["lastQuery"] = state.lastQuery;
    return v;
}

// The mode for this request; a counted failure mode wears off.
std::string TakeMode(std::string& mode, int& failCount)
{
    const std::string current = mode;
    if (current != "ok" && failCount > 0 && --failCount == 0) {
        mode = "ok";
    }
    return current;
}

// Waits up to `ms`, but not past the server's stop.
void StallWhileRunning(const httplib::Server& server, int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (server.is_running() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string ReadFile(const std::string& path, bool& ok)
{
    std::ifstream in(path, std::ios::binary);
    ok = static_cast<bool>(in);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Sha256Hex(const std::string& bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
        return {};
    }
    static const char* const kHex = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

// The installer at `path`, from the copy while the file is unchanged. Call with the state
// locked. Null when it cannot be read.
std::shared_ptr<const std::string> Installer(UpdateState& state, const std::string& path)
{
    struct stat info{};
    if (::stat(path.c_str(), &info) != 0) {
        return nullptr;
    }
    InstallerCopy& copy = state.installer;
    if (!copy.bytes || copy.path != path || copy.mtime != static_cast<long long>(info.st_mtime) ||
        copy.size != static_cast<long long>(info.st_size)) {
        bool ok = false;
        auto bytes = std::make_shared<const std::string>(ReadFile(path, ok));
        if (!ok) {
            return nullptr;
        }
        copy = {path, static_cast<long long>(info.st_mtime), static_cast<long long>(info.st_size), bytes,
                Sha256Hex(*bytes)};
    }
    return copy.bytes;
}

// Requests are hostile too: a bounded reader, and nothing it throws leaves the handler.
bool ParseJson(const std::string& text, Json::Value& out)
{
    Json::CharReaderBuilder builder;
    builder["stackLimit"] = 32;
    try {
        const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        std::string errors;
        return reader->parse(text.data(), text.data() + text.size(), &out, &errors);
    } catch (const std::exception&) {
        return false;
    }
}

bool IsStatusMode(const std::string& mode)
{
    return mode.size() == 3 && std::all_of(mode.begin(), mode.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void AnswerCheck(const httplib::Server& server, UpdateState& state, const httplib::Request& req,
                 httplib::Response& res)
{
    std::string mode;
    UpdateSettings s;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        ++state.checks;
        state.lastCheckBody = req.body;
        state.lastCheckContentType = req.get_header_value("Content-Type");
        mode = TakeMode(state.settings.checkMode, state.settings.checkFailCount);
        s = state.settings;
    }
    if (IsStatusMode(mode)) {
        res.status = std::atoi(mode.c_str());
        res.set_content("<html><body>error " + mode + "</body></html>", "text/html");
        return;
    }
    if (mode == "stall") {
        StallWhileRunning(server, s.stallMs);
        res.set_content("", "application/json");
        return;
    }
    if (mode == "empty") {
        res.set_content("", "application/json");
        return;
    }
    if (mode == "text") {
        res.set_content("<html><body>maintenance</body></html>", "text/html");
        return;
    }

    Json::Value request;
    const bool upToDate = ParseJson(req.body, request) && request.isObject() &&
                          request.get("cliVer", "").isString() && request.get("cliVer", "").asString() == s.srvVer;
    Json::Value answer;
    answer["checkResult"] = (s.checkResult == 1 && upToDate) ? 0 : s.checkResult;
    answer["srvVer"] = s.srvVer;
    answer["updateReq_url"] =
        s.updateUrl.empty() ? "http://" + req.get_header_value("Host") + kDownloadPath : s.updateUrl;
    answer["progMeta"] = s.progMeta;
    if (s.updateUrl.empty() && s.integrity != "off") {
        std::lock_guard<std::mutex> lock(state.mutex);
        if (const auto installer = Installer(state, s.installer)) {
            answer["updateSize"] = static_cast<Json::Int64>(installer->size());
            answer["updateSha256"] = s.integrity == "wrong" ? std::string(64, '0') : state.installer.sha256;
        }
    }
    const std::string body = Json::StyledWriter().write(answer);
    if (mode == "drop") {
        // Announce the whole answer, send half of it, then close.
        const size_t half = body.size() / 2;
        res.set_content_provider(body.size(), "application/json",
                                 [body, half](size_t offset, size_t, httplib::DataSink& sink) {
                                     if (offset < half) {
                                         sink.write(body.data() + offset, half - offset);
                                     }
                                     return false;
                                 });
        return;
    }
    res.set_content(body, "application/json");
}

void AnswerDownload(const httplib::Server& server, UpdateState& state, const httplib::Request& req,
                    httplib::Response& res)
{
    std::string mode;
    UpdateSettings s;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        ++state.downloads;
        state.lastRange = req.get_header_value("Range");
        state.lastQuery.clear();
        for (const auto& [key, value] : req.params) {
            state.lastQuery += (state.lastQuery.empty() ? "" : "&") + key + "=" + value;
        }
        mode = TakeMode(state.settings.downloadMode, state.settings.downloadFailCount);
        s = state.settings;
    }
    if (IsStatusMode(mode)) {
        res.status = std::atoi(mode.c_str());
        res.set_content("<html><body>error " + mode + "</body></html>", "text/html");
        return;
    }
    std::shared_ptr<const std::string> file;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        file = Installer(state, s.installer);
    }
    if (!file) {
        res.status = 404;
        res.set_content("no installer at " + s.installer, "text/plain");
        return;
    }
    if (mode == "short" || mode == "extra") {
        // No length: the client can only tell by the size the answer named.
        auto body = std::make_shared<std::string>(mode == "short" ? file->substr(0, file->size() / 2)
                                                                  : *file + "<html><body>error</body></html>");
        res.status = 200;
        res.set_chunked_content_provider("application/octet-stream",
                                         [body](size_t offset, httplib::DataSink& sink) {
                                             if (offset < body->size()) {
                                                 sink.write(body->data() + offset, body->size() - offset);
                                             }
                                             sink.done();
                                             return true;
                                         });
        return;
    }
    if (mode == "badrange" && !req.ranges.empty()) {
        res.status = 206;
        res.set_header("Content-Range", "bytes 0-" + std::to_string(file->size() - 1) + "/" +
                                            std::to_string(file->size()));
        res.set_content(*file, "application/octet-stream");
        return;
    }

    // Sends from `offset` on, at most `limit` bytes in all when limit >= 0, paced by the
    // bandwidth; false ends (drops) the connection.
    const long long bandwidth = s.bandwidth;
    const auto send = [&server, file, bandwidth](size_t offset, size_t length, httplib::DataSink& sink,
                                                 long long limit) {
        size_t chunk = std::min<size_t>(length, 64 * 1024);
        if (bandwidth > 0) {
            chunk = std::min<size_t>(chunk, static_cast<size_t>(std::max<long long>(bandwidth / 10, 1)));
        }
        if (limit >= 0 && offset + chunk > static_cast<size_t>(limit)) {
            if (offset < static_cast<size_t>(limit)) {
                sink.write(file->data() + offset, static_cast<size_t>(limit) - offset);
            }
            return false;
        }
        if (!sink.write(file->data() + offset, chunk)) {
            return false;
        }
        if (bandwidth > 0) {
            std::this_thread::sleep_for(
                std::chrono::milliseconds(static_cast<long long>(chunk) * 1000 / bandwidth));
        }
        return server.is_running();
    };

    if (mode == "norange") {
        // The whole file with 200: without a length the server leaves the Range line alone.
        res.status = 200;
        res.set_chunked_content_provider("application/octet-stream",
                                         [file, send](size_t offset, httplib::DataSink& sink) {
                                             if (offset >= file->size()) {
                                                 sink.done();
                                                 return true;
                                             }
                                             return send(offset, file->size() - offset, sink, -1);
                                         });
        return;
    }
    if (mode == "stall") {
        const int stallMs = s.stallMs;
        res.set_content_provider(file->size(), "application/octet-stream",
                                 [&server, stallMs](size_t, size_t, httplib::DataSink&) {
                                     StallWhileRunning(server, stallMs);
                                     return false;
                                 });
        return;
    }
    // Range lines are honoured by the server library itself: it answers 206 with the bytes
    // from the offset on, and calls the provider with absolute offsets.
    long long limit = -1;
    if (mode == "drop") {
        const long long start = req.ranges.empty() ? 0 : std::max<long long>(req.ranges[0].first, 0);
        const long long remaining = static_cast<long long>(file->size()) - start;
        limit = start + (s.dropAfter >= 0 ? std::min(s.dropAfter, remaining) : remaining / 2);
    }
    res.set_content_provider(file->size(), "application/octet-stream",
                             [send, limit](size_t offset, size_t length, httplib::DataSink& sink) {
                                 return send(offset, length, sink, limit);
                             });
}
}  // namespace

void RegisterUpdateRoutes(httplib::Server& server, const ServiceOptions& options)
{
    auto state = std::make_shared<UpdateState>();
    UpdateSettings& s = state->settings;
    s.checkResult = ToInt(options.Value("--update-check-result"), s.checkResult);
    s.srvVer = options.Value("--update-srv-ver", s.srvVer);
    s.progMeta = options.Value("--update-prog-meta", s.progMeta);
    s.updateUrl = options.Value("--update-url", s.updateUrl);
    s.checkMode = options.Value("--update-check-mode", s.checkMode);
    s.checkFailCount = ToInt(options.Value("--update-check-fail-count"), s.checkFailCount);
    s.installer = options.Value("--update-installer", options.pagesDir + "/../installer/Orva_Update.exe");
    s.downloadMode = options.Value("--update-download-mode", s.downloadMode);
    s.downloadFailCount = ToInt(options.Value("--update-download-fail-count"), s.downloadFailCount);
    s.bandwidth = std::atoll(options.Value("--update-bandwidth", "0").c_str());
    s.dropAfter = std::atoll(options.Value("--update-drop-after", "-1").c_str());
    s.stallMs = ToInt(options.Value("--update-stall-ms"), s.stallMs);
    s.integrity = options.Value("--update-integrity", s.integrity);

    server.Post(kCheckPath, [&server, state](const httplib::Request& req, httplib::Response& res) {
        AnswerCheck(server, *state, req, res);
    });
    server.Get(kDownloadPath, [&server, state](const httplib::Request& req, httplib::Response& res) {
        AnswerDownload(server, *state, req, res);
    });
    server.Get("/demo/update", [state](const httplib::Request&, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(state->mutex);
        res.set_content(Json::StyledWriter().write(ToJson(*state)), "application/json");
    });
    server.Post("/demo/update", [state](const httplib::Request& req, httplib::Response& res) {
        Json::Value v;
        if (!ParseJson(req.body, v) || !v.isObject()) {
            res.status = 400;
            res.set_content("a JSON object, please", "text/plain");
            return;
        }
        std::lock_guard<std::mutex> lock(state->mutex);
        ApplyJson(state->settings, v);
        if (v.get("resetCounters", false).asBool()) {
            state->checks = 0;
            state->downloads = 0;
        }
        res.set_content(Json::StyledWriter().write(ToJson(*state)), "application/json");
    });
}
