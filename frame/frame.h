// The window frame as the program sees it: the kinds and handler routines it
// registers, the settings its controls read, the five start-up operations,
// the two window commands and the event service.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace frame {

using platform::Colour;

// The desktop's button-face colour, looked up when the colour is used.
inline constexpr Colour kDefaultColour = 0xFF000000;
Colour resolve_colour(Colour);

// A window as handler routines name it: window number and own entry number.
struct WindowRef {
    std::uint32_t window = 0;
    std::uint32_t entry = 0;
};

// ---------------------------------------------------------------------------
// Settings of an entry, as stored in a window description

enum class SettingType { Integer, Flag, Text, Colour };

struct SettingSpec {
    std::string_view name;
    SettingType type;
};

using SettingValue = std::variant<std::int64_t, bool, std::string>;

struct Setting {
    std::string name;
    SettingValue value;
};

// Read access with the kind's defaults for settings the entry does not store.
class Settings {
public:
    Settings() = default;
    explicit Settings(std::vector<Setting> items) : m_items(std::move(items)) {}

    std::int32_t integer(std::string_view name, std::int32_t fallback) const;
    Colour colour(std::string_view name, Colour fallback) const;
    bool flag(std::string_view name, bool fallback) const;
    std::string text(std::string_view name, std::string_view fallback) const;
    const std::vector<Setting>& items() const { return m_items; }

private:
    const SettingValue* find(std::string_view name) const;
    std::vector<Setting> m_items;
};

// ---------------------------------------------------------------------------
// Control kinds

// A live control, made by its kind's creation operation. Its native child
// window is destroyed with the top-level window that holds it.
class Control {
public:
    virtual ~Control() = default;
    virtual platform::Window* native() const = 0;
    // A default push button answers Enter (see the key handling).
    virtual bool is_default_push() const { return false; }
    // Clicks the control as the user would (event 0 for buttons).
    virtual void click() {}
    // Keys the control wants for itself instead of the window's key handling.
    virtual bool wants_key(platform::Key) const { return false; }
};

// What the frame hands a kind's creation operation.
struct CreateArgs {
    const Settings& settings;
    platform::ChildStyle style;   // disabled, focus stop; always created hidden
    platform::Window* parent;
    platform::Rect rect;
    std::uint32_t window_number;
    std::uint32_t control_number;
};

struct Kind {
    std::string_view name;
    bool can_focus;        // may ever hold the keyboard focus
    bool raises_events;
    std::span<const SettingSpec> settings;
    // Returns nothing when the control cannot be made.
    std::unique_ptr<Control> (*create)(const CreateArgs&);
};

// ---------------------------------------------------------------------------
// Events and handler routines

using EventArg = std::variant<std::int32_t, bool, std::string>;
using EventArgs = std::span<const EventArg>;

// A handler routine: gets the event's arguments, may return a value.
using Handler = std::optional<bool> (*)(EventArgs);

struct HandlerEntry {
    std::string_view name;
    Handler routine;
};

struct EventResult {
    bool ran = false;
    std::optional<bool> value;
};

// The event service: routes an event of a control (or of the window itself,
// control number 0 or its own entry number) to the bound handler routine.
EventResult raise_event(std::uint32_t window_number, std::uint32_t control_number, int event,
                        EventArgs args = {});

// ---------------------------------------------------------------------------
// What the program gives the frame

struct Program {
    std::string_view descriptions;          // the embedded description block
    std::span<const Kind> kinds;            // the control kinds
    std::span<const HandlerEntry> handlers; // routines that bindings may name
};

// The program's start routine, called once by the frame after the platform is up.
int program_start();

// The five operations of the start routine.
void initialise(const Program&);
void register_exit_routine(void (*routine)());
void load_start_window(std::uint32_t window_number);
void run_message_loop();

// ---------------------------------------------------------------------------
// Window commands

bool load_window(WindowRef window, std::optional<WindowRef> parent = std::nullopt, bool dialog = false);
void destroy_window(WindowRef window, bool at_once = false);

// The error report: a message box, then the end of the process with exit code -1.
[[noreturn]] void fatal(std::string_view text, int code = 0);

}  // namespace frame
