#pragma once
#include "logic/CidDecision.h"
#include "logic/CidPlacement.h"

#include <cstdint>
#include <memory>
#include <string>

class QObject;
class QWidget;

// A popup's number, given by the manager when it makes the popup and never given again; 0 for
// none. Notices name popups by it, since an address is reused once a popup is freed.
using CidSerial = uint64_t;

// Timer ids of a popup window.
inline constexpr int kCidSlideTimerId = 1;
inline constexpr int kCidCloseTimerId = 2;
inline constexpr int kCidReadyTimerId = 4;

// Z-order position of a placement; None means "no placement saved yet".
enum class CidZOrder
{
    None,
    Top,
    TopMost,
};

// Window-position flags of a placement (values as the desktop's own).
inline constexpr unsigned kCidPosNoMove = 0x0002;
inline constexpr unsigned kCidPosNoActivate = 0x0010;
inline constexpr unsigned kCidPosShowWindow = 0x0040;

// A caller-ID popup as the popup manager and the placement see it. The popup window class
// derives from it; tests use a fake. The members are the popup's own state: the manager writes
// and reads them directly, the popup reads them when it talks to its page.
//
// Ownership: the manager owns every popup object and deletes it (which destroys its window);
// a popup never deletes itself. A popup talks back only by posting CidWindowEvent to
// m_hWndManager (open: kCidOpenEvent, close: kCidCloseEvent, a new display type:
// CidTypeChangeEvent) naming itself by m_nSerial.
class ICidWindow
{
public:
    explicit ICidWindow(QObject* pManager) : m_hWndManager(pManager) {}
    virtual ~ICidWindow() = default;
    ICidWindow(const ICidWindow&) = delete;
    ICidWindow& operator=(const ICidWindow&) = delete;

    // Creates the (hidden) borderless, top-most popup window on the desktop.
    virtual bool CreateCidWindow() = 0;
    // Destroys the window and its timers; the object stays until the manager deletes it.
    virtual void DestroyCidWindow() = 0;

    // 1: navigate to m_strCidAlarmUrl posting m_strPostData (new popup); 0: push the update
    // into the shown page. Starts or stops the close timer from m_nCloseDelayMs.
    virtual void ShowCidInfo(int nNew) = 0;
    // Navigates a schedule popup; no timer.
    virtual void ShowSchInfo() = 0;
    // Saves and applies a placement (logs "SetCidWindowPos => (x, y, cx, cy)"); the window
    // stays invisible until its page is ready.
    virtual void SetCidWindowPos(CidZOrder insertAfter, int x, int y, int cx, int cy,
                                 unsigned nFlags) = 0;
    // Records a recording result and reports it to the page.
    virtual void SetRecCid(int nRecResult) = 0;
    // Tells the page its display type.
    virtual void SendSizeChange(int nType) = 0;

    virtual bool IsCidWindowVisible() const = 0;
    // Screen rectangle of the window.
    virtual CidRect GetCidWindowRect() const = 0;
    virtual CidSize GetCidClientSize() const = 0;
    // Starts window timer nIdEvent (restarting it when it runs); returns nIdEvent, 0 on failure.
    virtual int SetCidTimer(int nIdEvent, int nElapseMs) = 0;
    virtual void KillCidTimer(int nIdEvent) = 0;

    virtual void SetCidForeground() = 0;
    // Centres the window on the screen.
    virtual void CenterCidWindow() = 0;
    // Repaints the whole window, background included.
    virtual void InvalidateCidWindow() = 0;

    QObject* m_hWndManager;
    CidSerial m_nSerial = 0;
    int m_nCtc = 1;
    int m_nMsgSend = 1;
    int m_nCallProcessType = 0; // 1 = ARS notification
    int m_nCloseTimer = 0;      // kCidCloseTimerId while the close timer runs, else 0
    std::wstring m_strCidAlarmUrl;
    int64_t m_llLogNo = 0;
    std::wstring m_strCallerPhone;
    std::wstring m_strCalleePhone;
    std::wstring m_strPostData;
    std::wstring m_strMsg;
    std::wstring m_strMsgType;
    std::wstring m_strTime;
    int m_nCloseType = 1;     // auto-close mode recorded by the manager
    int m_nCloseDelayMs = 20; // 0 = no close timer
    int m_nCallResult = -1;
    int m_nCidOverlap = 0;
    int m_nPopupType = 0;
    int m_nPosCode = 1;
    int m_nOverlapMark = 0;
    int m_nCallCnt = 0;
};

// What the decisions read of a popup.
inline CidPopupState CidStateOf(const ICidWindow& p)
{
    return {p.m_strCallerPhone, p.m_strCalleePhone, p.m_nCallResult, p.m_llLogNo,
            p.m_nPopupType,     p.m_nCallProcessType, p.m_nCallCnt};
}

// Makes popups for the manager, so the real window plugs in and tests use fakes.
class ICidWindowFactory
{
public:
    virtual ~ICidWindowFactory() = default;
    // pOwner: the main frame (null for the outgoing-call popup); pManager: where the popup
    // posts its notices. The window is not created yet.
    virtual std::unique_ptr<ICidWindow> NewCidWindow(QWidget* pOwner, QObject* pManager) = 0;
};
