// The event service: blocking while loading, bindings, the close query and
// the reports for events that cannot be placed.
#include "tests/unit/test_program.h"

namespace {

class Events : public ProgramTest {};

using harness::entry;
using harness::in_order;
using harness::loaded;
using harness::top_of;
using harness::window;
using testprog::kA;
using testprog::kB;
using testprog::kD;
using testprog::on;
using testprog::setup;

TEST_F(Events, EventsRaisedWhileLoadingReachNoHandler)
{
    static std::string address;
    on("navigate_d", [](frame::EventArgs args) {
        address = std::get<std::string>(args[0]);
        return std::optional<bool>(false);
    });
    rec::step([] { EXPECT_TRUE(frame::load_window(kD)); });
    rec::notice(entry(kD.window, "d_page"), platform::BrowserNotice::BeforeNavigate, "http://pages.test/next.htm");
    rec::close(window(kD.window));
    rec::close(window(kA.window));
    EXPECT_EQ(harness::run_process(), 0);

    // The page's first navigation is raised inside its creation and goes
    // unanswered; the next one reaches the handler, which refuses it.
    EXPECT_TRUE(in_order({"create_browser http://pages.test/d.htm", "notice 0 browser http://pages.test/d.htm",
                          "answered yes", "show_top_level top 'D'", "notice 0 browser http://pages.test/d.htm",
                          "handler navigate_d", "answered no"}));
    EXPECT_EQ(rec::count("handler navigate_d"), 1u);
    EXPECT_EQ(address, "http://pages.test/next.htm");
}

TEST_F(Events, EventsThatCannotBePlacedAreReported)
{
    struct Case {
        std::uint32_t window, control;
        const char* message;
    };
    const Case cases[] = {
        {0x52010063, 0x16010001, "未找到引发事件的窗口"},
        {kA.window, 0x16019999, "未找到引发事件的窗口组件"},
        {kD.window, 0x16030003, "引发事件的窗口组件无效"},   // a PicBox raises no events
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        harness::reset();
        setup() = {};
        rec::step([c] {
            frame::load_window(kD);
            frame::raise_event(c.window, c.control, 0);
            ADD_FAILURE() << "raise_event returned";
        });
        EXPECT_EQ(harness::run_process(), -1);
        ASSERT_EQ(rec::reports().size(), 1u);
        EXPECT_EQ(rec::reports()[0].title, "错误");
        EXPECT_EQ(rec::reports()[0].text, harness::report_text(c.message));
        EXPECT_EQ(setup().exit_calls, 0);
    }
}

TEST_F(Events, UnboundEventsDoNothing)
{
    struct Case {
        const char* what;
        std::uint32_t control;
        int event;
        bool runs;
    };
    const Case cases[] = {
        {"bound to none", 0x16010002, 0, false},
        {"no binding for the event", 0x16010001, 4, false},
        {"no binding on the window", 0, 2, false},
        {"bound", 0x16010001, 0, true},
    };
    testprog::start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::size_t before = rec::log().size();
        frame::EventResult r = frame::raise_event(kA.window, c.control, c.event);
        EXPECT_EQ(r.ran, c.runs);
        EXPECT_FALSE(r.value.has_value());
        EXPECT_EQ(rec::log().size() - before, c.runs ? 2u : 0u);   // the handler's own two lines
    }
    EXPECT_TRUE(rec::reports().empty());
}

TEST_F(Events, CloseQueryMayKeepTheWindow)
{
    struct Case {
        const char* what;
        frame::WindowRef window;
        bool owned_by_a;
        std::optional<bool> answer;
        bool closes;
    };
    const Case cases[] = {
        {"answers no", kA, false, false, false},
        {"answers yes", kA, false, true, true},
        {"answers nothing", kA, false, std::nullopt, true},
        {"second window answers no", kB, false, false, false},
        {"owned window answers no", kB, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        harness::reset();
        setup() = {};
        std::optional<bool> answer = c.answer;
        on("close_a", [answer](frame::EventArgs) { return answer; });
        on("close_b", [answer](frame::EventArgs) { return answer; });
        testprog::start();
        if (c.window.window == kB.window) {
            ASSERT_TRUE(frame::load_window(kB, c.owned_by_a ? std::optional(kA) : std::nullopt));
        }
        rec::request_close(top_of(c.window.window));
        EXPECT_EQ(rec::count(c.window.window == kA.window ? "handler close_a" : "handler close_b"), 1u);
        EXPECT_EQ(loaded(c.window.window), !c.closes);
    }
}

}  // namespace
