#pragma once
#include <functional>
#include <string>
#include <vector>

// How a page calls one external method, and what it gets back.
enum class ExternalForm
{
    Notice,  // one text, no result
    Signal,  // no argument, no result
    Query,   // no argument, a text
    Test,    // one text, a boolean
};

// One entry of a window's external method table.
struct ExternalMethod
{
    std::wstring strName;
    ExternalForm form = ExternalForm::Notice;
    std::function<void(const std::wstring&)> notice;
    std::function<void()> signal;
    std::function<std::wstring()> query;
    std::function<bool(const std::wstring&)> test;

    static ExternalMethod Notice(std::wstring strName, std::function<void(const std::wstring&)> fn);
    static ExternalMethod Signal(std::wstring strName, std::function<void()> fn);
    static ExternalMethod Query(std::wstring strName, std::function<std::wstring()> fn);
    static ExternalMethod Test(std::wstring strName, std::function<bool(const std::wstring&)> fn);

    // Member-function forms, for a window publishing its own handlers.
    template <class T>
    static ExternalMethod Notice(std::wstring strName, T* pThis, void (T::*pfn)(const std::wstring&))
    {
        return Notice(std::move(strName), [pThis, pfn](const std::wstring& a) { (pThis->*pfn)(a); });
    }
    template <class T>
    static ExternalMethod Signal(std::wstring strName, T* pThis, void (T::*pfn)())
    {
        return Signal(std::move(strName), [pThis, pfn]() { (pThis->*pfn)(); });
    }
    template <class T>
    static ExternalMethod Query(std::wstring strName, T* pThis, std::wstring (T::*pfn)())
    {
        return Query(std::move(strName), [pThis, pfn]() { return (pThis->*pfn)(); });
    }
    template <class T>
    static ExternalMethod Test(std::wstring strName, T* pThis, bool (T::*pfn)(const std::wstring&))
    {
        return Test(std::move(strName), [pThis, pfn](const std::wstring& a) { return (pThis->*pfn)(a); });
    }
};

// What a call answered: nothing, a text (query) or a boolean (test).
struct ExternalResult
{
    bool bFound = false;  // the name is in the table
    ExternalForm form = ExternalForm::Notice;
    std::wstring strText;
    bool bValue = false;
};

// A window's external method table: the names its pages reach as window.external.<name>.
class CExternalTable
{
public:
    CExternalTable() = default;
    CExternalTable(std::initializer_list<ExternalMethod> methods);

    // A later entry of the same name replaces the earlier one.
    void Add(ExternalMethod method);
    const ExternalMethod* Find(const std::wstring& strName) const;
    const std::vector<ExternalMethod>& Methods() const { return m_methods; }
    bool Empty() const { return m_methods.empty(); }

    // Runs the handler to its end. A handler that throws (a JSON member of a type that cannot be
    // converted, most often) stops there with one log line; the page then gets the form's empty
    // result and the client carries on.
    ExternalResult Invoke(const std::wstring& strName, const std::wstring& strArg) const;

private:
    std::vector<ExternalMethod> m_methods;
};

const wchar_t* ExternalFormName(ExternalForm form);
