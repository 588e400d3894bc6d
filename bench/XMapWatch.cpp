// Prints one line per top-level window the X server maps: the CLOCK_MONOTONIC time the map
// event arrived (ns), the window, its size and its title. Waits on the connection, so the time
// carries no polling delay.
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <ctime>
#include <string>

namespace {
xcb_atom_t Atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : XCB_ATOM_NONE;
    std::free(reply);
    return atom;
}

std::string Title(xcb_connection_t* c, xcb_window_t w, xcb_atom_t netName, xcb_atom_t utf8)
{
    for (const auto& [property, type] : {std::pair{netName, utf8}, std::pair<xcb_atom_t, xcb_atom_t>{XCB_ATOM_WM_NAME, XCB_ATOM_STRING}}) {
        xcb_get_property_reply_t* reply =
            xcb_get_property_reply(c, xcb_get_property(c, 0, w, property, type, 0, 256), nullptr);
        std::string text;
        if (reply != nullptr) {
            text.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                        static_cast<size_t>(xcb_get_property_value_length(reply)));
            std::free(reply);
        }
        if (!text.empty()) {
            for (char& ch : text) {
                ch = (ch == '\n' || ch == '\t') ? ' ' : ch;
            }
            return text;
        }
    }
    return "-";
}
}  // namespace

int main()
{
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "x_map_watch: no X display\n");
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, screen->root, XCB_CW_EVENT_MASK, &mask);
    const xcb_atom_t netName = Atom(c, "_NET_WM_NAME");
    const xcb_atom_t utf8 = Atom(c, "UTF8_STRING");
    xcb_flush(c);
    std::printf("ready\n");
    std::fflush(stdout);
    while (xcb_generic_event_t* event = xcb_wait_for_event(c)) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
            const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
            xcb_get_geometry_reply_t* geometry =
                xcb_get_geometry_reply(c, xcb_get_geometry(c, map->window), nullptr);
            const int width = geometry != nullptr ? geometry->width : 0;
            const int height = geometry != nullptr ? geometry->height : 0;
            std::free(geometry);
            std::printf("%lld map 0x%x %dx%d %s\n",
                        static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec, map->window, width,
                        height, Title(c, map->window, netName, utf8).c_str());
            std::fflush(stdout);
        }
        std::free(event);
    }
    return 0;
}
