#pragma once
#include "CidOption.h"
#include "CidPlacement.h"
#include "CidRequest.h"
#include "CidWindow.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>

class QWidget;

// The primary screen's work area and vertical resolution (the resolution only feeds a log
// line).
struct CidScreenInfo
{
    CidRect rcWork;
    int nDpiY = 0;
};

// The invisible popup manager: decides what each call, message and schedule notification does
// to the popups, owns them, and places them. A plain QObject: it only receives posted events on
// the user-interface thread and never needs a window of its own.
//
// Events (CidEvents.h): kCidOpenEvent -> OnCidOpen, kCidCloseEvent -> OnCidClose,
// kCidRequestEvent -> OnRecvCid, kCidRecordEvent -> OnRecvRecord, kCidScheduleEvent -> OnRecvSch.
class CCidManagerDlg : public QObject
{
    Q_OBJECT
public:
    explicit CCidManagerDlg(ICidWindowFactory& factory, QObject* pParent = nullptr);
    ~CCidManagerDlg() override;

    // Fills the type-size table; the main frame calls it right after construction, before the
    // main page can send anything.
    bool Create();
    void OnInitDialog();

    // Display options.
    void SetCidOption(const CidOption& option);
    // Main page window entry points: JSON in, options applied. False when the text does not
    // parse or a member has a type that cannot be converted (one log line); nothing changes then.
    bool ApplyCidOptChange(const std::wstring& strJson);
    // Login: only when the parsed login object's "cidOpt" is an object.
    bool ApplyLoginCidOption(const Json::Value& login);
    // Page ready: the rows 10, 21, 22, 23, 24 it carries; nothing is re-laid out.
    bool ApplyDocumentReadyTypeSizes(const Json::Value& root);

    // The handlers of the posted events; callable directly (tests, same thread).
    void OnRecvCid(std::unique_ptr<CidRequest> pRequest);
    void OnRecvRecord(const std::wstring& strJson);
    void OnRecvSch(const std::wstring& strJson);
    void OnCidClose(ICidWindow* pCidDlg);
    void OnCidOpen(ICidWindow* pCidDlg);

    ICidWindow* FindLastCidWindow(const std::wstring& strCaller, const std::wstring& strCallee,
                                  int nCallResult, int64_t llLogNo);
    ICidWindow* FindCidWindow(int nCidDisplayMode, const std::wstring& strCaller,
                              const std::wstring& strCallee, int nCallResult, int64_t llLogNo,
                              const ICidWindow* pStop, int nCidType, int nCallProcessType);
    ICidWindow* FindCallCidWindow(int64_t llLogNo);
    void RecvCid_CallTerminate(int64_t llLogNo, const std::wstring& strPostData);

    void DeleteCidWindow(std::unique_ptr<ICidWindow> pCidDlg, int nTrim);
    void RemoveCidWindow(ICidWindow* pCidDlg);
    void RemoveAllCidWindow();

    // Placement. nType -1: the size of the visible window, else of the option type.
    void PositionCidWindow(ICidWindow* pCidDlg, int bInitPosition, int nType);
    // nFlags: kCidReplace, kCidRetime.
    void RepositionCidWindowAll(int nFlags);
    static constexpr int kCidReplace = 1;
    static constexpr int kCidRetime = 2;

    // Seams for tests: the screen (default: the primary screen's available geometry) and the
    // process working set (default: resident set from /proc/self/statm, malloc_trim(0)).
    void SetScreenSource(std::function<CidScreenInfo()> fn) { m_fnScreen = std::move(fn); }
    void SetWorkingSetHooks(std::function<uint32_t()> fnRead, std::function<void()> fnTrim)
    {
        m_fnReadWorkingSet = std::move(fnRead);
        m_fnTrimWorkingSet = std::move(fnTrim);
    }

    bool IsListed(const ICidWindow* pCidDlg) const;

    QWidget* m_pMainFrm = nullptr;
    std::list<std::unique_ptr<ICidWindow>> m_listCidDlg; // oldest first
    uint32_t m_dwWorkingSetSize = 0;
    std::unique_ptr<ICidWindow> m_pSendCidDlg;            // outgoing-call start popup, never listed

    int m_nEnable = 1;
    int m_nEnableArsNoti = 1;
    int m_nCidType = 21;
    CidTypeSizeMap m_mapCidTypeSize;
    int m_nAutoCloseType = 1;
    int m_nAutoCloseTime = 20;
    int m_nOverlap = 0;
    int m_nCidStartPos = 1;

    CidPlacementState m_place;

    // Permissions per user line; a lookup of an unknown line adds it with 0.
    std::map<std::wstring, int> m_mapAllowCtc;
    std::map<std::wstring, int> m_mapAllowMsgSend;

protected:
    bool event(QEvent* pEvent) override;

private:
    bool PlaceOverlapped(ICidWindow* pCidDlg, int nSizeType, CidSize size);
    CidScreenInfo ReadScreen() const;
    uint32_t ReadWorkingSet() const;

    ICidWindowFactory& m_factory;
    std::function<CidScreenInfo()> m_fnScreen;
    std::function<uint32_t()> m_fnReadWorkingSet;
    std::function<void()> m_fnTrimWorkingSet;
};

// Resident set size of this process in bytes (0 when it cannot be read), capped to 32 bits.
uint32_t CidProcessWorkingSet();
