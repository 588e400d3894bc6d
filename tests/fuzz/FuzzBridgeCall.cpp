// A page's call through window.external: the text the bridge script hands the window
// ([name, token, argument] as JSON), decoded the way the window's prompt handler decodes it
// (that handler needs a browser, so its few decoding lines are repeated here), then dispatched
// by the external method table to handlers that read the argument as the main page's do.
#include "FuzzInput.h"

#include "bridge/ExternalTable.h"
#include "logic/CidNotify.h"
#include "logic/CidOption.h"
#include "logic/JsonText.h"
#include "text/TextConv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QString>

#include <cstdlib>

namespace {

CidNotifyContext Context()
{
    CidNotifyContext context;
    context.strServerUrl = L"http://127.0.0.1";
    context.nServerPort = 8470;
    context.strLoginSession = L"demo-session";
    context.nManagerCidType = 21;
    return context;
}

// Handlers that let a conversion error through, so the table's own catch is what stops them.
CExternalTable MakeTable()
{
    using M = ExternalMethod;
    auto notify = [](CidNotiKind kind) {
        return [kind](const std::wstring& strArg) { (void)MakeCidRequest(kind, strArg, Context()); };
    };
    return CExternalTable{
        M::Notice(L"FE_MAIN_Call_Send_Noti", notify(CidNotiKind::CallSend)),
        M::Notice(L"FE_MAIN_Call_Recv_Noti", notify(CidNotiKind::CallRecv)),
        M::Notice(L"FE_MAIN_Msg_Recv_Noti", notify(CidNotiKind::MsgRecv)),
        M::Notice(L"FE_MAIN_SchR_Recv_Noti",
                  [](const std::wstring& strArg) { (void)MakeScheduleText(strArg, L"demo-session"); }),
        M::Notice(L"FE_MAIN_CidOpt_Change",
                  [](const std::wstring& strArg) {
                      Json::Value root;
                      if (ParseJsonText(strArg, root)) {
                          (void)CidApplyOption(CidDisplayOptions{}, CidOptionFromChange(root));
                      }
                  }),
        M::Notice(L"FE_MAIN_Login",
                  [](const std::wstring& strArg) {
                      Json::Value root;
                      if (ParseJsonText(strArg, root)) {
                          (void)JsonGetBool(root, "autoRunOpt", false);
                          (void)JsonGetText(root, "loginSession");
                          (void)CidOptionFromLogin(root);
                      }
                  }),
        M::Test(L"FE_MAIN_Foreground",
                [](const std::wstring& strArg) {
                    Json::Value root;
                    return ParseJsonText(strArg, root) && JsonGetBool(root, "setForeground", false);
                }),
        M::Query(L"FE_CID_Get_ClientVersion", [] { return std::wstring(L"001000001"); }),
        M::Signal(L"FE_CID_Close", [] {}),
    };
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    EnsureUtf8Locale();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const CExternalTable table = MakeTable();

    const QString strDefault = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QJsonArray call = QJsonDocument::fromJson(strDefault.toUtf8()).array();
    const QString strName = call.at(0).toString();
    if (strName.isEmpty()) {
        return 0;
    }
    const QJsonValue arg = call.at(2);
    const std::wstring strArg = arg.isString() ? ToWide(arg.toString()) : std::wstring();
    const ExternalResult result = table.Invoke(ToWide(strName), strArg);
    if (result.bFound != (table.Find(ToWide(strName)) != nullptr)) {
        std::abort();
    }
    // The reply the window builds from the result.
    QJsonArray reply;
    if (result.form == ExternalForm::Query) {
        reply.append(ToQString(result.strText));
    } else if (result.form == ExternalForm::Test) {
        reply.append(result.bValue);
    } else {
        reply.append(QJsonValue());
    }
    (void)QJsonDocument(reply).toJson(QJsonDocument::Compact);
    return 0;
}
