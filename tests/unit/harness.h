// What both unit test programs share: a fixture that gives every test a
// fresh frame and a fresh recording platform, and ways to reach the windows
// the frame has loaded.
#pragma once

#include "frame/app.h"
#include "tests/unit/recording_platform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace harness {

// Forgets the frame's application record and everything the recorder holds.
void reset();

// Runs the process body; answers its result, or the code given to
// exit_process when it ended that way.
int run_process();

// The native window of a loaded window, or of one of its entries by name;
// nullptr when the window is not loaded.
platform::Window* top_of(std::uint32_t window);
platform::Window* native_of(std::uint32_t window, std::string_view entry);
platform::Window* hidden_owner();

// The same, looked up when a scripted input arrives.
rec::Target window(std::uint32_t window);
rec::Target entry(std::uint32_t window, std::string entry);

bool loaded(std::uint32_t window);

// Passes when every line is found in the recorder's log, each after the one before.
testing::AssertionResult in_order(std::initializer_list<std::string_view> lines);

// The text of the error report for a message.
std::string report_text(std::string_view message);

}  // namespace harness

class FrameTest : public testing::Test {
protected:
    void SetUp() override { harness::reset(); }
    void TearDown() override { harness::reset(); }
};
