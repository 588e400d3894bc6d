#pragma once
#include <QEvent>
#include <QPointer>
#include <QString>

class QWidget;

// Posted messages of the client: event type QEvent::User + the message's offset from WM_USER.
// The event owns its payload, so the payload is freed on every path.
enum ClientMessage
{
    WM_USER_PROFILE_SHOW = QEvent::User + 1,
    WM_USER_DEVICE_SHOW = QEvent::User + 2,
    WM_USER_CALL_SEND_START = QEvent::User + 3,
    WM_USER_MAIN_LOGIN = QEvent::User + 5,
    WM_USER_MAIN_LOGOUT = QEvent::User + 6,
    WM_USER_USER_MSG = QEvent::User + 7,
    WM_USER_DELETE_ALERT_FRM = QEvent::User + 7,
    WM_USER_SCHEDULE_SHOW = QEvent::User + 11,
    WM_USER_SCHEDULE_ADD = QEvent::User + 12,
};

// A message carrying one text.
class TextMessageEvent : public QEvent
{
public:
    TextMessageEvent(int type, QString text) : QEvent(static_cast<Type>(type)), m_text(std::move(text)) {}
    const QString& Text() const { return m_text; }

private:
    QString m_text;
};

// An alert frame asking the main page window to delete it.
class AlertFrameEvent : public QEvent
{
public:
    explicit AlertFrameEvent(QWidget* pFrame)
        : QEvent(static_cast<Type>(WM_USER_DELETE_ALERT_FRM)), m_pFrame(pFrame)
    {
    }
    QWidget* Frame() const { return m_pFrame; }

private:
    QWidget* m_pFrame;
};
