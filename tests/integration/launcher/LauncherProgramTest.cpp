// The launcher program itself, copied into a folder of its own so its log lands there.
#include "LogReader.h"
#include "TempDir.h"
#include "text/TextConv.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QFile>

#include <cstdlib>
#include <sys/wait.h>

namespace {
int RunLauncher(const TempDir& dir, const std::string& args)
{
    const std::string folder = dir.QPath().toStdString();
    const std::string cmd = "cd '" + folder + "' && QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME='" + folder + "/config' ./OrvantaStart_Vexa " +
                            args + " 2>/dev/null";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class LauncherProgram : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* bin = std::getenv("ORVANTA_BIN_DIR");
        ASSERT_NE(bin, nullptr);
        ASSERT_TRUE(QFile::copy(QString::fromUtf8(bin) + "/OrvantaStart_Vexa", m_dir.QPath() + "/OrvantaStart_Vexa"));
        m_logPath = m_dir.QPath().toStdString() + "/Log/OrvantaStart_" +
                    QDate::currentDate().toString("yyyy-MM-dd").toStdString() + ".txt";
    }
    TempDir m_dir;
    std::string m_logPath;
};

TEST_F(LauncherProgram, WritesItsShortTaggedLinesBesideItselfAndEnds)
{
    ASSERT_EQ(RunLauncher(m_dir, "'[LogEnable=Y]' '[VerSrvIpPort=10.9.8.7:8470]' '[IsVerTest=1]'"), 0);

    const auto lines = ReadLogLines(m_logPath);
    const std::wstring tag = L"[OrvantaStart_Vexa-OrvantaStart_" +
                             QDate::currentDate().toString("yyyy-MM-dd").toStdWString() + L".txt]";
    std::vector<std::wstring> messages;
    for (const auto& line : lines) {
        const size_t tab = line.find(L'\t');
        ASSERT_NE(tab, std::wstring::npos);
        EXPECT_NE(line.find(L"][OrvantaStart_Vexa][PID:"), std::wstring::npos) << WideToUtf8(line);
        EXPECT_EQ(line.find(L"[@"), std::wstring::npos) << "no location in the launcher's lines";
        const std::wstring message = line.substr(tab + 1);
        // Wide lines carry the log file's tag; the 8-bit lines of the window and the engine
        // carry the program's.
        if (message.rfind(tag, 0) == 0) {
            messages.push_back(message.substr(tag.size()));
        } else {
            EXPECT_EQ(message.rfind(L"[OrvantaStart_Vexa]", 0), 0u) << WideToUtf8(message);
        }
    }
    ASSERT_GE(messages.size(), 5u);
    EXPECT_EQ(messages[0],
              L"COrvantaStartApp::SetInitialInfo strCmdLine=[LogEnable=Y] [VerSrvIpPort=10.9.8.7:8470] [IsVerTest=1]");
    EXPECT_EQ(messages[1], L"버전체크서버Ip/Port가 10.9.8.7:8470로 변경됨.");
    EXPECT_EQ(messages[2], L"COrvantaStartApp::SetInitialInfo m_strVercheckerServerIpPort=10.9.8.7:8470");
    EXPECT_EQ(messages[4], L"COrvantaStartApp::SetInitialInfo m_strVercheckerServerIpPort=10.9.8.7:8470");
}

TEST_F(LauncherProgram, WritesNothingWhileTheLogIsOff)
{
    ASSERT_EQ(RunLauncher(m_dir, "'[LogEnable=y]'"), 0);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(m_logPath)));
}
}  // namespace
