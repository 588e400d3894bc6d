#include "bridge/PageCallQueue.h"

uint64_t CPageCallQueue::Push(Callback done)
{
    Entry entry;
    entry.nSerial = m_nNextSerial++;
    entry.done = std::move(done);
    m_entries.push_back(std::move(entry));
    return m_entries.back().nSerial;
}

void CPageCallQueue::Complete(uint64_t nSerial, PageCallResult result)
{
    for (Entry& entry : m_entries) {
        if (entry.nSerial == nSerial) {
            entry.bDone = true;
            entry.result = std::move(result);
            break;
        }
    }
    // A callback may make a further call or answer one; the outer loop delivers those.
    if (m_bDelivering) {
        return;
    }
    m_bDelivering = true;
    while (!m_entries.empty() && m_entries.front().bDone) {
        Entry entry = std::move(m_entries.front());
        m_entries.pop_front();
        if (entry.done) {
            entry.done(entry.result);
        }
    }
    m_bDelivering = false;
}

void CPageCallQueue::Clear()
{
    m_entries.clear();
}
