#pragma once
#include "HtmlDialog.h"

class CMainFrm;

// An alert: a page of the service in its own framed window, shown once its page has loaded.
class CNotiDlg : public CHtmlDialog
{
    Q_OBJECT
public:
    CNotiDlg(CMainFrm* pFrame, std::wstring strUrl);

    void OnInitDialog();
    void FE_ALERT_Close(const std::wstring& strArg);

    void SetOuterSize(int nWidth, int nHeight)
    {
        m_nWidth = nWidth;
        m_nHeight = nHeight;
    }
    const std::wstring& Url() const { return m_strUrl; }

protected:
    void OnDocumentComplete(const std::wstring& strUrl, bool bOk) override;

private:
    CMainFrm* m_pFrame;
    std::wstring m_strUrl;
    int m_nWidth = 0;
    int m_nHeight = 0;
};
