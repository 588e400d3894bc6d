#pragma once
#include <string>
#include <vector>

// Popups place themselves and stay on top, which Wayland does not let a client do. On a Wayland
// session both programs therefore run through XWayland, the X11 platform (xcb), unless the user
// chose a platform (QT_QPA_PLATFORM, or -platform on the command line) or there is no X display
// to run on (then Qt's own choice is better than not starting at all).
struct DisplayEnvironment
{
    std::string qpaPlatform;     // QT_QPA_PLATFORM
    std::string waylandDisplay;  // WAYLAND_DISPLAY
    std::string sessionType;     // XDG_SESSION_TYPE
    std::string x11Display;      // DISPLAY
    bool platformArgument = false;  // -platform on the command line
};

bool ShouldSelectX11(const DisplayEnvironment& env);

// The arguments to build QApplication from: the program's own, with "-platform xcb" after the
// program name when ShouldSelectX11 holds for this process (*pSelected says whether). Ends with
// a null pointer like argv; the texts live as long as the process.
std::vector<char*> PlatformArguments(int argc, char* argv[], bool* pSelected);

// What each program logs once when it made the choice.
inline constexpr const wchar_t* kX11SelectedNote =
    L"Wayland session: X11 platform (xcb) selected, so popups can place themselves and stay on top";
