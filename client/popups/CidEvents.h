#pragma once
#include "logic/CidPageText.h"
#include "logic/CidRequest.h"
#include "popups/CidWindow.h"

#include <QCoreApplication>
#include <QEvent>

#include <memory>
#include <string>
#include <utility>

// Notices and requests posted to the popup manager. Each event owns its payload, so the
// payload goes with the event on every path, also when the manager is gone before the event
// is delivered.
inline constexpr QEvent::Type kCidOpenEvent = static_cast<QEvent::Type>(QEvent::User + 4);
inline constexpr QEvent::Type kCidCloseEvent = static_cast<QEvent::Type>(QEvent::User + 5);
inline constexpr QEvent::Type kCidRequestEvent = static_cast<QEvent::Type>(QEvent::User + 6);
inline constexpr QEvent::Type kCidRecordEvent = static_cast<QEvent::Type>(QEvent::User + 8);
inline constexpr QEvent::Type kCidScheduleEvent = static_cast<QEvent::Type>(QEvent::User + 9);
inline constexpr QEvent::Type kCidTypeChangeEvent = static_cast<QEvent::Type>(QEvent::User + 10);

// A popup's notice about itself (open, close). The popup is named by its serial, never by its
// address: it may be gone by the time the notice arrives, and a newer popup may sit at the
// same address, so the receiver looks the serial up.
class CidWindowEvent : public QEvent
{
public:
    CidWindowEvent(QEvent::Type type, CidSerial nSerial) : QEvent(type), m_nSerial(nSerial) {}
    CidSerial Serial() const { return m_nSerial; }

private:
    CidSerial m_nSerial;
};

// A popup's page asked for another display type (kCidTypeChangeEvent); the popup has taken the
// new type, the manager stores the size and places it.
class CidTypeChangeEvent : public CidWindowEvent
{
public:
    CidTypeChangeEvent(CidSerial nSerial, const CidTypeChange& change)
        : CidWindowEvent(kCidTypeChangeEvent, nSerial), m_change(change)
    {
    }
    const CidTypeChange& Change() const { return m_change; }

private:
    CidTypeChange m_change;
};

class CidRequestEvent : public QEvent
{
public:
    explicit CidRequestEvent(std::unique_ptr<CidRequest> pRequest)
        : QEvent(kCidRequestEvent), m_pRequest(std::move(pRequest))
    {
    }
    std::unique_ptr<CidRequest> TakeRequest() { return std::move(m_pRequest); }

private:
    std::unique_ptr<CidRequest> m_pRequest;
};

// Recording result (kCidRecordEvent) or schedule (kCidScheduleEvent) JSON text.
class CidTextEvent : public QEvent
{
public:
    CidTextEvent(QEvent::Type type, std::wstring strText)
        : QEvent(type), m_strText(std::move(strText))
    {
    }
    const std::wstring& Text() const { return m_strText; }

private:
    std::wstring m_strText;
};

// The popup is read here, while it is certainly alive; only its serial travels.
inline void PostCidWindowEvent(QObject* pManager, QEvent::Type type, const ICidWindow* pWindow)
{
    QCoreApplication::postEvent(pManager, new CidWindowEvent(type, pWindow->m_nSerial));
}

inline void PostCidTypeChange(QObject* pManager, const ICidWindow* pWindow,
                              const CidTypeChange& change)
{
    QCoreApplication::postEvent(pManager, new CidTypeChangeEvent(pWindow->m_nSerial, change));
}

inline void PostCidRequest(QObject* pManager, std::unique_ptr<CidRequest> pRequest)
{
    QCoreApplication::postEvent(pManager, new CidRequestEvent(std::move(pRequest)));
}

inline void PostCidText(QObject* pManager, QEvent::Type type, std::wstring strText)
{
    QCoreApplication::postEvent(pManager, new CidTextEvent(type, std::move(strText)));
}
