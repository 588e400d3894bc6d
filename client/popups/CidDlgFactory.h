#pragma once
#include "logic/ClientConfig.h"
#include "popups/CidWindow.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>

class CCidDlg;

// The real popups for the manager. It keeps one spare: a hidden popup whose widgets, view and
// native window already exist, so a call's popup only has to load its page. The next request
// takes the spare; a new one is made once no request has come for kSpareDelayMs. The spare
// holds no document: one of its own would start a renderer that its popup then keeps, instead
// of sharing the service's.
class CCidDlgFactory : public ICidWindowFactory
{
public:
    static constexpr int kSpareDelayMs = 1000;

    CCidDlgFactory(QWidget* pMainFrame, ClientConfig config);
    ~CCidDlgFactory() override;
    std::unique_ptr<ICidWindow> NewCidWindow(QWidget* pOwner, QObject* pManager) override;

    // The spare the next request would take; null while none is ready.
    const CCidDlg* Spare() const { return m_pSpare.get(); }

private:
    void MakeSpare();

    QPointer<QWidget> m_pMainFrame;
    ClientConfig m_config;
    std::unique_ptr<CCidDlg> m_pSpare;
    QTimer m_spareTimer;
};
