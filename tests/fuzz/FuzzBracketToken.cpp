// A program's command line as its start-up reads it: the arguments joined into one text in the
// locale's character set, then searched for "[Name=value]" tokens; numbers read with WideToInt.
#include "FuzzInput.h"

#include "text/BracketToken.h"
#include "text/TextConv.h"

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    EnsureUtf8Locale();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::wstring commandLine = AnsiToWide(BytesOf(data, size));
    for (const wchar_t* opening : {L"[VerSrvIpPort=", L"[IsVerTest=", L"[LogEnable=", L"[URL=", L"[PORT=", L"["}) {
        const std::optional<std::wstring> value = FindBracketToken(commandLine, opening);
        if (value) {
            if (value->empty() || value->size() > commandLine.size()) {
                std::abort();
            }
            (void)WideToInt(*value);
        }
    }
    (void)WideToInt(commandLine);
    return 0;
}
