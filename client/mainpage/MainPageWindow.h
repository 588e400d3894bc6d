#pragma once
#include <QString>
#include <functional>

class QWidget;

// The main page window as the main frame uses it.
class IMainPageWindow
{
public:
    virtual ~IMainPageWindow() = default;

    virtual QWidget* Widget() = 0;
    virtual bool IsLogin() const = 0;
    virtual bool IsServerDisconnected() const = 0;
    virtual QString GetLoginSession() const = 0;

    // The page functions the frame relays popup requests to.
    enum class Relay { ProfileShow, DeviceShow, CallSendStart, UserMsg, ScheduleShow, ScheduleAdd };
    virtual void RelayToPage(Relay relay, const QString& text) = 0;

    // Page calls complete asynchronously; `done` runs once the page has taken the call (or the
    // call failed), so the frame can end only after the page saw it.
    virtual void WI_MAIN_Logout(const QString& session, std::function<void()> done) = 0;
    virtual void SaveFrameRect(std::function<void()> done) = 0;

    virtual void SetLastPosition(int x, int y) = 0;
    virtual void SetLastSize(int width, int height) = 0;
};

// What the frame needs of the popup manager.
class IFramePopupManager
{
public:
    virtual ~IFramePopupManager() = default;
    virtual void RemoveAllCidWindow() = 0;
};
