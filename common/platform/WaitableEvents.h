#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

// A fixed set of auto-reset events behind one lock, so a worker can wait for whichever comes
// first, and can be told to stop while it waits.
class CWaitableEvents
{
public:
    static constexpr int kTimedOut = -1;
    static constexpr int kStopped = -2;

    explicit CWaitableEvents(int nCount) : m_signalled(static_cast<size_t>(nCount), false) {}

    void Set(int nIndex)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_signalled.at(static_cast<size_t>(nIndex)) = true;
        }
        m_cv.notify_all();
    }

    void Stop()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bStopped = true;
        }
        m_cv.notify_all();
    }

    bool Stopped() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_bStopped;
    }

    // The lowest signalled index (reset as it is taken), kTimedOut or kStopped.
    int WaitAny(std::chrono::milliseconds timeout)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        int found = kTimedOut;
        m_cv.wait_for(lock, timeout, [&] {
            if (m_bStopped) {
                return true;
            }
            for (size_t i = 0; i < m_signalled.size(); ++i) {
                if (m_signalled[i]) {
                    found = static_cast<int>(i);
                    return true;
                }
            }
            return false;
        });
        if (m_bStopped) {
            return kStopped;
        }
        if (found >= 0) {
            m_signalled[static_cast<size_t>(found)] = false;
        }
        return found;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<bool> m_signalled;
    bool m_bStopped = false;
};
