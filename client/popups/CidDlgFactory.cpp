#include "popups/CidDlgFactory.h"

#include "popups/CidDlg.h"

CCidDlgFactory::CCidDlgFactory(QWidget* pMainFrame, ClientConfig config)
    : m_pMainFrame(pMainFrame), m_config(std::move(config))
{
    // The first spare waits as well, so it does not compete with the main page's start.
    m_spareTimer.setSingleShot(true);
    m_spareTimer.setInterval(kSpareDelayMs);
    m_spareTimer.callOnTimeout([this] { MakeSpare(); });
    m_spareTimer.start();
}

CCidDlgFactory::~CCidDlgFactory() = default;

std::unique_ptr<ICidWindow> CCidDlgFactory::NewCidWindow(QWidget* pOwner, QObject* pManager)
{
    // A popup without an owner (the outgoing-call popup) still relays to the main frame.
    QWidget* pFrame = pOwner != nullptr ? pOwner : m_pMainFrame.data();
    // Restarted by every request: a burst of calls is not slowed by making spares in between.
    m_spareTimer.start();
    if (m_pSpare == nullptr || m_pSpare->MainFrame() != pFrame) {
        return std::make_unique<CCidDlg>(pFrame, pManager, m_config);
    }
    std::unique_ptr<CCidDlg> pDlg = std::move(m_pSpare);
    pDlg->m_hWndManager = pManager;
    return pDlg;
}

void CCidDlgFactory::MakeSpare()
{
    if (m_pSpare != nullptr || m_pMainFrame == nullptr) {
        return;
    }
    m_pSpare = std::make_unique<CCidDlg>(m_pMainFrame.data(), nullptr, m_config);
    m_pSpare->winId();
}
