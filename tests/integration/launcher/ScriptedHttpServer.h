#pragma once
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// One scripted answer of ScriptedHttpServer.
struct ScriptedReply
{
    enum class Kind
    {
        Answer,  // status line, Content-Length, extra headers, body
        Stall,   // read the request, answer nothing for stallMs, close
        Drop,    // read the request and close without a word
        Partial, // announce contentLength bytes, send body, then stall for stallMs and close
        Unframed, // status line and extra headers without a length, body, then close
    };
    Kind kind = Kind::Answer;
    int status = 200;
    std::string body;
    std::string extraHeaders;  // whole lines, each ending in "\r\n"
    int stallMs = 0;
    size_t contentLength = 0;  // Partial only
};

// A one-connection-at-a-time HTTP server on 127.0.0.1 that records every request byte for
// byte and answers with the scripted replies in order; the last one repeats.
class ScriptedHttpServer
{
public:
    explicit ScriptedHttpServer(std::vector<ScriptedReply> replies);
    ~ScriptedHttpServer();
    ScriptedHttpServer(const ScriptedHttpServer&) = delete;
    ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

    int Port() const { return m_port; }
    std::wstring Url(const std::string& path) const;
    // The raw bytes of each request received so far.
    std::vector<std::string> Requests() const;

private:
    void Serve();
    void Handle(int fd);
    void StallUnlessStopped(int ms);

    int m_listenFd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::vector<ScriptedReply> m_replies;
    size_t m_next = 0;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};

// The body of a raw request (what follows the blank line).
std::string RequestBody(const std::string& raw);
// The header block of a raw request (request line and header lines, without the blank line).
std::string RequestHead(const std::string& raw);
