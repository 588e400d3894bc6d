#pragma once
#include "bridge/HtmlDialog.h"

#include <QPointer>

// An alert: a page of the service in its own framed window, shown once its page has loaded.
class CNotiDlg : public CHtmlDialog
{
    Q_OBJECT
public:
    // pFrame: the alert frame hosting it; pAlertOwner: the main page window that deletes the
    // frame when the page asks to close.
    CNotiDlg(QWidget* pFrame, QObject* pAlertOwner, std::wstring strUrl);

    void OnInitDialog();
    void FE_ALERT_Close(const std::wstring& strArg);

    void SetOuterSize(int nWidth, int nHeight)
    {
        m_nWidth = nWidth;
        m_nHeight = nHeight;
    }
    const std::wstring& Url() const { return m_strUrl; }

signals:
    // The page has loaded: the frame may place and show itself now.
    void PageLoaded();

protected:
    void OnDocumentComplete(const std::wstring& strUrl, bool bOk) override;

private:
    QWidget* m_pFrame;
    QPointer<QObject> m_pAlertOwner;
    std::wstring m_strUrl;
    int m_nWidth = 0;
    int m_nHeight = 0;
};
