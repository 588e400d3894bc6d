#include "popups/CidTimers.h"

#include "popups/CidWindow.h"

QBasicTimer* CCidTimers::Timer(int nIdEvent)
{
    switch (nIdEvent) {
    case kCidSlideTimerId: return &m_slide;
    case kCidCloseTimerId: return &m_close;
    case kCidReadyTimerId: return &m_ready;
    default: return nullptr;
    }
}

int CCidTimers::Start(int nIdEvent, int nElapseMs)
{
    QBasicTimer* pTimer = Timer(nIdEvent);
    if (pTimer == nullptr) {
        return 0;
    }
    pTimer->start(nElapseMs < 0 ? 0 : nElapseMs, m_pOwner);
    return nIdEvent;
}

void CCidTimers::Stop(int nIdEvent)
{
    if (QBasicTimer* pTimer = Timer(nIdEvent)) {
        pTimer->stop();
    }
}

int CCidTimers::IdOf(int nQtTimerId) const
{
    if (nQtTimerId == m_ready.timerId()) {
        return kCidReadyTimerId;
    }
    if (nQtTimerId == m_close.timerId()) {
        return kCidCloseTimerId;
    }
    if (nQtTimerId == m_slide.timerId()) {
        return kCidSlideTimerId;
    }
    return 0;
}
