#pragma once
#include <QColor>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>

class QObject;
class QWidget;

// What the main page window may ask of the frame that hosts it. The frame implements it; tests
// use the real frame or none.
class IMainPageHost
{
public:
    virtual ~IMainPageHost() = default;

    // The frame as a widget: the page window's parent, and the object posted calls go to.
    virtual QWidget* HostWidget() = 0;
    virtual void UpdateTrayIcon() = 0;
    virtual void ApplyFrameLook(const QColor& clrBorder, int nTitleHeight, int nBorderSize) = 0;
    virtual void ApplyMinTrackSize(QSize size) = 0;
    // The page is ready: place the frame at rect (centred on its nearest screen) and show it.
    virtual void PlaceFrame(const QRect& rect, bool bCenter) = 0;
    virtual void ShowFromTray() = 0;
    virtual void MinimizeFrame() = 0;
    // Visible and not minimised.
    virtual bool IsFrameShownNormally() const = 0;
    // The geometry of the screen nearest to rect (the one it overlaps most).
    virtual QRect NearestScreenArea(const QRect& rect) const = 0;
    // That screen's work area (without panels).
    virtual QRect NearestWorkArea(const QRect& rect) const = 0;
};

// Opens an alert frame hosting the page at strUrl, sized nWidth x nHeight and hidden until its
// page has loaded. The frame posts AlertFrameEvent to pAlertOwner when it asks to be deleted.
using AlertFrameOpener = std::function<QWidget*(const QString& strUrl, int nWidth, int nHeight,
                                                const QColor& clrBorder, int nTitleHeight,
                                                QObject* pAlertOwner)>;
