#pragma once
#include "bridge/ExternalTable.h"
#include "bridge/PageCallQueue.h"

#include <QSet>
#include <QString>
#include <QUrl>
#include <QWebEnginePage>
#include <QWidget>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

class CHostPage;
class QWebEnginePage;
class QWebEngineView;

// Status of a call into a page function.
inline constexpr int kPageCallOk = 0;
inline constexpr int kPageNoDocument = -101;
inline constexpr int kPageNotHtml = -102;
inline constexpr int kPageNoScript = -201;
inline constexpr int kPageNoFunction = -202;

// The browser's ready state, as a worker thread reads it.
enum class PageReadyState : int
{
    Uninitialized = 0,
    Loading = 1,
    Complete = 4,
};

// Base of every window that hosts a page of the service (main page window, popup, alert).
//
// Page to window: the window's external method table appears as window.external.<name> in
// every document it loads from the origin the window was navigated to, before the page's own
// scripts run. A call is synchronous for the page. Documents of any other origin get nothing.
// The origin follows the server's redirects of the window's own navigation while they stay on
// the same host (http to https, another port or path); a redirect to another host is not
// followed. Only http and https addresses are loaded.
//
// Window to page: CallPageFunction and CallPageQuery answer through a callback, later, on the
// user-interface thread, in call order. Handlers and callbacks must not delete the window
// themselves; they post the work, as the windows' messages do.
class CHtmlDialog : public QWidget
{
    Q_OBJECT
public:
    using StatusCallback = std::function<void(int nStatus)>;
    using TextCallback = std::function<void(const std::wstring& strText)>;

    explicit CHtmlDialog(QWidget* pParent = nullptr, Qt::WindowFlags flags = {});
    ~CHtmlDialog() override;

    // Publishing: documents created after this call see the table.
    void SetExternalTable(CExternalTable table);
    const CExternalTable& ExternalTable() const { return m_table; }

    // Navigation, from any thread (a worker's call is carried over to the window's thread).
    // strHeaders: extra request lines "Name: value", separated by line breaks.
    void Navigate(const std::wstring& strUrl, const std::wstring& strHeaders = {});
    // A POST with "Content-Type: application/json" and the UTF-8 body.
    void NavigatePost(const std::wstring& strUrl, const std::string& strUtf8Body);

    PageReadyState GetReadyState() const { return m_readyState.load(); }
    // The address of the document last loaded or being loaded; any thread.
    std::wstring GetLocationURL() const;

    // Silent: the page's script dialogs are dropped instead of shown.
    void SetSilent(bool bSilent);

    // Calls the page's global function `strName` with one text argument; `done` gets the
    // status (kPageCallOk, kPageNoDocument, kPageNotHtml, kPageNoScript, kPageNoFunction).
    void CallPageFunction(const std::wstring& strName, const std::wstring& strArg,
                          StatusCallback done = {});
    // Calls the page's function without arguments and hands its text result to `done`;
    // empty on any failure or when the result is not text.
    void CallPageQuery(const std::wstring& strName, TextCallback done);

    QWebEngineView* View() const { return m_pView; }
    QWebEnginePage* Page() const;

signals:
    // The main document finished loading (also when it failed and shows an error page).
    void DocumentComplete(const QUrl& url, bool bOk);

protected:
    // Derived windows react to a completed document here.
    virtual void OnDocumentComplete(const std::wstring& strUrl, bool bOk);

    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    void StartLoad(const QUrl& url, bool bPost, const QByteArray& body,
                   const QList<QPair<QByteArray, QByteArray>>& headers);
    void InstallBridgeScript();
    bool OnPrompt(const QUrl& securityOrigin, const QString& strMessage,
                  const QString& strDefault, QString* pResult);
    void LogRefusedOnce(const QString& strOrigin, const QString& strWhere);
    void RunPageCall(const QString& strScript, bool bQuery, uint64_t nSerial);
    void CompleteLater(uint64_t nSerial, PageCallResult result);
    void SetLocation(const QUrl& url);
    void OnNavigationRequest(const QUrl& url, QWebEnginePage::NavigationType type, bool bMainFrame);
    void WatchInput(QObject* pObject);

    QWebEngineView* m_pView = nullptr;
    CHostPage* m_pPage = nullptr;
    CExternalTable m_table;
    QString m_strBridgeToken;
    QString m_strAllowedOrigin;  // "scheme://host:port" of the client's own navigation
    QSet<QString> m_setRefusedLogged;
    bool m_bNavigated = false;
    bool m_bOwnLoadPending = false;  // the window's own load has not reached the browser yet
    bool m_bFollowRedirects = false;  // the current main-frame navigation is the window's own
    bool m_bF5Held = false;
    bool m_bClosing = false;
    CPageCallQueue m_calls;
    std::atomic<PageReadyState> m_readyState{PageReadyState::Uninitialized};
    mutable std::mutex m_csLocation;
    std::wstring m_strLocation;
};

// "scheme://host:port" of an address (port filled in for http and https); empty when the
// address has no host (about:, data:, file:).
QString PageOrigin(const QUrl& url);
