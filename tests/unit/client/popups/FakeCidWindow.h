#pragma once
#include "popups/CidManagerDlg.h"
#include "popups/CidWindow.h"
#include "diag/DbgLog.h"
#include "LogReader.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

struct Placement
{
    int x;
    int y;
    int cx;
    int cy;
    bool operator==(const Placement&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Placement& p)
{
    return os << "(" << p.x << ", " << p.y << ", " << p.cx << ", " << p.cy << ")";
}

class FakeCidFactory;

// A popup without a window: it records what the manager asks of it. It is hidden until the
// test says its page is ready (MarkReady), as the real window is.
class FakeCidWindow : public ICidWindow
{
public:
    FakeCidWindow(QObject* pManager, QWidget* pOwner, int nId, std::set<int>* pDeleted)
        : ICidWindow(pManager), owner(pOwner), id(nId), m_pDeleted(pDeleted)
    {
    }
    ~FakeCidWindow() override { m_pDeleted->insert(id); }

    bool CreateCidWindow() override
    {
        ++creates;
        return true;
    }
    void DestroyCidWindow() override
    {
        ++destroys;
        visible = false;
    }
    void ShowCidInfo(int nNew) override { showCidInfo.push_back(nNew); }
    void ShowSchInfo() override { ++showSchInfo; }
    void SetCidWindowPos(CidZOrder insertAfter, int x, int y, int cx, int cy,
                         unsigned nFlags) override
    {
        EXPECT_EQ(insertAfter, CidZOrder::Top);
        EXPECT_EQ(nFlags, kCidPosShowWindow);
        placements.push_back({x, y, cx, cy});
        rect = {x, y, x + cx, y + cy};
    }
    void SetRecCid(int nRecResult) override { recResults.push_back(nRecResult); }
    void SendSizeChange(int nType) override { sizeChanges.push_back(nType); }
    bool IsCidWindowVisible() const override { return visible; }
    CidRect GetCidWindowRect() const override { return rect; }
    CidSize GetCidClientSize() const override { return {rect.Width(), rect.Height()}; }
    int SetCidTimer(int nIdEvent, int nElapseMs) override
    {
        timerStarts.push_back({nIdEvent, nElapseMs});
        return nIdEvent;
    }
    void KillCidTimer(int nIdEvent) override { timerKills.push_back(nIdEvent); }
    void SetCidForeground() override { ++foregrounds; }
    void CenterCidWindow() override { ++centers; }
    void InvalidateCidWindow() override { ++invalidates; }

    void MarkReady() { visible = true; }
    Placement Last() const { return placements.empty() ? Placement{-1, -1, -1, -1} : placements.back(); }

    QWidget* owner;
    int id;
    bool visible = false;
    CidRect rect;
    int creates = 0;
    int destroys = 0;
    int showSchInfo = 0;
    int foregrounds = 0;
    int centers = 0;
    int invalidates = 0;
    std::vector<int> showCidInfo;
    std::vector<Placement> placements;
    std::vector<int> recResults;
    std::vector<int> sizeChanges;
    std::vector<std::pair<int, int>> timerStarts;
    std::vector<int> timerKills;

private:
    std::set<int>* m_pDeleted;
};

// A fake popup that lives in one fixed slot while the slot is free, so a popup made after
// another was freed sits at its address, as the allocator is free to do with real popups.
class SlotCidWindow : public FakeCidWindow
{
public:
    using FakeCidWindow::FakeCidWindow;
    static void* operator new(size_t nSize)
    {
        if (s_bUsed || nSize > sizeof(s_slot)) {
            return ::operator new(nSize);
        }
        s_bUsed = true;
        return s_slot;
    }
    static void operator delete(void* p)
    {
        if (p == s_slot) {
            s_bUsed = false;
        } else {
            ::operator delete(p);
        }
    }

private:
    alignas(std::max_align_t) static inline unsigned char s_slot[4096];
    static inline bool s_bUsed = false;
};

class FakeCidFactory : public ICidWindowFactory
{
public:
    std::unique_ptr<ICidWindow> NewCidWindow(QWidget* pOwner, QObject* pManager) override
    {
        const int nId = static_cast<int>(made.size());
        std::unique_ptr<FakeCidWindow> p =
            sameAddress ? std::make_unique<SlotCidWindow>(pManager, pOwner, nId, &deleted)
                        : std::make_unique<FakeCidWindow>(pManager, pOwner, nId, &deleted);
        made.push_back(p.get());
        return p;
    }
    bool sameAddress = false; // SlotCidWindow popups
    bool Deleted(int nId) const { return deleted.count(nId) != 0; }
    // By the pointer the test kept, without reading the (maybe deleted) popup.
    bool Deleted(const FakeCidWindow* p) const
    {
        for (size_t i = 0; i < made.size(); ++i) {
            if (made[i] == p) {
                return Deleted(static_cast<int>(i));
            }
        }
        ADD_FAILURE() << "not made by this factory";
        return false;
    }

    std::vector<FakeCidWindow*> made; // every popup ever made, by id; check Deleted before use
    std::set<int> deleted;
};

struct Req
{
    std::wstring caller = L"0101112222";
    std::wstring callee = L"07012345678";
    int state = 102;
    int64_t logNo = 1;
    int procType = 0;
    int recFlag = -1;
    int cidType = 0;
    std::wstring notiFlag;
    std::wstring msg;
};

// The caller the manager tests use unless a case names another.
inline constexpr wchar_t kA[] = L"0101112222";

// A request of a call in `state` with log number `logNo`.
inline Req R(int state, int64_t logNo, const std::wstring& caller = kA, int procType = 0,
             int recFlag = -1)
{
    Req r;
    r.state = state;
    r.logNo = logNo;
    r.caller = caller;
    r.procType = procType;
    r.recFlag = recFlag;
    return r;
}

inline std::unique_ptr<CidRequest> MakeRequest(const Req& r)
{
    auto p = std::make_unique<CidRequest>();
    SetCidText(p->szUrl, L"http://127.0.0.1:8470/cid");
    SetCidText(p->szPostData, L"{\"n\":" + std::to_wstring(r.logNo) + L"}");
    SetCidText(p->szCallerPhone, r.caller);
    SetCidText(p->szCalleePhone, r.callee);
    SetCidText(p->szTime, L"2026-12-10 10:00:00");
    SetCidText(p->szNotiFlag, r.notiFlag);
    SetCidText(p->szMsg, r.msg);
    p->llLogNo = r.logNo;
    p->nCallResult = r.state;
    p->nCallProcessType = r.procType;
    p->nRecFlag = r.recFlag;
    p->nCidType = r.cidType;
    return p;
}

// The manager on a 1920 x 1040 work area at (0, 0), with its debug log written to a temporary
// folder so tests can read the lines support reads.
class ManagerFixture : public ::testing::Test
{
protected:
    ManagerFixture()
    {
        g_DbgLog.ForceEnable();
        g_DbgLog.SetLogDir(dir.Path());
        g_DbgLog.SetLogFileName(L"Orvanta.txt");
        manager.Create();
        manager.SetScreenSource([this] { return CidScreenInfo{work, 96}; });
        manager.SetWorkingSetHooks([this] { return workingSet; }, [this] { ++trims; });
    }

    FakeCidWindow* Recv(const Req& r)
    {
        const size_t nBefore = factory.made.size();
        manager.OnRecvCid(MakeRequest(r));
        return factory.made.size() > nBefore ? factory.made.back() : nullptr;
    }
    FakeCidWindow* RecvReady(const Req& r)
    {
        FakeCidWindow* p = Recv(r);
        if (p != nullptr) {
            p->MarkReady();
        }
        return p;
    }
    // Distinct calls in the same state: never the same call, so each opens its own popup.
    FakeCidWindow* NewCall(int n, int state = 102)
    {
        Req r;
        r.caller = L"010" + std::to_wstring(1000 + n);
        r.logNo = 100 + n;
        r.state = state;
        return RecvReady(r);
    }
    std::vector<FakeCidWindow*> Listed() const
    {
        std::vector<FakeCidWindow*> v;
        for (const auto& p : manager.Popups()) {
            v.push_back(static_cast<FakeCidWindow*>(p.get()));
        }
        return v;
    }
    // One display option, set as it is (no re-layout), the others kept.
    void SetOption(int CidDisplayOptions::*pField, int nValue)
    {
        CidDisplayOptions options = manager.Options();
        options.*pField = nValue;
        manager.SetDisplayOptions(options);
    }
    std::vector<std::wstring> LogLines() const { return ReadLogLines(g_DbgLog.LogPath()); }
    // The message part of each line (after the header's tab, before the location).
    std::vector<std::wstring> LogMessages() const
    {
        std::vector<std::wstring> out;
        for (const std::wstring& line : LogLines()) {
            size_t begin = line.find(L'\t');
            begin = begin == std::wstring::npos ? 0 : begin + 1;
            const size_t end = line.rfind(L"[@");
            out.push_back(line.substr(begin, end == std::wstring::npos ? std::wstring::npos
                                                                       : end - begin));
        }
        return out;
    }
    static bool Contains(const std::vector<std::wstring>& lines, const std::wstring& text)
    {
        for (const auto& l : lines) {
            if (l.find(text) != std::wstring::npos) {
                return true;
            }
        }
        return false;
    }

    TempDir dir;
    CidRect work{0, 0, 1920, 1040};
    uint32_t workingSet = 1000;
    int trims = 0;
    FakeCidFactory factory;
    CCidManagerDlg manager{factory, ClientConfig{}};
};
