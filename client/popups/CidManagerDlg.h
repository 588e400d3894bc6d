#pragma once
#include "logic/ClientConfig.h"
#include "logic/CidDecision.h"
#include "logic/CidOption.h"
#include "logic/CidPageText.h"
#include "logic/CidPlacement.h"
#include "logic/CidRequest.h"
#include "popups/CidLayout.h"
#include "popups/CidWindow.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>

class QWidget;

// Permissions per user line; a lookup of an unknown line adds it with 0 to both.
struct CidLinePermissions
{
    std::map<std::wstring, int> ctc;
    std::map<std::wstring, int> msgSend;
};

// The invisible popup manager: carries out what each call, message and schedule notification
// does to the popups (CidDecide), owns them, and has them placed (CCidLayout). A plain QObject:
// it only receives posted events on the user-interface thread and never needs a window of its
// own.
//
// Events (CidEvents.h): kCidOpenEvent -> OnCidOpen, kCidCloseEvent -> OnCidClose,
// kCidTypeChangeEvent -> OnCidTypeChange, kCidRequestEvent -> OnRecvCid,
// kCidRecordEvent -> OnRecvRecord, kCidScheduleEvent -> OnRecvSch.
class CCidManagerDlg : public QObject
{
    Q_OBJECT
public:
    CCidManagerDlg(ICidWindowFactory& factory, ClientConfig config, QObject* pParent = nullptr);
    ~CCidManagerDlg() override;

    // Fills the type-size table; the main frame calls it right after construction, before the
    // main page can send anything.
    bool Create();
    void OnInitDialog();

    // The main frame the listed popups belong to and relay the page's requests to.
    void SetMainFrame(QWidget* pMainFrm) { m_pMainFrm = pMainFrm; }
    QWidget* MainFrame() const { return m_pMainFrm; }

    // Display options of an option message: also re-lays out, re-types and re-times the popups.
    void SetCidOption(const CidOption& option);
    // Takes the options as they are: nothing is re-laid out and no size row changes.
    void SetDisplayOptions(const CidDisplayOptions& options) { m_options = options; }
    const CidDisplayOptions& Options() const { return m_options; }
    int CidType() const { return m_options.nCidType; }
    // Main page window entry points: JSON in, options applied. False when the text does not
    // parse or a member has a type that cannot be converted (one log line); nothing changes then.
    bool ApplyCidOptChange(const std::wstring& strJson);
    // Login: only when the parsed login object's "cidOpt" is an object.
    bool ApplyLoginCidOption(const Json::Value& login);
    // Page ready: the rows 10, 21, 22, 23, 24 it carries; nothing is re-laid out.
    bool ApplyDocumentReadyTypeSizes(const Json::Value& root);

    // What the main page reports: a line's permissions, a display type's size.
    void SetLinePermissions(const std::wstring& strPhone, bool bCtc, bool bMsgSend);
    const CidLinePermissions& LinePermissions() const { return m_permissions; }
    // Page sizes are kept within the work area (CidClampSize).
    void SetCidTypeSize(int nCidType, CidSize size);
    // The size of a display type; like every lookup of the table, a missing type is added as
    // 0 x 0.
    CidSize TypeSize(int nCidType) { return m_mapCidTypeSize[nCidType]; }
    const CidTypeSizeMap& TypeSizes() const { return m_mapCidTypeSize; }

    // The handlers of the posted events; callable directly (tests, same thread).
    void OnRecvCid(std::unique_ptr<CidRequest> pRequest);
    void OnRecvRecord(const std::wstring& strJson);
    void OnRecvSch(const std::wstring& strJson);
    // The notices name their popup by serial; one no longer listed (or never made here) is
    // not read.
    void OnCidClose(CidSerial nSerial);
    void OnCidOpen(CidSerial nSerial);
    void OnCidTypeChange(CidSerial nSerial, const CidTypeChange& change);
    // The same for a popup the caller holds alive.
    void OnCidClose(const ICidWindow* pCidDlg) { OnCidClose(SerialOf(pCidDlg)); }
    void OnCidOpen(const ICidWindow* pCidDlg) { OnCidOpen(SerialOf(pCidDlg)); }
    void OnCidTypeChange(const ICidWindow* pCidDlg, const CidTypeChange& change)
    {
        OnCidTypeChange(SerialOf(pCidDlg), change);
    }

    void RemoveAllCidWindow();

    // Placement. nType -1: the size of the visible window, else of the option type.
    void PositionCidWindow(ICidWindow* pCidDlg, int bInitPosition, int nType)
    {
        m_layout.PositionCidWindow(pCidDlg, bInitPosition, nType);
    }
    // nFlags: kCidReplace, kCidRetime.
    void RepositionCidWindowAll(int nFlags) { m_layout.RepositionCidWindowAll(nFlags); }
    static constexpr int kCidReplace = CCidLayout::kCidReplace;
    static constexpr int kCidRetime = CCidLayout::kCidRetime;

    // The screen (default: the primary screen's available geometry; the shell hands it the main
    // frame's screen, CidScreenInfoOf) and, a seam for tests, the
    // process working set (default: resident set from /proc/self/statm, malloc_trim(0)).
    void SetScreenSource(std::function<CidScreenInfo()> fn) { m_layout.SetScreenSource(std::move(fn)); }
    void SetWorkingSetHooks(std::function<uint32_t()> fnRead, std::function<void()> fnTrim)
    {
        m_fnReadWorkingSet = std::move(fnRead);
        m_fnTrimWorkingSet = std::move(fnTrim);
    }

    // Read-only views.
    bool IsListed(const ICidWindow* pCidDlg) const;
    // The listed popup or the start popup with that serial; null for none.
    ICidWindow* FindBySerial(CidSerial nSerial) const;
    const CidPopupList& Popups() const { return m_listCidDlg; } // oldest first
    ICidWindow* SendPopup() const { return m_pSendCidDlg.get(); }
    uint32_t WorkingSetSize() const { return m_dwWorkingSetSize; }
    const CidPlacementState& PlacementState() const { return m_layout.State(); }

protected:
    bool event(QEvent* pEvent) override;

private:
    bool Dispatch(QEvent* pEvent);
    void OpenSendPopup(const CidDecision& decision, const std::wstring& strUrl,
                       const std::wstring& strPostData);
    void RecvCid_CallTerminate(ICidWindow* pCidDlg, const CidDecision& decision,
                               const std::wstring& strPostData);
    static CidSerial SerialOf(const ICidWindow* p) { return p != nullptr ? p->m_nSerial : 0; }
    std::unique_ptr<ICidWindow> NewPopup(QWidget* pOwner);
    // Closes the oldest popups until one more fits under kCidMaxOpenPopups; pKept is cleared
    // when it was one of them.
    void MakeRoomForOne(ICidWindow*& pKept);
    CidSize ClampToWork(CidSize size) const;
    ICidWindow* PopupAt(std::optional<size_t> nIndex) const;
    ICidWindow* FindCallCidWindow(int64_t llLogNo) const;
    void DeleteCidWindow(std::unique_ptr<ICidWindow> pCidDlg, int nTrim);
    void RemoveCidWindow(ICidWindow* pCidDlg);
    uint32_t ReadWorkingSet() const;

    ICidWindowFactory& m_factory;
    ClientConfig m_config;
    QWidget* m_pMainFrm = nullptr;
    CidSerial m_nLastSerial = 0;
    CidPopupList m_listCidDlg;                 // oldest first
    std::unique_ptr<ICidWindow> m_pSendCidDlg; // outgoing-call start popup, never listed
    uint32_t m_dwWorkingSetSize = 0;
    CidDisplayOptions m_options;
    CidTypeSizeMap m_mapCidTypeSize;
    CidLinePermissions m_permissions;
    CCidLayout m_layout{m_listCidDlg, m_options, m_mapCidTypeSize};
    std::function<uint32_t()> m_fnReadWorkingSet;
    std::function<void()> m_fnTrimWorkingSet;
};

// Resident set size of this process in bytes (0 when it cannot be read), capped to 32 bits.
uint32_t CidProcessWorkingSet();
