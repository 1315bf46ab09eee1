#pragma once
// What a user sees of a program on an X server, for the smoke test and the start-up
// benchmark: its shown top-level windows by title, a close-box request, a mouse click (by
// xdotool, as real input), and the program's process.
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace xprobe {

inline pid_t Spawn(const char* path) {
    const pid_t child = fork();
    if (child == 0) {
        execl(path, path, static_cast<char*>(nullptr));
        _exit(127);
    }
    return child;
}

inline void Stop(pid_t child) {
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

class XServer {
public:
    XServer() : m_c(xcb_connect(nullptr, nullptr)) {
        if (!xcb_connection_has_error(m_c)) {
            m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        }
    }
    ~XServer() { xcb_disconnect(m_c); }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool Connected() const { return m_root != XCB_WINDOW_NONE; }

    // The shown top-level window with this title. A window manager reparents it into a
    // frame of its own, so the whole tree is searched, not only the root's children.
    std::optional<xcb_window_t> ShownWindow(const std::string& title) {
        std::vector<xcb_window_t> pending{m_root};
        while (!pending.empty()) {
            const xcb_window_t parent = pending.back();
            pending.pop_back();
            xcb_query_tree_reply_t* tree =
                xcb_query_tree_reply(m_c, xcb_query_tree(m_c, parent), nullptr);
            if (tree == nullptr) continue;  // gone meanwhile
            const xcb_window_t* first = xcb_query_tree_children(tree);
            const std::vector<xcb_window_t> children(first,
                                                     first + xcb_query_tree_children_length(tree));
            free(tree);
            for (const xcb_window_t child : children) {
                if (Title(child) == title && Viewable(child)) return child;
            }
            pending.insert(pending.end(), children.begin(), children.end());
        }
        return std::nullopt;
    }

    std::optional<xcb_window_t> WaitForWindow(const std::string& title,
                                              std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (auto window = ShownWindow(title)) return window;
            if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    // What the window's close box does: WM_DELETE_WINDOW.
    void AskToClose(xcb_window_t window) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = Atom("WM_PROTOCOLS");
        event.data.data32[0] = Atom("WM_DELETE_WINDOW");
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(m_c, 0, window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&event));
        xcb_flush(m_c);
    }

    // A left click at a point of the window, as real input.
    bool ClickAt(xcb_window_t window, int x, int y) {
        xcb_translate_coordinates_reply_t* at = xcb_translate_coordinates_reply(
            m_c,
            xcb_translate_coordinates(m_c, window, m_root, static_cast<std::int16_t>(x),
                                      static_cast<std::int16_t>(y)),
            nullptr);
        if (at == nullptr) return false;
        const std::string command = "xdotool mousemove " + std::to_string(at->dst_x) + " " +
                                    std::to_string(at->dst_y) + " click 1";
        free(at);
        return std::system(command.c_str()) == 0;
    }

private:
    xcb_atom_t Atom(const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            m_c, xcb_intern_atom(m_c, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
            nullptr);
        const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        free(reply);
        return atom;
    }

    std::string Title(xcb_window_t window) {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, window, XCB_ATOM_WM_NAME, XCB_ATOM_ANY, 0, 256), nullptr);
        std::string title;
        if (reply != nullptr) {
            title.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                         static_cast<std::size_t>(xcb_get_property_value_length(reply)));
        }
        free(reply);
        return title;
    }

    bool Viewable(xcb_window_t window) {
        xcb_get_window_attributes_reply_t* reply =
            xcb_get_window_attributes_reply(m_c, xcb_get_window_attributes(m_c, window), nullptr);
        const bool viewable = reply != nullptr && reply->map_state == XCB_MAP_STATE_VIEWABLE;
        free(reply);
        return viewable;
    }

    xcb_connection_t* m_c;
    xcb_window_t m_root = XCB_WINDOW_NONE;
};

}  // namespace xprobe
