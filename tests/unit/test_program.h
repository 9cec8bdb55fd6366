// The program of the frame tests: the real control kinds plus one of its own,
// a table of named handler routines whose behaviour each test sets, and a
// start routine like the real one over the description block the test gives.
#pragma once

#include "tests/unit/harness.h"

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace testprog {

// The windows of kBlock.
constexpr frame::WindowRef kA{0x52010001, 0x06010000};   // the start window
constexpr frame::WindowRef kB{0x52010002, 0x06020000};   // a second top-level window
constexpr frame::WindowRef kD{0x52010003, 0x06030000};   // a dialog with a page and a box
constexpr frame::WindowRef kE{0x52010004, 0x06040000};   // a dialog opened from D

extern const std::string_view kBlock;

struct Setup {
    std::string block{kBlock};
    std::uint32_t start_window = kA.window;
    bool exit_routine_first = false;   // registered before initialise, not after
    int exit_calls = 0;
};
Setup& setup();

using Behaviour = std::function<std::optional<bool>(frame::EventArgs)>;
// What the named handler routine does; unset, it does nothing and returns nothing.
// Every routine writes "handler NAME" to the log on entry and "handler NAME done" on return.
void on(std::string_view handler, Behaviour);

std::span<const frame::Kind> kinds();   // Button, PicBox, HtmlViewer and KeyBox
std::span<const frame::HandlerEntry> handlers();
frame::Handler routine(std::string_view handler);

// Initialises the frame with `block` and loads the start window, without a loop.
void start(std::string_view block = kBlock);

}  // namespace testprog

class ProgramTest : public FrameTest {
protected:
    void SetUp() override;
    void TearDown() override;
};
