#include "ScriptedHttpServer.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {
void SendAll(int fd, const std::string& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return;
        }
        sent += static_cast<size_t>(n);
    }
}

bool WaitReadable(int fd, int ms)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
}
}  // namespace

std::string RequestHead(const std::string& raw)
{
    const size_t end = raw.find("\r\n\r\n");
    return end == std::string::npos ? raw : raw.substr(0, end);
}

std::string RequestBody(const std::string& raw)
{
    const size_t end = raw.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : raw.substr(end + 4);
}

ScriptedHttpServer::ScriptedHttpServer(std::vector<ScriptedReply> replies) : m_replies(std::move(replies))
{
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (m_listenFd < 0 || ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_listenFd, 8) != 0) {
        throw std::runtime_error("cannot listen");
    }
    socklen_t len = sizeof addr;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    m_thread = std::thread(&ScriptedHttpServer::Serve, this);
}

ScriptedHttpServer::~ScriptedHttpServer()
{
    m_stop = true;
    m_wake.notify_all();
    m_thread.join();
    ::close(m_listenFd);
}

std::wstring ScriptedHttpServer::Url(const std::string& path) const
{
    return L"http://127.0.0.1:" + std::to_wstring(m_port) + std::wstring(path.begin(), path.end());
}

std::vector<std::string> ScriptedHttpServer::Requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

void ScriptedHttpServer::StallUnlessStopped(int ms)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stop.load(); });
}

void ScriptedHttpServer::Serve()
{
    while (!m_stop) {
        if (!WaitReadable(m_listenFd, 50)) {
            continue;
        }
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            Handle(fd);
            ::close(fd);
        }
    }
}

void ScriptedHttpServer::Handle(int fd)
{
    std::string raw;
    char buf[4096];
    size_t need = std::string::npos;
    while (!m_stop && (need == std::string::npos || raw.size() < need)) {
        if (!WaitReadable(fd, 2000)) {
            break;
        }
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            break;
        }
        raw.append(buf, static_cast<size_t>(n));
        const size_t end = raw.find("\r\n\r\n");
        if (need == std::string::npos && end != std::string::npos) {
            size_t length = 0;
            const std::string head = raw.substr(0, end);
            const size_t cl = head.find("Content-Length: ");
            if (cl != std::string::npos) {
                length = std::strtoul(head.c_str() + cl + 16, nullptr, 10);
            }
            need = end + 4 + length;
        }
    }
    // Whatever else the client sent with the request belongs to its record.
    while (WaitReadable(fd, 20)) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n <= 0) {
            break;
        }
        raw.append(buf, static_cast<size_t>(n));
    }

    ScriptedReply reply;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back(raw);
        reply = m_replies.empty() ? ScriptedReply{} : m_replies[std::min(m_next, m_replies.size() - 1)];
        ++m_next;
    }
    switch (reply.kind) {
    case ScriptedReply::Kind::Drop:
        return;
    case ScriptedReply::Kind::Stall:
        StallUnlessStopped(reply.stallMs);
        return;
    case ScriptedReply::Kind::Unframed:
        SendAll(fd, "HTTP/1.1 " + std::to_string(reply.status) + " Scripted\r\nConnection: close\r\n" +
                        reply.extraHeaders + "\r\n" + reply.body);
        return;
    case ScriptedReply::Kind::Answer:
    case ScriptedReply::Kind::Partial: {
        const size_t length =
            reply.kind == ScriptedReply::Kind::Partial ? reply.contentLength : reply.body.size();
        std::string answer = "HTTP/1.1 " + std::to_string(reply.status) + " Scripted\r\n";
        answer += "Content-Length: " + std::to_string(length) + "\r\n";
        answer += "Connection: close\r\n";
        answer += reply.extraHeaders;
        answer += "\r\n";
        answer += reply.body;
        SendAll(fd, answer);
        if (reply.kind == ScriptedReply::Kind::Partial) {
            StallUnlessStopped(reply.stallMs);
        }
        return;
    }
    }
}
