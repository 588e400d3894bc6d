#include "NotiDlg.h"

#include "DbgLog.h"
#include "FrameMessages.h"
#include "MainFrm.h"

#include <QCoreApplication>

CNotiDlg::CNotiDlg(CMainFrm* pFrame, std::wstring strUrl)
    : CHtmlDialog(pFrame), m_pFrame(pFrame), m_strUrl(std::move(strUrl))
{
}

void CNotiDlg::OnInitDialog()
{
    SetExternalTable(CExternalTable{
        ExternalMethod::Notice(L"FE_ALERT_Close", this, &CNotiDlg::FE_ALERT_Close),
    });
    Navigate(m_strUrl);
}

void CNotiDlg::FE_ALERT_Close(const std::wstring& strArg)
{
    DBG_LOG_W(L"start... %ls", strArg.c_str());
    CMainFrm* pMain = CMainFrm::AppMainFrame();
    if (pMain != nullptr && pMain->MainDlg() != nullptr) {
        QCoreApplication::postEvent(pMain->MainDlg()->Widget(), new AlertFrameEvent(m_pFrame));
    }
}

void CNotiDlg::OnDocumentComplete(const std::wstring&, bool)
{
    show();
    if (m_pFrame != nullptr && m_pFrame->PlaceState() == 0) {
        m_pFrame->SetPlaceState(1);
        m_pFrame->show();
    }
}
