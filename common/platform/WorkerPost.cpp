#include "platform/WorkerPost.h"

#include <QCoreApplication>
#include <QEvent>

#include <atomic>
#include <cstdint>

namespace {
std::atomic<uint64_t> g_nWorkerPosts{0};
}

void PostFromWorker(QObject* pReceiver, QEvent* pEvent)
{
    if (pReceiver == nullptr) {
        delete pEvent;
        return;
    }
    g_nWorkerPosts.fetch_add(1, std::memory_order_release);
    QCoreApplication::postEvent(pReceiver, pEvent);
}

void AcceptWorkerPosts()
{
    (void)g_nWorkerPosts.load(std::memory_order_acquire);
}
