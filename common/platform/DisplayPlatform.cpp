#include "platform/DisplayPlatform.h"

#include <cstdlib>
#include <cstring>

namespace {
std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : std::string();
}

bool IsPlatformOption(const char* arg)
{
    return std::strcmp(arg, "-platform") == 0 || std::strcmp(arg, "--platform") == 0;
}
}  // namespace

bool ShouldSelectX11(const DisplayEnvironment& env)
{
    const bool wayland = !env.waylandDisplay.empty() || env.sessionType == "wayland";
    return wayland && env.qpaPlatform.empty() && !env.platformArgument && !env.x11Display.empty();
}

std::vector<char*> PlatformArguments(int argc, char* argv[], bool* pSelected)
{
    DisplayEnvironment env{Env("QT_QPA_PLATFORM"), Env("WAYLAND_DISPLAY"), Env("XDG_SESSION_TYPE"),
                           Env("DISPLAY"), false};
    for (int i = 1; i < argc; ++i) {
        env.platformArgument = env.platformArgument || IsPlatformOption(argv[i]);
    }
    const bool select = ShouldSelectX11(env);
    if (pSelected != nullptr) {
        *pSelected = select;
    }

    static char option[] = "-platform";
    static char xcb[] = "xcb";
    std::vector<char*> args(argv, argv + argc);
    if (select) {
        args.insert(args.begin() + (argc > 0 ? 1 : 0), {option, xcb});
    }
    args.push_back(nullptr);
    return args;
}
