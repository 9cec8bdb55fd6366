// The recording platform: every function of platform/platform.h with no
// screen behind it. Windows are plain records, every call is written to a
// log, and the input the message loop waits for comes from a script the test
// writes beforehand. A loop that would wait for input nobody will give fails
// the test instead of blocking.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace rec {

enum class Type { HiddenOwner, TopLevel, Painted, Button, Browser };

}  // namespace rec

struct platform::Window {
    rec::Type type = rec::Type::TopLevel;
    std::string label;                 // how the log names it
    Window* parent = nullptr;
    WindowListener* listener = nullptr;
    bool enabled = true;
    bool visible = false;
    bool minimized = false;
    bool destroyed = false;
    Rect rect;                         // top-level: outer rectangle; child: place in the client area
    std::vector<Window*> children;     // top-level: in stacking order, top first
    Window* focus = nullptr;           // top-level: the focused child
    TopLevelStyle top;
    ChildStyle child;
    ButtonStyle button;
    BrowserSettings browser;
};

namespace rec {

// Thrown by platform::exit_process.
struct Exit {
    int code;
};
// Thrown when the message loop waits for input and the script has none left.
struct Stuck {};

struct Report {
    std::string title, text;
};

struct Config {
    std::string executable = "/opt/vexilo/bin/vexilo-player";
    char separator = '/';
    platform::Size screen{1024, 768};
    bool display = true;
    // A browser view navigates inside its creation and raises BeforeNavigate
    // for its address there, as the native views do.
    bool navigate_in_creation = true;
    // Creation calls for these types answer nullptr.
    std::vector<Type> failing;
};

// Forgets every window, the log, the queue, the script and the reports, and
// puts the configuration back to its defaults.
void reset();
Config& config();
const std::vector<std::string>& log();
void note(std::string line);   // a line of the test's own, for ordering checks
const std::vector<Report>& reports();
std::vector<platform::Window*> windows();   // every window made, in creation order

// ---------------------------------------------------------------------------
// Input. A target is looked up when the input arrives; nullptr means the
// input meets no window and is dropped.

using Target = std::function<platform::Window*()>;

void click(Target);
void key(Target top_level, platform::KeyPress);
void close(Target top_level);
void notice(Target browser, platform::BrowserNotice, std::string text = {}, int number = 0, bool flag = false);
void step(std::function<void()>);   // the test's own code, taken as one input
std::size_t pending_input();

// Input delivered at once, the way scripted input is; press() answers true
// when the window consumed the key.
bool press(platform::Window* top_level, platform::KeyPress);
void request_close(platform::Window* top_level);

platform::KeyPress plain(platform::Key);
platform::KeyPress shifted(platform::Key);

// ---------------------------------------------------------------------------
// Reading the log

// Index of the first line equal to `line` at or after `from`; -1 when none.
long find(std::string_view line, std::size_t from = 0);
std::size_t count(std::string_view line);
// Lines that start with `prefix`, in order.
std::vector<std::string> lines_starting(std::string_view prefix);

}  // namespace rec
