#pragma once
#include <QBasicTimer>

class QObject;

// The three timers of a popup window by their ids (kCidSlideTimerId, kCidCloseTimerId,
// kCidReadyTimerId of CidWindow.h); their events go to the owner's timerEvent.
class CCidTimers
{
public:
    explicit CCidTimers(QObject* pOwner) : m_pOwner(pOwner) {}

    // Starts (or restarts) the timer; returns nIdEvent, 0 for an unknown id.
    int Start(int nIdEvent, int nElapseMs);
    void Stop(int nIdEvent);
    // The id of the timer behind a timer event, 0 when it is none of these.
    int IdOf(int nQtTimerId) const;

private:
    QBasicTimer* Timer(int nIdEvent);

    QObject* m_pOwner;
    QBasicTimer m_slide;
    QBasicTimer m_close;
    QBasicTimer m_ready;
};
