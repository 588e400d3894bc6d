// The version-check server's answer, as the launcher's engine reads it (raw bytes of the body),
// with its log switched on so the lines that quote the answer are formatted too.
#include "FuzzInput.h"

#include "core/U_HttpDown.h"
#include "core/VersionCheck.h"
#include "diag/DbgLog.h"
#include "platform/SettingsStore.h"
#include "text/TextConv.h"

#include <cstdlib>

namespace {

// Log option 2 (debug output) for every name; the installed version of a real install.
class LogOnStore : public ISettingsStore
{
public:
    bool KeyExists(const std::wstring&) const override { return true; }
    bool CreateKey(const std::wstring&) override { return true; }
    std::optional<std::wstring> ReadString(const std::wstring& key,
                                           const std::wstring& name) const override
    {
        if (key == L"Install" && name == L"Version") {
            return std::wstring(L"001000001");
        }
        return std::wstring(L"2");
    }
    bool WriteString(const std::wstring&, const std::wstring&, const std::wstring&) override { return true; }
    bool RemoveValue(const std::wstring&, const std::wstring&) override { return true; }
};

LogOnStore g_store;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    EnsureUtf8Locale();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CDbgLog log(&g_store, nullptr);
    static bool bSink = (log.SetDebugOutput([](const std::wstring&) {}), true);
    (void)bSink;

    const std::string strAnswer = BytesOf(data, size);
    const std::optional<VersionAnswer> answer = ParseVersionAnswer(strAnswer);
    const int nFlag = DecideUpdateFlag(answer);

    U_HttpDown engine(VersionCheckConfig{}, &g_store, &log);
    const int nResponse = engine.GetResponse(strAnswer);
    // Both readings of one answer must agree; the engine keeps what it read.
    if (nResponse != nFlag || (!answer && nFlag != kUpdateFlagNotJson)) {
        std::abort();
    }
    if (answer && engine.State().llExpectedSize != answer->llUpdateSize) {
        std::abort();
    }
    if (answer && (answer->llUpdateSize < -1 || answer->llUpdateSize > kMaxUpdateSize)) {
        std::abort();
    }
    return 0;
}
