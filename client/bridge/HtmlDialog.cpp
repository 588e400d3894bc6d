#include "bridge/HtmlDialog.h"

#include "diag/DbgLog.h"
#include "bridge/HostPage.h"
#include "bridge/PageProfile.h"
#include "text/TextConv.h"

#include <QContextMenuEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QRegularExpression>
#include <QThread>
#include <QUuid>
#include <QVBoxLayout>
#include <QWebEngineHistory>
#include <QWebEngineHttpRequest>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace {

const char* const kBridgeScriptName = "orvanta-external";

// A JavaScript literal of a text (JSON is valid script).
QString ScriptLiteral(const QString& strText)
{
    const QByteArray json = QJsonDocument(QJsonArray{strText}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2));
}

// Defines window.external in the documents of the allowed origin; a document of another origin
// only reports itself once so that the window can log it. The page may replace prompt or JSON
// later; the methods keep the originals.
const char* const kBridgeTemplate = R"JS(
(function () {
  'use strict';
  var token = %1, allowed = %2, table = %3;
  var ask = window.prompt.bind(window), stringify = JSON.stringify, parse = JSON.parse;
  if (window.location.origin !== allowed) {
    try { ask(token, stringify(['', 'withheld', String(window.location.href)])); } catch (e) {}
    return;
  }
  var ext = {};
  table.forEach(function (entry) {
    var name = entry[0], form = entry[1];
    ext[name] = function (arg) {
      var text = null;
      if ((form === 'notice' || form === 'test') && arg !== undefined && arg !== null) {
        text = String(arg);
      }
      var reply = ask(token, stringify([name, form, text]));
      var value = reply === null ? null : parse(reply)[0];
      if (form === 'query') { return typeof value === 'string' ? value : ''; }
      if (form === 'test') { return value === true; }
      return undefined;
    };
  });
  Object.freeze(ext);
  try {
    Object.defineProperty(window, 'external', { value: ext, enumerable: true });
  } catch (e) {
    window.external = ext;
  }
})();
)JS";

const char* const kCallTemplate = R"JS(
(function (name, arg) {
  if (!(document instanceof HTMLDocument)) { return [-102]; }
  var f = window[name];
  if (typeof f !== 'function') { return [-202]; }
  try { f.call(window, arg); } catch (e) { return [0, null, String(e)]; }
  return [0];
})(%1, %2)
)JS";

const char* const kQueryTemplate = R"JS(
(function (name) {
  if (!(document instanceof HTMLDocument)) { return [-102]; }
  var f = window[name];
  if (typeof f !== 'function') { return [-202]; }
  var r;
  try { r = f.call(window); } catch (e) { return [0, null, String(e)]; }
  return [0, typeof r === 'string' ? r : null];
})(%1)
)JS";

QList<QPair<QByteArray, QByteArray>> ParseHeaderLines(const std::wstring& strHeaders)
{
    QList<QPair<QByteArray, QByteArray>> headers;
    const QStringList lines = ToQString(strHeaders).split(QRegularExpression(QStringLiteral("\r?\n")),
                                                          Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon <= 0) {
            continue;
        }
        headers.append({line.left(colon).trimmed().toUtf8(), line.mid(colon + 1).trimmed().toUtf8()});
    }
    return headers;
}

}  // namespace

QString PageOrigin(const QUrl& url)
{
    const QString strScheme = url.scheme().toLower();
    if (url.host().isEmpty() || (strScheme != QLatin1String("http") && strScheme != QLatin1String("https"))) {
        return {};
    }
    QUrl origin;
    origin.setScheme(strScheme);
    origin.setHost(url.host().toLower());
    const int nDefault = strScheme == QLatin1String("https") ? 443 : 80;
    if (url.port() != -1 && url.port() != nDefault) {
        origin.setPort(url.port());
    }
    return origin.toString(QUrl::FullyEncoded);
}

CHtmlDialog::CHtmlDialog(QWidget* pParent, Qt::WindowFlags flags)
    : QWidget(pParent, flags),
      m_strBridgeToken(QStringLiteral("orvanta-bridge:") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    m_pView = new QWebEngineView(this);
    m_pPage = new CHostPage(CPageProfile::Shared(), m_pView);
    m_pView->setPage(m_pPage);
    m_pView->setContextMenuPolicy(Qt::NoContextMenu);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->setSpacing(0);
    pLayout->addWidget(m_pView);

    m_pPage->SetPromptHook([this](const QUrl& origin, const QString& msg, const QString& def, QString* pResult) {
        return OnPrompt(origin, msg, def, pResult);
    });
    m_pPage->SetNavigationHook([this](const QUrl& url, QWebEnginePage::NavigationType type, bool bMainFrame) {
        OnNavigationRequest(url, type, bMainFrame);
    });
    connect(m_pPage, &QWebEnginePage::loadStarted, this, [this] {
        m_readyState = PageReadyState::Loading;
        m_setRefusedLogged.clear();
    });
    connect(m_pPage, &QWebEnginePage::urlChanged, this, [this](const QUrl& url) { SetLocation(url); });
    connect(m_pPage, &QWebEnginePage::loadFinished, this, [this](bool bOk) {
        if (m_bClosing) {
            return;
        }
        // The windows offer no way back; nothing the client navigates stays in the history.
        m_pPage->history()->clear();
        m_readyState = PageReadyState::Complete;
        const QUrl url = m_pPage->url();
        SetLocation(url);
        OnDocumentComplete(ToWide(url.toString()), bOk);
        emit DocumentComplete(url, bOk);
    });

    WatchInput(m_pView);
}

CHtmlDialog::~CHtmlDialog()
{
    // Answers that arrive while the page goes away find nobody to deliver to.
    m_bClosing = true;
    m_calls.Clear();
    m_pPage->SetPromptHook({});
    m_pPage->SetNavigationHook({});
    delete m_pView;
    m_pView = nullptr;
    m_pPage = nullptr;
}

QWebEnginePage* CHtmlDialog::Page() const
{
    return m_pPage;
}

void CHtmlDialog::SetExternalTable(CExternalTable table)
{
    m_table = std::move(table);
    InstallBridgeScript();
}

void CHtmlDialog::SetSilent(bool bSilent)
{
    m_pPage->SetSilent(bSilent);
}

std::wstring CHtmlDialog::GetLocationURL() const
{
    std::lock_guard<std::mutex> lock(m_csLocation);
    return m_strLocation;
}

void CHtmlDialog::SetLocation(const QUrl& url)
{
    std::lock_guard<std::mutex> lock(m_csLocation);
    m_strLocation = ToWide(url.toString());
}

void CHtmlDialog::Navigate(const std::wstring& strUrl, const std::wstring& strHeaders)
{
    const QUrl url(ToQString(strUrl));
    const auto headers = ParseHeaderLines(strHeaders);
    if (QThread::currentThread() != thread()) {
        QPointer<CHtmlDialog> guard(this);
        QMetaObject::invokeMethod(this, [guard, url, headers] {
            if (guard) {
                guard->StartLoad(url, false, {}, headers);
            }
        }, Qt::QueuedConnection);
        return;
    }
    StartLoad(url, false, {}, headers);
}

void CHtmlDialog::NavigatePost(const std::wstring& strUrl, const std::string& strUtf8Body)
{
    const QUrl url(ToQString(strUrl));
    const QByteArray body = QByteArray::fromStdString(strUtf8Body);
    const QList<QPair<QByteArray, QByteArray>> headers{{"Content-Type", "application/json"}};
    if (QThread::currentThread() != thread()) {
        QPointer<CHtmlDialog> guard(this);
        QMetaObject::invokeMethod(this, [guard, url, body, headers] {
            if (guard) {
                guard->StartLoad(url, true, body, headers);
            }
        }, Qt::QueuedConnection);
        return;
    }
    StartLoad(url, true, body, headers);
}

void CHtmlDialog::StartLoad(const QUrl& url, bool bPost, const QByteArray& body,
                            const QList<QPair<QByteArray, QByteArray>>& headers)
{
    if (PageOrigin(url).isEmpty()) {
        const std::wstring strUrl = ToWide(url.toString());
        DBG_LOG_W(L"navigation refused: not a web address.[%ls]", strUrl.c_str());
        return;
    }
    // The window trusts exactly the origin it was sent to; the script is renewed before the
    // load so the new document already carries it.
    m_strAllowedOrigin = PageOrigin(url);
    m_bOwnLoadPending = true;
    InstallBridgeScript();
    m_bNavigated = true;
    m_readyState = PageReadyState::Loading;
    SetLocation(url);

    QWebEngineHttpRequest request(url, bPost ? QWebEngineHttpRequest::Post : QWebEngineHttpRequest::Get);
    for (const auto& header : headers) {
        request.setHeader(header.first, header.second);
    }
    if (bPost) {
        request.setPostData(body);
    }
    m_pPage->load(request);
}

void CHtmlDialog::OnNavigationRequest(const QUrl& url, QWebEnginePage::NavigationType type,
                                      bool bMainFrame)
{
    if (!bMainFrame) {
        return;
    }
    if (type != QWebEnginePage::NavigationTypeRedirect) {
        // A new navigation: only the window's own is followed through its redirects.
        m_bFollowRedirects = m_bOwnLoadPending;
        m_bOwnLoadPending = false;
        return;
    }
    if (!m_bFollowRedirects && !m_bOwnLoadPending) {
        return;
    }
    const QString strOrigin = PageOrigin(url);
    const QUrl allowed(m_strAllowedOrigin);
    const bool bDowngrade = allowed.scheme() == QLatin1String("https") && url.scheme().toLower() != QLatin1String("https");
    if (strOrigin.isEmpty() || allowed.host().isEmpty() || bDowngrade ||
        url.host().compare(allowed.host(), Qt::CaseInsensitive) != 0) {
        // Another host is another site, whoever sent the client there, and a step down from
        // https is not the service's own: such documents are refused (and logged once) as any
        // foreign document is.
        m_bFollowRedirects = false;
        m_bOwnLoadPending = false;
        return;
    }
    if (strOrigin != m_strAllowedOrigin) {
        m_strAllowedOrigin = strOrigin;
        InstallBridgeScript();
    }
}

void CHtmlDialog::InstallBridgeScript()
{
    QWebEngineScriptCollection& scripts = m_pPage->scripts();
    for (const QWebEngineScript& old : scripts.find(QString::fromLatin1(kBridgeScriptName))) {
        scripts.remove(old);
    }
    if (m_table.Empty()) {
        return;
    }
    QJsonArray table;
    for (const ExternalMethod& m : m_table.Methods()) {
        table.append(QJsonArray{ToQString(m.strName), QString::fromWCharArray(ExternalFormName(m.form))});
    }
    // No origin yet (nothing navigated): "-" matches no document.
    const QString strAllowed = m_strAllowedOrigin.isEmpty() ? QStringLiteral("-") : m_strAllowedOrigin;
    QWebEngineScript script;
    script.setName(QString::fromLatin1(kBridgeScriptName));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(true);
    script.setSourceCode(QString::fromLatin1(kBridgeTemplate)
                             .arg(ScriptLiteral(m_strBridgeToken), ScriptLiteral(strAllowed),
                                  QString::fromUtf8(QJsonDocument(table).toJson(QJsonDocument::Compact))));
    scripts.insert(script);
}

void CHtmlDialog::LogRefusedOnce(const QString& strOrigin, const QString& strWhere)
{
    const QString key = strOrigin + QLatin1Char(' ') + strWhere;
    if (m_setRefusedLogged.contains(key)) {
        return;
    }
    m_setRefusedLogged.insert(key);
    const std::wstring strDoc = ToWide(strWhere);
    const std::wstring strAllowed = ToWide(m_strAllowedOrigin);
    DBG_LOG_W(L"window.external withheld from %ls (window origin %ls)", strDoc.c_str(), strAllowed.c_str());
}

bool CHtmlDialog::OnPrompt(const QUrl& securityOrigin, const QString& strMessage,
                           const QString& strDefault, QString* pResult)
{
    if (strMessage != m_strBridgeToken) {
        return false;
    }
    const QJsonArray call = QJsonDocument::fromJson(strDefault.toUtf8()).array();
    const QString strName = call.at(0).toString();
    const QString strOrigin = PageOrigin(securityOrigin);
    if (strOrigin.isEmpty() || strOrigin != m_strAllowedOrigin) {
        // Either the injected script reporting a foreign document, or a foreign document
        // copying a bridge call: neither gets anything.
        const QString strWhere = strName.isEmpty() ? call.at(2).toString() : securityOrigin.toString();
        LogRefusedOnce(securityOrigin.toString(), strWhere);
        return true;
    }
    if (strName.isEmpty() || m_bClosing) {
        return true;
    }
    const QJsonValue arg = call.at(2);
    const std::wstring strArg = arg.isString() ? ToWide(arg.toString()) : std::wstring();
    const ExternalResult result = m_table.Invoke(ToWide(strName), strArg);
    if (!result.bFound) {
        return true;
    }
    QJsonArray reply;
    switch (result.form) {
    case ExternalForm::Query:
        reply.append(ToQString(result.strText));
        break;
    case ExternalForm::Test:
        reply.append(result.bValue);
        break;
    case ExternalForm::Notice:
    case ExternalForm::Signal:
        reply.append(QJsonValue());
        break;
    }
    *pResult = QString::fromUtf8(QJsonDocument(reply).toJson(QJsonDocument::Compact));
    return true;
}

void CHtmlDialog::CallPageFunction(const std::wstring& strName, const std::wstring& strArg,
                                   StatusCallback done)
{
    const uint64_t nSerial = m_calls.Push([done](const PageCallResult& r) {
        if (done) {
            done(r.nStatus);
        }
    });
    RunPageCall(QString::fromLatin1(kCallTemplate).arg(ScriptLiteral(ToQString(strName)),
                                                       ScriptLiteral(ToQString(strArg))),
                false, nSerial);
}

void CHtmlDialog::CallPageQuery(const std::wstring& strName, TextCallback done)
{
    const uint64_t nSerial = m_calls.Push([done](const PageCallResult& r) {
        if (done) {
            done(r.strText);
        }
    });
    RunPageCall(QString::fromLatin1(kQueryTemplate).arg(ScriptLiteral(ToQString(strName))), true, nSerial);
}

void CHtmlDialog::RunPageCall(const QString& strScript, bool bQuery, uint64_t nSerial)
{
    if (!m_bNavigated) {
        CompleteLater(nSerial, PageCallResult{kPageNoDocument, {}});
        return;
    }
    if (!m_pPage->settings()->testAttribute(QWebEngineSettings::JavascriptEnabled)) {
        CompleteLater(nSerial, PageCallResult{kPageNoScript, {}});
        return;
    }
    QPointer<CHtmlDialog> guard(this);
    m_pPage->runJavaScript(strScript, QWebEngineScript::MainWorld, [guard, nSerial, bQuery](const QVariant& value) {
        if (!guard || guard->m_bClosing) {
            return;
        }
        PageCallResult result{kPageNoDocument, {}};
        const QVariantList list = value.toList();
        if (!list.isEmpty()) {
            result.nStatus = list.at(0).toInt();
            if (bQuery && list.size() > 1 && list.at(1).typeId() == QMetaType::QString) {
                result.strText = ToWide(list.at(1).toString());
            }
            if (list.size() > 2) {
                const std::wstring strError = ToWide(list.at(2).toString());
                DBG_LOG_W(L"page function raised: %ls", strError.c_str());
            }
        }
        guard->m_calls.Complete(nSerial, std::move(result));
    });
}

void CHtmlDialog::CompleteLater(uint64_t nSerial, PageCallResult result)
{
    // Answers never arrive inside the call, so callers see one order whatever the path.
    QPointer<CHtmlDialog> guard(this);
    QMetaObject::invokeMethod(this, [guard, nSerial, result] {
        if (guard && !guard->m_bClosing) {
            guard->m_calls.Complete(nSerial, result);
        }
    }, Qt::QueuedConnection);
}

void CHtmlDialog::OnDocumentComplete(const std::wstring&, bool)
{
}

void CHtmlDialog::WatchInput(QObject* pObject)
{
    pObject->installEventFilter(this);
    for (QObject* pChild : pObject->children()) {
        if (pChild->isWidgetType()) {
            WatchInput(pChild);
        }
    }
}

bool CHtmlDialog::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    switch (pEvent->type()) {
    case QEvent::ChildAdded: {
        // The browser's input widget appears with the first document.
        QObject* pChild = static_cast<QChildEvent*>(pEvent)->child();
        if (pChild != nullptr && pChild->isWidgetType()) {
            WatchInput(pChild);
        }
        break;
    }
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride: {
        // No reload by the user: F5 and every key pressed while it is held go nowhere.
        auto* pKey = static_cast<QKeyEvent*>(pEvent);
        if (pKey->key() == Qt::Key_F5) {
            m_bF5Held = true;
        }
        if (m_bF5Held) {
            return true;
        }
        break;
    }
    case QEvent::KeyRelease: {
        auto* pKey = static_cast<QKeyEvent*>(pEvent);
        if (pKey->key() == Qt::Key_F5 && !pKey->isAutoRepeat()) {
            m_bF5Held = false;
            return true;
        }
        if (m_bF5Held) {
            return true;
        }
        break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        if (static_cast<QMouseEvent*>(pEvent)->button() == Qt::RightButton) {
            return true;
        }
        break;
    case QEvent::ContextMenu:
        return true;
    default:
        break;
    }
    return QWidget::eventFilter(pWatched, pEvent);
}
