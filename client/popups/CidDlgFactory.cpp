#include "popups/CidDlgFactory.h"

#include "popups/CidDlg.h"

#include <QWebEnginePage>

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
    if (Spare() == nullptr || m_pSpare->MainFrame() != pFrame) {
        return std::make_unique<CCidDlg>(pFrame, pManager, m_config);
    }
    std::unique_ptr<CCidDlg> pDlg = std::move(m_pSpare);
    pDlg->m_hWndManager = pManager;
    return pDlg;
}

void CCidDlgFactory::MakeSpare()
{
    if (m_spareState == SpareState::Dead) {
        m_pSpare.reset();
    }
    if (m_pSpare != nullptr || m_pMainFrame == nullptr) {
        return;
    }
    m_pSpare = std::make_unique<CCidDlg>(m_pMainFrame.data(), nullptr, m_config);
    m_spareState = SpareState::Loading;
    // The connections outlive the spare's time as spare, hence the check that it still is one.
    CCidDlg* pSpare = m_pSpare.get();
    auto settle = [this, pSpare](SpareState state) {
        if (pSpare == m_pSpare.get() && m_spareState != SpareState::Dead) {
            m_spareState = state;
            if (state == SpareState::Dead) {
                m_spareTimer.start();
            }
        }
    };
    QObject::connect(pSpare->Page(), &QWebEnginePage::loadFinished, pSpare, [settle](bool bOk) {
        settle(bOk ? SpareState::Warm : SpareState::Dead);
    });
    // A spare whose renderer ended would show its popup's page as a crash page.
    QObject::connect(pSpare->Page(), &QWebEnginePage::renderProcessTerminated, pSpare,
                     [settle] { settle(SpareState::Dead); });
    pSpare->PrepareView();
}
