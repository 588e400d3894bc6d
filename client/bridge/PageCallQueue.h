#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

// The answer of one call into a page: a status and, for a query, its text.
struct PageCallResult
{
    int nStatus = 0;
    std::wstring strText;
};

// Hands the answers of page calls to their callers in the order the calls were made, whatever
// order the browser answers them in.
class CPageCallQueue
{
public:
    using Callback = std::function<void(const PageCallResult&)>;

    // Registers a call; its answer goes to `done` (which may be empty) once every earlier
    // call has been answered.
    uint64_t Push(Callback done);
    // Records the answer of one call and delivers every answer that is now due.
    void Complete(uint64_t nSerial, PageCallResult result);
    // Forgets every outstanding call without answering it.
    void Clear();
    size_t Pending() const { return m_entries.size(); }

private:
    struct Entry
    {
        uint64_t nSerial = 0;
        bool bDone = false;
        PageCallResult result;
        Callback done;
    };

    std::deque<Entry> m_entries;
    uint64_t m_nNextSerial = 1;
    bool m_bDelivering = false;
};
