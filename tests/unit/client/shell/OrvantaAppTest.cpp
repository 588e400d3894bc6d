#include "MemorySettingsStore.h"
#include "shell/Orvanta.h"
#include "platform/InstanceLock.h"
#include "FakeMessagePrompt.h"

#include <gtest/gtest.h>

namespace {

class FakeLock : public IInstanceLock
{
public:
    LockResult Acquire(const std::wstring& name) override
    {
        names.push_back(name);
        return result;
    }
    void Release() override {}

    LockResult result = LockResult::Acquired;
    std::vector<std::wstring> names;
};

class OrvantaAppTest : public ::testing::Test
{
protected:
    MemorySettingsStore store;
    FakeLock lock;
    FakeMessagePrompt prompt;
    COrvantaApp app{&store, &lock, &prompt};
};

struct TokenCase
{
    const char* name;
    std::wstring commandLine;
    bool accepted;
};

void PrintTo(const TokenCase& c, std::ostream* os)
{
    *os << c.name;
}

class LaunchTokenTest : public OrvantaAppTest, public ::testing::WithParamInterface<TokenCase>
{
};

TEST_P(LaunchTokenTest, FoundAnywhereCaseSensitive)
{
    EXPECT_EQ(COrvantaApp::HasLaunchToken(GetParam().commandLine), GetParam().accepted);
}

TEST_F(OrvantaAppTest, WithoutTokenOnlyTheMessageAndNothingTaken)
{
    EXPECT_FALSE(app.InitInstance(L"[LogEnable=Y] [URL=http://a]"));
    EXPECT_TRUE(lock.names.empty());
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].first, L"라벤토");
    EXPECT_EQ(prompt.shown[0].second,
              L"정상적인 실행이 아닙니다.\r\n\r\n'라벤토' 실행 아이콘이나 OrvantaStart_Vexa를 실행 해 주십시오.");
}

INSTANTIATE_TEST_SUITE_P(
    Rules, LaunchTokenTest,
    ::testing::Values(
        TokenCase{"Empty", L"", false},
        TokenCase{"LauncherForm", L"[5C0D7E21-9A3B-4F6E-8D14-2B7A90C3E6F8] [LogEnable=Y]", true},
        TokenCase{"InsideOtherText", L"x[URL=http://a]5C0D7E21-9A3B-4F6E-8D14-2B7A90C3E6F8[PORT=1]", true},
        TokenCase{"LowerCase", L"[5c0d7e21-9a3b-4f6e-8d14-2b7a90c3e6f8]", false},
        TokenCase{"Truncated", L"[5C0D7E21-9A3B-4F6E-8D14-2B7A90C3E6F]", false}),
    [](const auto& info) { return std::string(info.param.name); });

struct AddressCase
{
    const char* name;
    std::wstring commandLine;
    std::wstring url;
    int port;
};

void PrintTo(const AddressCase& c, std::ostream* os)
{
    *os << c.name;
}

class ServerAddressTest : public OrvantaAppTest, public ::testing::WithParamInterface<AddressCase>
{
};

TEST_P(ServerAddressTest, AppliesUrlAndPortTokens)
{
    const std::wstring defaultUrl = app.m_strServerUrl;
    app.SetServerAddress(GetParam().commandLine);
    EXPECT_EQ(app.m_strServerUrl, GetParam().url.empty() ? defaultUrl : GetParam().url);
    EXPECT_EQ(app.m_nServerPort, GetParam().port);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ServerAddressTest,
    ::testing::Values(
        AddressCase{"None", L"[GUID]", L"", -1},
        AddressCase{"Both", L"[PORT=8443] [URL=https://svc.example]", L"https://svc.example", 8443},
        AddressCase{"EmptyUrlKeepsDefault", L"[URL=] [URL=https://b]", L"", -1},
        AddressCase{"UnclosedUrlKeepsDefault", L"[URL=https://b", L"", -1},
        AddressCase{"LettersPortIsZero", L"[PORT=abc]", L"", 0},
        AddressCase{"LeadingDigitsCount", L"[PORT=80x]", L"", 80}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(OrvantaAppTest, NineCharacterVersionIsCachedForTheRun)
{
    store.WriteString(L"Install", L"Version", L"001002003");
    EXPECT_EQ(app.GetInstalledVersion(), L"001002003");
    store.WriteString(L"Install", L"Version", L"009009009");
    const int reads = store.reads;
    EXPECT_EQ(app.GetInstalledVersion(), L"001002003");
    EXPECT_EQ(store.reads, reads);
}

TEST_F(OrvantaAppTest, OtherLengthsAreNeverCachedAndReadAgain)
{
    EXPECT_EQ(app.GetInstalledVersion(), L"");
    store.WriteString(L"Install", L"Version", L"0010020030");
    EXPECT_EQ(app.GetInstalledVersion(), L"");
    const int reads = store.reads;
    EXPECT_EQ(app.GetInstalledVersion(), L"");
    EXPECT_GT(store.reads, reads);
    store.WriteString(L"Install", L"Version", L"001002004");
    EXPECT_EQ(app.GetInstalledVersion(), L"001002004");
}

TEST_F(OrvantaAppTest, MutexResultFollowsTheLock)
{
    const std::pair<LockResult, int> cases[] = {
        {LockResult::Acquired, 1}, {LockResult::AlreadyExists, 0}, {LockResult::OtherError, 0}};
    for (const auto& [result, expected] : cases) {
        lock.result = result;
        EXPECT_EQ(app.CreateMutexIfNotExists(kInstanceMutexName), expected);
    }
    EXPECT_EQ(lock.names.back(), L"Global\\74744AA9-DECA-4877-AC53-1703C170986A");
}

}  // namespace
