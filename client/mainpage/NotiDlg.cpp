#include "mainpage/NotiDlg.h"

#include "diag/DbgLog.h"
#include "logic/FrameMessages.h"

#include <QCoreApplication>

CNotiDlg::CNotiDlg(QWidget* pFrame, QObject* pAlertOwner, std::wstring strUrl)
    : CHtmlDialog(pFrame), m_pFrame(pFrame), m_pAlertOwner(pAlertOwner), m_strUrl(std::move(strUrl))
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
    if (m_pAlertOwner != nullptr) {
        QCoreApplication::postEvent(m_pAlertOwner, new AlertFrameEvent(m_pFrame));
    }
}

void CNotiDlg::OnDocumentComplete(const std::wstring&, bool)
{
    show();
    emit PageLoaded();
}
