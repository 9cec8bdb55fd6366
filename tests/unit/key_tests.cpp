// The key handling of a window: focus order, Enter, Esc, and keys that are
// not the frame's.
#include "tests/unit/test_program.h"

namespace {

class Keys : public ProgramTest {};

using harness::loaded;
using harness::native_of;
using harness::top_of;
using platform::Key;

constexpr std::uint32_t kWindow = 0x52010001;

// Focus stops are the visible, enabled controls flagged focus whose kind can
// take the focus, smaller tab first and, among equals, the later entry first.
const std::string_view kFocusBlock = R"(window 0x52010001
entry 0x06010000 window "F"
    flags visible
    title "F"
entry 0x16010001 Button "s1"
    flags visible focus
    tab 2
entry 0x16010002 Button "hidden"
    flags focus
entry 0x16010003 Button "off"
    flags visible focus disabled
entry 0x16010004 Button "no stop"
    flags visible
entry 0x16010005 PicBox "box"
    flags visible focus
entry 0x16010006 Button "s2"
    flags visible focus
    tab 1
entry 0x16010007 Button "s3"
    flags visible focus
    tab 1
entry 0x16010008 HtmlViewer "s4"
    flags visible focus
)";

// Two default push buttons, the first of them disabled, and a control that
// keeps its keys.
const std::string_view kEnterBlock = R"(window 0x52010001
entry 0x06010000 window "K"
    flags visible
    title "K"
    on 1 close_a
entry 0x16010001 Button "plain"
    flags visible focus
    on 0 click_a1
entry 0x16010002 Button "ghost"
    flags visible focus disabled
    type 1
    on 0 click_b1
entry 0x16010003 Button "default"
    flags visible focus
    type 1
    on 0 click_a2
entry 0x16010004 KeyBox "keys"
    flags visible focus
)";

std::string focus_name(std::initializer_list<const char*> names)
{
    platform::Window* f = top_of(kWindow)->focus;
    for (const char* n : names)
        if (native_of(kWindow, n) == f)
            return n;
    return f ? f->label : "nothing";
}

TEST_F(Keys, TabWalksTheFocusStops)
{
    testprog::start(kFocusBlock);
    platform::Window* top = top_of(kWindow);
    auto focus = [] { return focus_name({"s1", "s2", "s3", "s4", "no stop"}); };
    EXPECT_EQ(focus(), "s4") << "the first stop has the focus when the window is shown";

    for (const char* next : {"s3", "s2", "s1", "s4"}) {
        EXPECT_TRUE(rec::press(top, rec::plain(Key::Tab)));
        EXPECT_EQ(focus(), next);
    }
    for (const char* next : {"s1", "s2", "s3", "s4"}) {
        EXPECT_TRUE(rec::press(top, rec::shifted(Key::Tab)));
        EXPECT_EQ(focus(), next);
    }
    // From a control that is no stop, Tab goes to the first stop, Shift+Tab to the last.
    platform::set_focus(native_of(kWindow, "no stop"));
    EXPECT_TRUE(rec::press(top, rec::plain(Key::Tab)));
    EXPECT_EQ(focus(), "s4");
    platform::set_focus(native_of(kWindow, "no stop"));
    EXPECT_TRUE(rec::press(top, rec::shifted(Key::Tab)));
    EXPECT_EQ(focus(), "s1");
    // A control hidden later is passed over.
    platform::show_child(native_of(kWindow, "s2"), false);
    platform::set_focus(native_of(kWindow, "s3"));
    EXPECT_TRUE(rec::press(top, rec::plain(Key::Tab)));
    EXPECT_EQ(focus(), "s1");
}

TEST_F(Keys, EnterClicksTheDefaultPushButton)
{
    struct Case {
        const char* focus;
        platform::KeyPress key;
        bool consumed;
        const char* handler;   // the routine that runs, or nullptr
    };
    const Case cases[] = {
        {"plain", rec::plain(Key::Enter), true, "click_a2"},
        {"default", rec::plain(Key::Enter), true, "click_a2"},
        {"plain", rec::shifted(Key::Enter), false, nullptr},
        {"plain", {Key::Enter, false, true, false}, false, nullptr},
        {"plain", rec::plain(Key::Space), false, "click_a1"},   // the button's own key, left to it
        // A control that wants its keys gets them, Tab and Esc included.
        {"keys", rec::plain(Key::Enter), false, nullptr},
        {"keys", rec::plain(Key::Tab), false, nullptr},
        {"keys", rec::plain(Key::Escape), false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.focus) + " " + std::to_string(static_cast<int>(c.key.key)));
        harness::reset();
        testprog::start(kEnterBlock);
        platform::Window* top = top_of(kWindow);
        platform::set_focus(native_of(kWindow, c.focus));
        EXPECT_EQ(rec::press(top, c.key), c.consumed);
        for (const char* h : {"click_a1", "click_a2", "click_b1", "close_a"})
            EXPECT_EQ(rec::count("handler " + std::string(h)), c.handler && std::string(h) == c.handler ? 1u : 0u) << h;
        ASSERT_TRUE(loaded(kWindow));
        EXPECT_EQ(top->focus, native_of(kWindow, c.focus));
    }
}

TEST_F(Keys, EscClosesTheWindowUnlessItSaysOtherwise)
{
    struct Case {
        const char* what;
        const char* setting;
        platform::KeyPress key;
        bool closes;
    };
    const Case cases[] = {
        {"by default", "", rec::plain(Key::Escape), true},
        {"turned on", "    esc_closes on\n", rec::plain(Key::Escape), true},
        {"turned off", "    esc_closes off\n", rec::plain(Key::Escape), false},
        {"with Shift", "", rec::shifted(Key::Escape), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        harness::reset();
        std::string block(testprog::kBlock);
        block.insert(block.find("    start_position 0\n"), c.setting);
        testprog::start(block);
        EXPECT_EQ(rec::press(top_of(kWindow), c.key), c.closes);
        EXPECT_EQ(loaded(kWindow), !c.closes);
        // Closing goes through the close query.
        EXPECT_EQ(rec::count("handler close_a"), c.closes ? 1u : 0u);
    }
}

TEST_F(Keys, DisabledWindowLeavesKeysAlone)
{
    testprog::start(kEnterBlock);
    platform::Window* top = top_of(kWindow);
    platform::set_focus(native_of(kWindow, "plain"));
    platform::set_enabled(top, false);
    frame::LoadedWindow* w = frame::find_loaded({kWindow, 0});
    for (Key k : {Key::Tab, Key::Enter, Key::Escape}) {
        SCOPED_TRACE(static_cast<int>(k));
        EXPECT_FALSE(w->on_key(rec::plain(k)));
        EXPECT_EQ(top->focus, native_of(kWindow, "plain"));
    }
    EXPECT_TRUE(loaded(kWindow));
    EXPECT_TRUE(rec::lines_starting("handler").empty());
}

}  // namespace
