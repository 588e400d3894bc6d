// A call, message or schedule notification's text, as the main page hands it over, turned into
// the popup request and its post data.
#include "FuzzInput.h"

#include "logic/CidNotify.h"
#include "text/TextConv.h"

#include <cstdlib>
#include <cwchar>
#include <exception>

namespace {

template <size_t N>
void CheckTerminated(const wchar_t (&field)[N])
{
    if (std::wmemchr(field, L'\0', N) == nullptr) {
        std::abort();
    }
}

void CheckRequest(const CidRequest& r)
{
    CheckTerminated(r.szUrl);
    CheckTerminated(r.szPostData);
    CheckTerminated(r.szCallerPhone);
    CheckTerminated(r.szTeleCode);
    CheckTerminated(r.szCalleePhone);
    CheckTerminated(r.szTime);
    CheckTerminated(r.szNotiFlag);
    CheckTerminated(r.szMsg);
    CheckTerminated(r.szMsgType);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    EnsureUtf8Locale();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::wstring strArg = PageTextFromBytes(data, size);

    CidNotifyContext context;
    context.strServerUrl = L"http://127.0.0.1";
    context.nServerPort = 8470;
    context.strLoginSession = L"demo-session";
    // The first byte says whether the popup manager exists (it adds its type to a message).
    if (size > 0 && (data[0] & 1) != 0) {
        context.nManagerCidType = 21;
    }
    for (CidNotiKind kind : {CidNotiKind::CallSend, CidNotiKind::CallRecv, CidNotiKind::MsgRecv}) {
        // The router lets a member of the wrong type stop the handler, as here.
        try {
            const CidNotifyResult result = MakeCidRequest(kind, strArg, context);
            if (result.pRequest) {
                if (!result.bParsed) {
                    std::abort();
                }
                CheckRequest(*result.pRequest);
            }
        } catch (const std::exception&) {
        }
    }
    try {
        (void)MakeScheduleText(strArg, context.strLoginSession);
    } catch (const std::exception&) {
    }
    return 0;
}
