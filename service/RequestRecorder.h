#pragma once
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <string>

namespace httplib {
class Server;
struct Request;
}  // namespace httplib

// The last requests the service received, so a test can see what the client sent.
class RequestRecorder
{
public:
    struct Entry
    {
        std::string method;
        std::string path;
        std::string target;  // path with the query
        std::multimap<std::string, std::string> headers;
        std::string body;
    };

    explicit RequestRecorder(size_t nKeep = 200) : m_nKeep(nKeep) {}

    void Record(const httplib::Request& req);
    // JSON array, oldest first; only paths starting with `pathPrefix` when it is not empty.
    std::string ToJson(const std::string& pathPrefix = {}) const;
    void Clear();

private:
    size_t m_nKeep;
    mutable std::mutex m_cs;
    std::deque<Entry> m_entries;
};

// The service's one recorder.
RequestRecorder& ServiceRequests();
// Records every request the server answers, before its answer goes out (so a client that has
// its answer finds the request listed). The demo routes themselves are not recorded.
void InstallRequestRecorder(httplib::Server& server);
