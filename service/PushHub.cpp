#include "PushHub.h"

#include <iterator>

namespace {
// A page whose stream ended this long ago is taken as gone.
constexpr std::chrono::seconds kPageGrace{6};
}  // namespace

uint64_t PushHub::Publish(std::string data)
{
    uint64_t nId = 0;
    {
        std::lock_guard<std::mutex> lock(m_cs);
        nId = ++m_nLastId;
        m_events.push_back(Event{nId, std::move(data)});
        while (m_events.size() > m_nKeep) {
            m_events.pop_front();
        }
    }
    m_cv.notify_all();
    return nId;
}

std::vector<PushHub::Event> PushHub::WaitAfter(uint64_t nAfterId, std::chrono::milliseconds wait)
{
    std::unique_lock<std::mutex> lock(m_cs);
    m_cv.wait_for(lock, wait, [&] { return m_nLastId > nAfterId; });
    std::vector<Event> events;
    for (const Event& event : m_events) {
        if (event.nId > nAfterId) {
            events.push_back(event);
        }
    }
    return events;
}

uint64_t PushHub::LastId() const
{
    std::lock_guard<std::mutex> lock(m_cs);
    return m_nLastId;
}

void PushHub::Seen(const std::string& strPage, bool bOpen)
{
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> lock(m_cs);
    for (auto it = m_pages.begin(); it != m_pages.end();) {
        const bool bGone = it->second.nOpen <= 0 && now - it->second.lastSeen >= kPageGrace;
        it = bGone ? m_pages.erase(it) : std::next(it);
    }
    PageState& state = m_pages[strPage];
    state.nOpen += bOpen ? 1 : -1;
    state.lastSeen = now;
}

size_t PushHub::Subscribers() const
{
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> lock(m_cs);
    size_t n = 0;
    for (const auto& [page, state] : m_pages) {
        if (state.nOpen > 0 || now - state.lastSeen < kPageGrace) {
            ++n;
        }
    }
    return n;
}
