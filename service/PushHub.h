#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// Events for the open main pages. Each event keeps an id; a page's stream asks for the events
// after the last id it saw, so a page that reconnects between two streams misses nothing.
class PushHub
{
public:
    struct Event
    {
        uint64_t nId = 0;
        std::string data;  // one line of JSON
    };

    explicit PushHub(size_t nKeep = 256) : m_nKeep(nKeep) {}

    // Stores the event and wakes every waiting stream; returns its id.
    uint64_t Publish(std::string data);
    // Events after `nAfterId`, waiting up to `wait` for one when there is none yet.
    std::vector<Event> WaitAfter(uint64_t nAfterId, std::chrono::milliseconds wait);
    uint64_t LastId() const;

    // Pages that hold a stream or held one a moment ago (between two streams).
    void Seen(const std::string& strPage, bool bOpen);
    size_t Subscribers() const;

private:
    struct PageState
    {
        int nOpen = 0;
        std::chrono::steady_clock::time_point lastSeen;
    };

    size_t m_nKeep;
    mutable std::mutex m_cs;
    std::condition_variable m_cv;
    std::deque<Event> m_events;
    uint64_t m_nLastId = 0;
    std::map<std::string, PageState> m_pages;
};
