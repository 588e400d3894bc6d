#pragma once
#include "bridge/HtmlDialog.h"
#include "RequestRecorder.h"
#include "WaitUntil.h"

#include <httplib.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QString>
#include <QVariant>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// Runs a script in the main world of the dialog's page and waits for its value.
QVariant RunScript(CHtmlDialog& dialog, const QString& strScript, int nTimeoutMs = 30000);

// A JavaScript literal of a text.
QString JsLiteral(const QString& strText);

// Loads `strUrl` (GET) and waits until the document has completed.
bool LoadAndWait(CHtmlDialog& dialog, const std::wstring& strUrl, const std::wstring& strHeaders = {});

// The debug log written so far, as UTF-8.
std::string LogText();
size_t CountOccurrences(const std::string& strText, const std::string& strNeedle);

// A small HTTP server on an ephemeral port, in its own thread, serving fixed pages and
// remembering every request.
class LocalSite
{
public:
    LocalSite();
    ~LocalSite();

    void AddPage(const std::string& path, const std::string& body,
                 const std::string& contentType = "text/html; charset=utf-8");
    std::wstring Url(const std::string& path) const;
    std::string Origin() const;
    int Port() const { return m_nPort; }
    RequestRecorder& Requests() { return m_requests; }
    httplib::Server& Server() { return m_server; }
    // Begins serving (the port already accepts connections); pages added later are served too.
    void Start();

private:
    httplib::Server m_server;
    RequestRecorder m_requests;
    std::mutex m_cs;
    std::map<std::string, std::pair<std::string, std::string>> m_pages;
    std::thread m_thread;
    int m_nPort = 0;
};
