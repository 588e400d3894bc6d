#pragma once
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include "platform/WorkerPost.h"

#include <future>

// Hand-overs from the launcher's workers to its window. A posted WM_USER+n message is a QEvent
// of type QEvent::User + n posted with PostFromWorker; the event owns whatever it
// carries, so it is freed also when the window is gone before delivery.

inline constexpr QEvent::Type LauncherEventType(int nOffset)
{
    return static_cast<QEvent::Type>(QEvent::User + nOffset);
}

// The download engine's messages to the updater window.
inline constexpr QEvent::Type WM_DOWN_START = LauncherEventType(5000);
inline constexpr QEvent::Type WM_DOWN_PROGRESS = LauncherEventType(5001);
inline constexpr QEvent::Type WM_VERSIONCHECK_EXIT = LauncherEventType(5002);
inline constexpr QEvent::Type WM_DOWN_RETRY = LauncherEventType(5003);
inline constexpr QEvent::Type WM_DOWN_ERROR = LauncherEventType(5004);

// A window message with its two parameters.
class LauncherMessageEvent : public QEvent
{
public:
    LauncherMessageEvent(QEvent::Type type, qintptr wParam, qintptr lParam)
        : QEvent(type), m_wParam(wParam), m_lParam(lParam)
    {
    }
    qintptr WParam() const { return m_wParam; }
    qintptr LParam() const { return m_lParam; }

private:
    qintptr m_wParam;
    qintptr m_lParam;
};

// WM_DOWN_RETRY as the download worker sends it: the worker waits until the event is gone,
// handled by the window or dropped undelivered.
class SentRetryEvent : public LauncherMessageEvent
{
public:
    explicit SentRetryEvent(std::promise<void> handled)
        : LauncherMessageEvent(WM_DOWN_RETRY, 0, 0), m_handled(std::move(handled))
    {
    }
    ~SentRetryEvent() override
    {
        AcceptWorkerPosts();
        m_handled.set_value();
    }

private:
    std::promise<void> m_handled;
};

// WM_CLOSE: a close event, so a window receives it in its closeEvent and runs its close rules
// there. Safe from any thread.
inline void PostCloseRequest(QObject* pWindow)
{
    if (pWindow != nullptr) {
        PostFromWorker(pWindow, new QCloseEvent());
    }
}

inline void PostLauncherMessage(QObject* pWindow, QEvent::Type type, qintptr wParam, qintptr lParam)
{
    if (pWindow != nullptr) {
        PostFromWorker(pWindow, new LauncherMessageEvent(type, wParam, lParam));
    }
}
