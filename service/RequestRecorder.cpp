#include "RequestRecorder.h"

#include <httplib.h>
#include <json/json.h>


void RequestRecorder::Record(const httplib::Request& req)
{
    Entry entry;
    entry.method = req.method;
    entry.path = req.path;
    entry.target = req.target;
    entry.headers.insert(req.headers.begin(), req.headers.end());
    entry.body = req.body;
    std::lock_guard<std::mutex> lock(m_cs);
    m_entries.push_back(std::move(entry));
    while (m_entries.size() > m_nKeep) {
        m_entries.pop_front();
    }
}

std::string RequestRecorder::ToJson(const std::string& pathPrefix) const
{
    Json::Value list(Json::arrayValue);
    {
        std::lock_guard<std::mutex> lock(m_cs);
        for (const Entry& entry : m_entries) {
            if (!pathPrefix.empty() && entry.path.compare(0, pathPrefix.size(), pathPrefix) != 0) {
                continue;
            }
            Json::Value item(Json::objectValue);
            item["method"] = entry.method;
            item["path"] = entry.path;
            item["target"] = entry.target;
            Json::Value headers(Json::objectValue);
            for (const auto& [name, value] : entry.headers) {
                // The server's own notes about the connection are no request headers.
                if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
                    name == "LOCAL_PORT") {
                    continue;
                }
                // Repeated headers read as one, the way HTTP folds them.
                if (headers.isMember(name)) {
                    headers[name] = headers[name].asString() + ", " + value;
                } else {
                    headers[name] = value;
                }
            }
            item["headers"] = headers;
            item["body"] = entry.body;
            list.append(item);
        }
    }
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "  ";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, list);
}

void RequestRecorder::Clear()
{
    std::lock_guard<std::mutex> lock(m_cs);
    m_entries.clear();
}

RequestRecorder& ServiceRequests()
{
    static RequestRecorder s_recorder;
    return s_recorder;
}

void InstallRequestRecorder(httplib::Server& server)
{
    server.set_post_routing_handler([](const httplib::Request& req, httplib::Response&) {
        if (req.path.rfind("/demo/", 0) != 0) {
            ServiceRequests().Record(req);
        }
    });
}
