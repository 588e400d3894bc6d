#include "platform/DisplayPlatform.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QtGlobal>
#include <cstring>

namespace {

TEST(DisplayPlatformTest, X11OnAWaylandSessionUnlessChosenOrImpossible)
{
    struct Case
    {
        const char* name;
        DisplayEnvironment env;
        bool expected;
    };
    const Case cases[] = {
        {"X11Session", {"", "", "x11", ":0", false}, false},
        {"WaylandDisplay", {"", "wayland-0", "", ":0", false}, true},
        {"WaylandSessionType", {"", "", "wayland", ":1", false}, true},
        {"UserChoseWayland", {"wayland", "wayland-0", "wayland", ":0", false}, false},
        {"UserChoseOffscreen", {"offscreen", "wayland-0", "", ":0", false}, false},
        {"PlatformOnTheCommandLine", {"", "wayland-0", "wayland", ":0", true}, false},
        {"NoXWayland", {"", "wayland-0", "wayland", "", false}, false},
        {"NoSessionAtAll", {"", "", "", "", false}, false},
        {"TtySessionWithDisplay", {"", "", "tty", ":0", false}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ShouldSelectX11(c.env), c.expected) << c.name;
    }
}

// Sets the variables for one test and puts the old values back.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const char* value) : m_name(name), m_had(qEnvironmentVariableIsSet(name))
    {
        m_old = qgetenv(name);
        if (value != nullptr) {
            qputenv(name, value);
        } else {
            qunsetenv(name);
        }
    }
    ~ScopedEnv()
    {
        if (m_had) {
            qputenv(m_name, m_old);
        } else {
            qunsetenv(m_name);
        }
    }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

TEST(DisplayPlatformTest, ArgumentsGetThePlatformAfterTheProgramName)
{
    char prog[] = "OrvantaStart_Vexa";
    char a[] = "[LogEnable=Y]";
    char b[] = "[URL=http://127.0.0.1]";
    char* argv[] = {prog, a, b, nullptr};

    {
        ScopedEnv qpa("QT_QPA_PLATFORM", nullptr);
        ScopedEnv wayland("WAYLAND_DISPLAY", "wayland-0");
        ScopedEnv display("DISPLAY", ":0");
        bool selected = false;
        const std::vector<char*> args = PlatformArguments(3, argv, &selected);
        EXPECT_TRUE(selected);
        ASSERT_EQ(args.size(), 6u);
        EXPECT_STREQ(args[0], prog);
        EXPECT_STREQ(args[1], "-platform");
        EXPECT_STREQ(args[2], "xcb");
        EXPECT_EQ(args[3], a);
        EXPECT_EQ(args[4], b);
        EXPECT_EQ(args[5], nullptr);
    }
    {
        ScopedEnv qpa("QT_QPA_PLATFORM", "offscreen");
        ScopedEnv wayland("WAYLAND_DISPLAY", "wayland-0");
        ScopedEnv display("DISPLAY", ":0");
        bool selected = true;
        const std::vector<char*> args = PlatformArguments(3, argv, &selected);
        EXPECT_FALSE(selected);
        EXPECT_EQ(args, (std::vector<char*>{prog, a, b, nullptr}));
    }
}

}  // namespace
