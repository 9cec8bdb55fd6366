// The window commands: loading and destroying windows, dialogs, and what
// happens when a window cannot be built.
#include "tests/unit/test_program.h"

namespace {

class Commands : public ProgramTest {};

using harness::entry;
using harness::in_order;
using harness::loaded;
using harness::top_of;
using harness::window;
using testprog::kA;
using testprog::kB;
using testprog::kD;
using testprog::kE;
using testprog::on;
using testprog::setup;

std::optional<bool> nothing()
{
    return std::nullopt;
}

TEST_F(Commands, DestroyIsCarriedOutByTheLoop)
{
    on("click_a1", [](frame::EventArgs) {
        frame::destroy_window(kA);
        EXPECT_TRUE(loaded(kA.window)) << "destroyed before the handler returned";
        return nothing();
    });
    rec::click(entry(kA.window, "a1"));
    EXPECT_EQ(harness::run_process(), 0);

    EXPECT_TRUE(in_order({"click button 'a1'", "post top 'A'", "clicked button 'a1'", "dispatch top 'A'",
                          "destroy top 'A'", "post_quit 0", "quit 0", "exit routine", "destroy owner", "finish"}));
    EXPECT_EQ(rec::count("destroy top 'A'"), 1u);
    EXPECT_EQ(setup().exit_calls, 1);
    EXPECT_TRUE(rec::reports().empty());
}

TEST_F(Commands, DestroyAtOnce)
{
    on("click_a1", [](frame::EventArgs) {
        frame::destroy_window(kA, true);
        EXPECT_FALSE(loaded(kA.window));
        return nothing();
    });
    rec::click(entry(kA.window, "a1"));
    EXPECT_EQ(harness::run_process(), 0);
    EXPECT_TRUE(in_order({"handler click_a1", "destroy top 'A'", "post_quit 0", "handler click_a1 done", "quit 0"}));
    EXPECT_EQ(rec::count("post top 'A'"), 0u);
    EXPECT_EQ(setup().exit_calls, 1);
}

TEST_F(Commands, DestroyingAWindowThatIsNotLoadedIsReported)
{
    const frame::WindowRef refs[] = {
        kB,                         // described, not loaded
        {0x52010063, 0x06630000},   // not described
        {kA.window, 0x06999999},    // loaded, but that is not its entry
    };
    for (frame::WindowRef ref : refs) {
        SCOPED_TRACE(ref.window);
        harness::reset();
        setup() = {};
        on("click_a1", [ref](frame::EventArgs) {
            frame::destroy_window(ref);
            ADD_FAILURE() << "destroy_window returned";
            return nothing();
        });
        rec::click(entry(kA.window, "a1"));
        EXPECT_EQ(harness::run_process(), -1);
        ASSERT_EQ(rec::reports().size(), 1u);
        EXPECT_EQ(rec::reports()[0].title, "错误");
        EXPECT_EQ(rec::reports()[0].text, harness::report_text("指定窗口或窗口组件不存在或尚未载入"));
        EXPECT_EQ(setup().exit_calls, 0);
        EXPECT_TRUE(in_order({"error_box 错误", "destroy top 'A'", "exit_process -1"}));
    }
}

TEST_F(Commands, DoubleClickOnADestroyingButtonDestroysOnce)
{
    on("click_b1", [](frame::EventArgs) {
        frame::destroy_window(kB);
        return nothing();
    });
    rec::step([] { EXPECT_TRUE(frame::load_window(kB)); });
    rec::click(entry(kB.window, "b1"));
    rec::click(entry(kB.window, "b1"));
    rec::close(window(kA.window));
    EXPECT_EQ(harness::run_process(), 0);

    EXPECT_EQ(rec::count("handler click_b1"), 1u);
    EXPECT_EQ(rec::count("destroy top 'B'"), 1u);
    // The destroy request overtakes the second click, which then meets no window.
    EXPECT_TRUE(in_order({"clicked button 'b1'", "dispatch top 'B'", "destroy top 'B'", "dropped click: no window",
                          "close top 'A'"}));
    EXPECT_TRUE(rec::reports().empty());
}

TEST_F(Commands, LoadingALoadedWindowOnlyBringsItUp)
{
    for (bool minimized : {false, true}) {
        SCOPED_TRACE(minimized ? "minimized" : "not minimized");
        harness::reset();
        setup() = {};
        testprog::start();
        platform::Window* a = top_of(kA.window);
        a->minimized = minimized;
        EXPECT_TRUE(frame::load_window(kA));
        EXPECT_EQ(top_of(kA.window), a);
        EXPECT_EQ(rec::lines_starting("create_top_level").size(), 1u);
        EXPECT_EQ(rec::count("restore top 'A'"), minimized ? 1u : 0u);
        EXPECT_EQ(rec::count("activate top 'A'"), minimized ? 0u : 1u);
        EXPECT_FALSE(a->minimized);
    }
}

TEST_F(Commands, LoadingAgainCarriesOutAPendingDestroyFirst)
{
    static platform::Window* first;
    static platform::Window* second;
    on("click_b1", [](frame::EventArgs) {
        frame::destroy_window(kB);
        first = top_of(kB.window);
        EXPECT_TRUE(frame::load_window(kB));
        second = top_of(kB.window);
        return nothing();
    });
    rec::step([] { frame::load_window(kB); });
    rec::click(entry(kB.window, "b1"));
    rec::step([] {
        // The request meant for the first B is gone with it.
        ASSERT_NE(second, nullptr);
        EXPECT_NE(second, first);
        EXPECT_TRUE(first->destroyed);
        EXPECT_EQ(top_of(kB.window), second);
        EXPECT_FALSE(second->destroyed);
    });
    rec::close(window(kB.window));
    rec::close(window(kA.window));
    EXPECT_EQ(harness::run_process(), 0);
    EXPECT_TRUE(in_order({"post top 'B'", "destroy top 'B'", "create_top_level 'B' 412,334 200x100", "clicked button 'b1'"}));
    EXPECT_EQ(rec::count("dispatch top 'B'"), 0u);
}

TEST_F(Commands, DialogDisablesTheOtherWindowsWhileItRuns)
{
    on("click_a1", [](frame::EventArgs) {
        EXPECT_TRUE(frame::load_window(kD, std::nullopt, true));
        EXPECT_FALSE(loaded(kD.window)) << "the handler went on while the dialog was up";
        return nothing();
    });
    rec::step([] {
        frame::load_window(kB);
        platform::set_enabled(top_of(kB.window), false);   // B was off before the dialog came
    });
    rec::click(entry(kA.window, "a1"));
    rec::step([] {
        ASSERT_TRUE(loaded(kD.window));
        EXPECT_FALSE(top_of(kA.window)->enabled);
        EXPECT_FALSE(top_of(kB.window)->enabled);
        EXPECT_TRUE(top_of(kD.window)->enabled);
        EXPECT_EQ(top_of(kD.window)->top.owner, harness::hidden_owner());
    });
    rec::close(window(kD.window));
    rec::step([] {
        EXPECT_TRUE(top_of(kA.window)->enabled);
        EXPECT_FALSE(top_of(kB.window)->enabled);
        frame::destroy_window(kB, true);
    });
    rec::close(window(kA.window));
    EXPECT_EQ(harness::run_process(), 0);

    EXPECT_TRUE(in_order({"show_top_level top 'D'", "set_enabled top 'A' 0", "set_enabled top 'B' 0", "close top 'D'",
                          "set_enabled top 'A' 1", "set_enabled top 'B' 0", "destroy top 'D'", "handler click_a1 done"}));
}

// Every window goes while dialogs are up; the quit that follows is for the
// main loop, not for the modal loops it passes through.
TEST_F(Commands, ModalLoopLeavesTheQuitToTheMainLoop)
{
    for (int depth : {1, 2}) {
        SCOPED_TRACE(depth);
        harness::reset();
        setup() = {};
        auto destroy_all = [](frame::EventArgs) {
            for (frame::WindowRef w : {kA, kD, kE})
                if (loaded(w.window))
                    frame::destroy_window(w, true);
            return nothing();
        };
        on("click_a1", [](frame::EventArgs) {
            frame::load_window(kD, std::nullopt, true);
            return nothing();
        });
        on("click_d1", depth == 1 ? testprog::Behaviour(destroy_all) : [](frame::EventArgs) {
            frame::load_window(kE, std::nullopt, true);
            return nothing();
        });
        on("click_e1", destroy_all);
        rec::click(entry(kA.window, "a1"));
        rec::click(entry(kD.window, "d1"));
        if (depth == 2)
            rec::click(entry(kE.window, "e1"));
        EXPECT_EQ(harness::run_process(), 0);
        EXPECT_EQ(rec::count("post_quit 0"), 1u);
        EXPECT_EQ(rec::count("quit 0"), 1u);
        EXPECT_TRUE(in_order({"post_quit 0", "handler click_d1 done", "handler click_a1 done", "quit 0"}));
        EXPECT_EQ(setup().exit_calls, 1);
    }
}

// D is opened from A, E from D; E destroys D and is then closed. Nothing is
// modal any more: A takes input again and the handler that opened D returns.
TEST_F(Commands, DialogsClosedOutOfOrderLeaveNothingDisabled)
{
    on("click_a1", [](frame::EventArgs) {
        frame::load_window(kD, std::nullopt, true);
        return nothing();
    });
    on("click_d1", [](frame::EventArgs) {
        frame::load_window(kE, std::nullopt, true);
        return nothing();
    });
    on("click_e1", [](frame::EventArgs) {
        frame::destroy_window(kD, true);
        return nothing();
    });
    rec::click(entry(kA.window, "a1"));
    rec::click(entry(kD.window, "d1"));
    rec::click(entry(kE.window, "e1"));
    rec::close(window(kE.window));
    rec::step([] {
        EXPECT_TRUE(top_of(kA.window)->enabled);
        EXPECT_GE(rec::find("handler click_a1 done"), 0) << "the handler that opened D is still waiting";
    });
    rec::close(window(kA.window));
    EXPECT_EQ(harness::run_process(), 0);
}

TEST_F(Commands, WindowThatCannotBeBuiltIsNotShown)
{
    for (rec::Type failing : {rec::Type::TopLevel, rec::Type::Button, rec::Type::Browser, rec::Type::Painted}) {
        SCOPED_TRACE(static_cast<int>(failing));
        harness::reset();
        setup() = {};
        static std::size_t made_before;
        on("click_a1", [failing](frame::EventArgs) {
            made_before = rec::windows().size();
            rec::config().failing = {failing};
            EXPECT_FALSE(frame::load_window(kD, std::nullopt, true));
            rec::config().failing.clear();
            return nothing();
        });
        rec::click(entry(kA.window, "a1"));
        rec::step([] {
            EXPECT_FALSE(loaded(kD.window));
            std::vector<platform::Window*> all = rec::windows();
            for (std::size_t i = made_before; i < all.size(); ++i) {
                EXPECT_TRUE(all[i]->destroyed) << all[i]->label << " outlived the failed load";
                EXPECT_FALSE(all[i]->visible) << all[i]->label << " was shown";
            }
            EXPECT_TRUE(top_of(kA.window)->enabled);
        });
        rec::close(window(kA.window));
        EXPECT_EQ(harness::run_process(), 0);
        EXPECT_TRUE(rec::lines_starting("set_enabled").empty());
        EXPECT_TRUE(rec::reports().empty());
    }
}

// A asks for its own end and then for a window it owns: by the time that
// window would be made, A is gone.
TEST_F(Commands, WindowWhoseParentGoesWhileItLoadsIsNotLoaded)
{
    on("click_a1", [](frame::EventArgs) {
        frame::destroy_window(kA);
        EXPECT_FALSE(frame::load_window(kE, kA));
        return nothing();
    });
    rec::step([] { frame::load_window(kB); });
    rec::click(entry(kA.window, "a1"));
    rec::step([] {
        EXPECT_FALSE(loaded(kA.window));
        EXPECT_FALSE(loaded(kE.window));
    });
    rec::close(window(kB.window));
    rec::close(window(kE.window));   // only there when the load went ahead
    EXPECT_EQ(harness::run_process(), 0);
}

}  // namespace
