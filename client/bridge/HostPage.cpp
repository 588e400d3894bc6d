#include "bridge/HostPage.h"

#include "diag/DbgLog.h"
#include "text/TextConv.h"

CHostPage::CHostPage(QWebEngineProfile* pProfile, QObject* pParent)
    : QWebEnginePage(pProfile, pParent)
{
}

bool CHostPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool bMainFrame)
{
    if (m_navigationHook) {
        m_navigationHook(url, type, bMainFrame);
    }
    return QWebEnginePage::acceptNavigationRequest(url, type, bMainFrame);
}

bool CHostPage::javaScriptPrompt(const QUrl& securityOrigin, const QString& msg,
                                 const QString& defaultValue, QString* result)
{
    if (m_promptHook) {
        QString strAnswer;
        if (m_promptHook(securityOrigin, msg, defaultValue, &strAnswer)) {
            // A refused bridge call answers null in the page.
            if (strAnswer.isNull()) {
                return false;
            }
            *result = strAnswer;
            return true;
        }
    }
    if (m_bSilent) {
        return false;
    }
    return QWebEnginePage::javaScriptPrompt(securityOrigin, msg, defaultValue, result);
}

void CHostPage::javaScriptAlert(const QUrl& securityOrigin, const QString& msg)
{
    if (!m_bSilent) {
        QWebEnginePage::javaScriptAlert(securityOrigin, msg);
    }
}

bool CHostPage::javaScriptConfirm(const QUrl& securityOrigin, const QString& msg)
{
    if (m_bSilent) {
        return false;
    }
    return QWebEnginePage::javaScriptConfirm(securityOrigin, msg);
}

void CHostPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level,
                                         const QString& message, int lineNumber,
                                         const QString& sourceID)
{
    // Script errors never reach the user; support staff find them in the log.
    if (level == ErrorMessageLevel) {
        const std::wstring strMessage = ToWide(message);
        const std::wstring strSource = ToWide(sourceID);
        DBG_LOG_W(L"script error: %ls (%ls:%d)", strMessage.c_str(), strSource.c_str(), lineNumber);
    }
}
