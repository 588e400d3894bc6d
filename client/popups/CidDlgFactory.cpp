#include "popups/CidDlgFactory.h"

#include "popups/CidDlg.h"

CCidDlgFactory::CCidDlgFactory(QWidget* pMainFrame, ClientConfig config)
    : m_pMainFrame(pMainFrame), m_config(std::move(config))
{
}

std::unique_ptr<ICidWindow> CCidDlgFactory::NewCidWindow(QWidget* pOwner, QObject* pManager)
{
    // A popup without an owner (the outgoing-call popup) still relays to the main frame.
    return std::make_unique<CCidDlg>(pOwner != nullptr ? pOwner : m_pMainFrame.data(), pManager,
                                     m_config);
}
