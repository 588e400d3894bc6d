#pragma once
#include <QWebEnginePage>

#include <functional>

// The web page of a page window. Bridge calls arrive through its script prompt hook; the
// window decides what they mean. Other script dialogs are dropped in silent mode.
class CHostPage : public QWebEnginePage
{
    Q_OBJECT
public:
    // True when the prompt belongs to the bridge; *pResult stays null for a refused call.
    using PromptHook = std::function<bool(const QUrl& securityOrigin, const QString& strMessage,
                                          const QString& strDefault, QString* pResult)>;

    // Sees every navigation request (the load itself and each server redirect) before it goes.
    using NavigationHook = std::function<void(const QUrl& url, NavigationType type, bool bMainFrame)>;

    CHostPage(QWebEngineProfile* pProfile, QObject* pParent);

    void SetNavigationHook(NavigationHook hook) { m_navigationHook = std::move(hook); }

    void SetPromptHook(PromptHook hook) { m_promptHook = std::move(hook); }
    void SetSilent(bool bSilent) { m_bSilent = bSilent; }
    bool IsSilent() const { return m_bSilent; }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool bMainFrame) override;
    bool javaScriptPrompt(const QUrl& securityOrigin, const QString& msg,
                          const QString& defaultValue, QString* result) override;
    void javaScriptAlert(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int lineNumber, const QString& sourceID) override;

private:
    PromptHook m_promptHook;
    NavigationHook m_navigationHook;
    bool m_bSilent = false;
};
