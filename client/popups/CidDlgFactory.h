#pragma once
#include "logic/ClientConfig.h"
#include "popups/CidWindow.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>

class CCidDlg;

// The real popups for the manager. It keeps one warm spare: a hidden popup whose view, browser
// side and native window already exist, so a call's popup only has to load its page. The next
// request takes the spare; a new one is made once no request has come for kSpareDelayMs.
class CCidDlgFactory : public ICidWindowFactory
{
public:
    static constexpr int kSpareDelayMs = 1000;

    CCidDlgFactory(QWidget* pMainFrame, ClientConfig config);
    ~CCidDlgFactory() override;
    std::unique_ptr<ICidWindow> NewCidWindow(QWidget* pOwner, QObject* pManager) override;

    // The spare the next request would take; null while none is ready.
    const CCidDlg* Spare() const { return m_spareState == SpareState::Warm ? m_pSpare.get() : nullptr; }

private:
    enum class SpareState
    {
        Loading,  // its empty document is not loaded yet
        Warm,
        Dead,     // its renderer ended or its document failed: replaced, never handed out
    };

    void MakeSpare();

    QPointer<QWidget> m_pMainFrame;
    ClientConfig m_config;
    std::unique_ptr<CCidDlg> m_pSpare;
    SpareState m_spareState = SpareState::Loading;
    QTimer m_spareTimer;
};
