#include "bridge/ExternalTable.h"

#include "diag/DbgLog.h"
#include "text/TextConv.h"

#include <exception>

ExternalMethod ExternalMethod::Notice(std::wstring strName, std::function<void(const std::wstring&)> fn)
{
    ExternalMethod m;
    m.strName = std::move(strName);
    m.form = ExternalForm::Notice;
    m.notice = std::move(fn);
    return m;
}

ExternalMethod ExternalMethod::Signal(std::wstring strName, std::function<void()> fn)
{
    ExternalMethod m;
    m.strName = std::move(strName);
    m.form = ExternalForm::Signal;
    m.signal = std::move(fn);
    return m;
}

ExternalMethod ExternalMethod::Query(std::wstring strName, std::function<std::wstring()> fn)
{
    ExternalMethod m;
    m.strName = std::move(strName);
    m.form = ExternalForm::Query;
    m.query = std::move(fn);
    return m;
}

ExternalMethod ExternalMethod::Test(std::wstring strName, std::function<bool(const std::wstring&)> fn)
{
    ExternalMethod m;
    m.strName = std::move(strName);
    m.form = ExternalForm::Test;
    m.test = std::move(fn);
    return m;
}

const wchar_t* ExternalFormName(ExternalForm form)
{
    switch (form) {
    case ExternalForm::Notice:
        return L"notice";
    case ExternalForm::Signal:
        return L"signal";
    case ExternalForm::Query:
        return L"query";
    case ExternalForm::Test:
        return L"test";
    }
    return L"notice";
}

CExternalTable::CExternalTable(std::initializer_list<ExternalMethod> methods)
{
    for (const ExternalMethod& m : methods) {
        Add(m);
    }
}

void CExternalTable::Add(ExternalMethod method)
{
    for (ExternalMethod& existing : m_methods) {
        if (existing.strName == method.strName) {
            existing = std::move(method);
            return;
        }
    }
    m_methods.push_back(std::move(method));
}

const ExternalMethod* CExternalTable::Find(const std::wstring& strName) const
{
    for (const ExternalMethod& m : m_methods) {
        if (m.strName == strName) {
            return &m;
        }
    }
    return nullptr;
}

ExternalResult CExternalTable::Invoke(const std::wstring& strName, const std::wstring& strArg) const
{
    ExternalResult result;
    const ExternalMethod* pMethod = Find(strName);
    if (pMethod == nullptr) {
        return result;
    }
    result.bFound = true;
    result.form = pMethod->form;
    try {
        switch (pMethod->form) {
        case ExternalForm::Notice:
            if (pMethod->notice) {
                pMethod->notice(strArg);
            }
            break;
        case ExternalForm::Signal:
            if (pMethod->signal) {
                pMethod->signal();
            }
            break;
        case ExternalForm::Query:
            if (pMethod->query) {
                result.strText = pMethod->query();
            }
            break;
        case ExternalForm::Test:
            if (pMethod->test) {
                result.bValue = pMethod->test(strArg);
            }
            break;
        }
    } catch (const std::exception& e) {
        const std::wstring strWhat = AnsiToWide(e.what());
        DBG_LOG_W(L"%ls stopped: %ls", strName.c_str(), strWhat.c_str());
        result.strText.clear();
        result.bValue = false;
    }
    return result;
}
