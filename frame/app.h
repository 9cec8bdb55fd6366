// The frame's inside: the application record and the loaded windows.
#pragma once

#include "frame/descriptions.h"

#include <memory>
#include <utility>
#include <vector>

namespace frame {

struct LoadedWindow;

// A description with, while its window is loaded, the live window.
struct StoredWindow {
    Description description;
    std::unique_ptr<LoadedWindow> live;
};

// A window that dialogs have disabled: how many, and its state before the first.
struct DisabledWindow {
    platform::Window* window;
    int count;
    bool was_enabled;
};

struct App {
    const Program* program = nullptr;
    std::vector<StoredWindow> store;
    int events_blocked = 0;
    bool loop_entered = false;
    std::uint32_t modal_window = 0;
    std::vector<DisabledWindow> disabled_windows;
    WindowRef current_event;
    void (*exit_routine)() = nullptr;
    platform::Window* hidden_owner = nullptr;
    std::string exe_folder, exe_name;
    int quit_code = 0;
};

App& app();

// One live top-level window with its controls. It listens to its native window.
struct LoadedWindow final : platform::WindowListener {
    std::uint32_t number = 0;
    Description working;   // the snapshot this load was built from
    platform::Window* native = nullptr;
    bool has_parent = false;
    // controls[i] belongs to working.entries[i + 1]; empty while not yet built
    std::vector<std::unique_ptr<Control>> controls;
    bool destroy_pending = false;
    bool modal = false;
    std::vector<platform::Window*> disabled;   // the windows this dialog disabled
    platform::Window* focus_memory = nullptr;

    void on_close_request() override;
    bool on_key(const platform::KeyPress&) override;
    void on_activate(bool active) override;
    void on_posted() override;

    const Settings& own() const { return working.entries.front().settings; }
    Control* control_of(platform::Window* child) const;
    std::vector<Control*> focus_stops() const;
    void move_focus(bool forward);
};

StoredWindow* find_stored(std::uint32_t window_number);
LoadedWindow* find_loaded(WindowRef ref);
bool any_window_loaded();
bool is_live_window(platform::Window*);

// Steps 2 to 4 of the destroy request: re-enable, destroy, put the snapshot back.
void destroy_now(LoadedWindow&);
// The close procedure of the title bar and of Esc.
void close_window(LoadedWindow&);

bool is_loaded(const LoadedWindow*);

// The message loop; with a modal window it runs until that window is gone.
void message_loop(const LoadedWindow* modal = nullptr);

// Releases everything the frame holds; run once at the end of the process.
void end_routine();

}  // namespace frame
