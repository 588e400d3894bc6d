#include "text/BracketToken.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct TokenCase
{
    const char* name;
    std::wstring commandLine;
    std::wstring opening;
    std::optional<std::wstring> expected;
};

void PrintTo(const TokenCase& c, std::ostream* os)
{
    *os << c.name;
}

class BracketTokenTest : public ::testing::TestWithParam<TokenCase>
{
};

TEST_P(BracketTokenTest, ReadsFirstOccurrenceOnly)
{
    EXPECT_EQ(FindBracketToken(GetParam().commandLine, GetParam().opening), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, BracketTokenTest,
    ::testing::Values(
        TokenCase{"Absent", L"[LogEnable=Y]", L"[URL=", std::nullopt},
        TokenCase{"Plain", L"[GUID] [URL=http://a.example] x", L"[URL=", L"http://a.example"},
        TokenCase{"VerbatimWithBlanks", L"[URL= http://a b ]", L"[URL=", L" http://a b "},
        TokenCase{"EmptyValueIgnored", L"[URL=][URL=http://b]", L"[URL=", std::nullopt},
        TokenCase{"NoClosingBracket", L"[URL=http://a", L"[URL=", std::nullopt},
        TokenCase{"FirstOfTwoWins", L"[URL=http://a] [URL=http://b]", L"[URL=", L"http://a"},
        TokenCase{"CaseSensitive", L"[url=http://a]", L"[URL=", std::nullopt},
        TokenCase{"ClosingBracketOfLaterToken", L"[URL=http://a [PORT=1]", L"[URL=", L"http://a [PORT=1"},
        TokenCase{"AnyPosition", L"x[PORT=8080]y", L"[PORT=", L"8080"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WideToIntTest, ReadsLeadingDigitsLikeTheRuntime)
{
    const std::pair<std::wstring, int> cases[] = {
        {L"8080", 8080}, {L"80ab", 80}, {L"abc", 0}, {L"", 0}, {L" 12", 12},
        {L"-5", -5},     {L"+7", 7},    {L"99999999999", 2147483647},
    };
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(WideToInt(text), value) << std::string(text.begin(), text.end());
    }
}

TEST(HelpOptionTest, OnlyAWholeHelpArgumentAsksForHelp)
{
    struct Case
    {
        std::vector<const char*> args;
        bool help;
    };
    const Case cases[] = {
        {{"prog"}, false},
        {{"prog", "--help"}, true},
        {{"prog", "[LogEnable=Y]", "-h"}, true},
        {{"prog", "--helpme"}, false},
        {{"prog", "[URL=--help]"}, false},
        {{"prog", "-H"}, false},
    };
    for (const Case& c : cases) {
        std::vector<char*> argv;
        for (const char* a : c.args) {
            argv.push_back(const_cast<char*>(a));
        }
        EXPECT_EQ(HasHelpOption(static_cast<int>(argv.size()), argv.data()), c.help) << argv.back();
    }
}

}  // namespace
