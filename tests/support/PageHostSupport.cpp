#include "PageHostSupport.h"

#include "diag/DbgLog.h"
#include "text/TextConv.h"

#include <QSignalSpy>
#include <QWebEnginePage>

#include <fstream>
#include <sstream>

QVariant RunScript(CHtmlDialog& dialog, const QString& strScript, int nTimeoutMs)
{
    auto done = std::make_shared<bool>(false);
    auto value = std::make_shared<QVariant>();
    dialog.Page()->runJavaScript(strScript, [done, value](const QVariant& v) {
        *value = v;
        *done = true;
    });
    WaitUntil([done] { return *done; }, nTimeoutMs);
    return *value;
}

QString JsLiteral(const QString& strText)
{
    const QByteArray json = QJsonDocument(QJsonArray{strText}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2));
}

bool LoadAndWait(CHtmlDialog& dialog, const std::wstring& strUrl, const std::wstring& strHeaders)
{
    QSignalSpy spy(&dialog, &CHtmlDialog::DocumentComplete);
    dialog.Navigate(strUrl, strHeaders);
    return WaitUntil([&] { return spy.count() > 0; }) && spy.takeFirst().at(1).toBool();
}

std::string LogText()
{
    std::ifstream in(WideToAnsi(g_DbgLog.LogPath()), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    // The log is UTF-16LE, each line opening with its own byte-order mark.
    const std::string raw = bytes.str();
    QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(raw.data()),
                                      static_cast<qsizetype>(raw.size() / 2));
    text.remove(QChar(0xFEFF));
    return text.toStdString();
}

size_t CountOccurrences(const std::string& strText, const std::string& strNeedle)
{
    size_t n = 0;
    for (size_t at = strText.find(strNeedle); at != std::string::npos;
         at = strText.find(strNeedle, at + strNeedle.size())) {
        ++n;
    }
    return n;
}

LocalSite::LocalSite()
{
    m_server.set_post_routing_handler([this](const httplib::Request& req, httplib::Response&) {
        m_requests.Record(req);
    });
    auto serve = [this](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(m_cs);
        auto it = m_pages.find(req.path);
        if (it == m_pages.end()) {
            res.status = 404;
            return;
        }
        res.set_header("Cache-Control", "no-store");
        res.set_content(it->second.first, it->second.second.c_str());
    };
    m_server.Get(R"(/page/.*)", serve);
    m_server.Post(R"(/page/.*)", serve);
    m_nPort = m_server.bind_to_any_port("127.0.0.1");
}

void LocalSite::Start()
{
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
}

LocalSite::~LocalSite()
{
    m_server.stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void LocalSite::AddPage(const std::string& path, const std::string& body, const std::string& contentType)
{
    std::lock_guard<std::mutex> lock(m_cs);
    m_pages[path] = {body, contentType};
}

std::wstring LocalSite::Url(const std::string& path) const
{
    return Utf8ToWide(Origin() + path);
}

std::string LocalSite::Origin() const
{
    return "http://127.0.0.1:" + std::to_string(m_nPort);
}
