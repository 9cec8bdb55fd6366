// The real program on the recording platform: its embedded descriptions,
// its start-up, its main window's keys and what its two buttons do.
#include "tests/unit/harness.h"

#include "windows/descriptions_block.h"

#include <array>

namespace {

class MainProgram : public FrameTest {};

using harness::entry;
using harness::in_order;
using harness::loaded;
using harness::native_of;
using harness::top_of;
using harness::window;
using platform::Key;

constexpr std::uint32_t kMain = 0x52010001;
constexpr std::uint32_t kAbout = 0x5201000F;
const std::string kTitle = "Vexilo播放器 v1.0";
const std::string kMainLabel = "top '" + kTitle + "'";
const std::string kPlayer = "http://" VEXILO_PLAYER_HOST "/jiujiuting/99Players.htm";
const std::string kSite = "http://" VEXILO_SITE_HOST "/admin/ad/vexilo.htm";

// The handler routine the real program names so.
frame::Handler handler(std::string_view name)
{
    for (const frame::HandlerEntry& h : frame::app().program->handlers)
        if (h.name == name)
            return h.routine;
    ADD_FAILURE() << "the program has no handler routine called " << name;
    return nullptr;
}

TEST_F(MainProgram, EmbeddedDescriptionsRead)
{
    // The program's own tables, as its start routine hands them to the frame.
    static const frame::Program* program;
    rec::step([] { program = frame::app().program; });
    rec::close(window(kMain));
    ASSERT_EQ(harness::run_process(), 0);
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(program->descriptions.data(), descriptions_block().data());

    frame::ReadResult r = frame::read_descriptions(program->descriptions, program->kinds, program->handlers);
    ASSERT_TRUE(r.ok()) << r.error;
    ASSERT_EQ(r.descriptions.size(), 2u);
    EXPECT_EQ(r.descriptions[0].number, kMain);
    EXPECT_EQ(r.descriptions[1].number, kAbout);

    struct Expected {
        std::uint32_t number;
        const char* kind;   // "" for the window's own entry
        const char* name;
        std::array<int, 4> place;
        bool focus;
        const char* on_click;   // the routine bound to event 0
    };
    const Expected main[] = {
        {0x06010000, "", "", {50, 50, 568, 446}, false, nullptr},
        {0x1601000A, "Button", "按钮1", {449, 376, 102, 31}, true, "about_clicked"},
        {0x16010009, "PicBox", "图片框3", {415, 334, 32, 136}, false, nullptr},
        {0x16010008, "PicBox", "图片框2", {0, 412, 448, 100}, false, nullptr},
        {0x16010007, "PicBox", "图片框1", {-3, 317, 456, 19}, false, nullptr},
        {0x16010006, "HtmlViewer", "超文本浏览框2", {-2, 324, 435, 123}, true, nullptr},
        {0x16010005, "Button", "按钮3", {450, 329, 102, 31}, true, "exit_clicked"},
        {0x16010002, "HtmlViewer", "超文本浏览框1", {4, 8, 584, 312}, true, nullptr},
    };
    const std::vector<frame::Entry>& entries = r.descriptions[0].entries;
    ASSERT_EQ(entries.size(), std::size(main));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const frame::Entry& e = entries[i];
        SCOPED_TRACE(main[i].name);
        EXPECT_EQ(e.number, main[i].number);
        EXPECT_EQ(e.kind ? e.kind->name : "", main[i].kind);
        EXPECT_EQ(e.name, main[i].name);
        EXPECT_EQ((std::array{e.left, e.top, e.width, e.height}), main[i].place);
        EXPECT_TRUE(e.visible);
        EXPECT_FALSE(e.disabled);
        EXPECT_EQ(e.focus_stop, main[i].focus);
        EXPECT_EQ(e.routine_for(0), main[i].on_click ? handler(main[i].on_click) : nullptr);
        EXPECT_EQ(e.bindings.size(), main[i].on_click ? 1u : 0u);
    }
    EXPECT_NE(handler("about_clicked"), handler("exit_clicked"));
    const frame::Settings& own = entries[0].settings;
    EXPECT_EQ(own.text("title", ""), kTitle);
    EXPECT_TRUE(own.flag("minimize_box", false));
    EXPECT_TRUE(own.flag("maximize_box", false));
    EXPECT_EQ(entries[1].settings.text("caption", ""), "关于软件");
    EXPECT_EQ(entries[6].settings.text("caption", ""), "退出软件");
    EXPECT_EQ(entries[5].settings.text("url", ""), kSite);
    EXPECT_EQ(entries[7].settings.text("url", ""), kPlayer);
    EXPECT_EQ(entries[5].settings.integer("FontSize", 0), 2);
    EXPECT_EQ(entries[7].settings.integer("FontSize", 0), 2);

    // The About window: its own entry first, then whatever controls it has.
    const std::vector<frame::Entry>& about = r.descriptions[1].entries;
    ASSERT_FALSE(about.empty());
    EXPECT_EQ(about[0].number, 0x0601000Eu);
    EXPECT_TRUE(about[0].is_window());
    EXPECT_TRUE(about[0].visible);
    for (std::size_t i = 1; i < about.size(); ++i)
        EXPECT_FALSE(about[i].is_window()) << about[i].name;
}

std::vector<std::string> labels(const std::vector<platform::Window*>& windows)
{
    std::vector<std::string> out;
    for (platform::Window* w : windows)
        out.push_back(w->label);
    return out;
}

platform::Window* made(rec::Type type, std::string_view label)
{
    for (platform::Window* w : rec::windows())
        if (w->type == type && w->label == label)
            return w;
    return nullptr;
}

TEST_F(MainProgram, StartUpBuildsTheMainWindow)
{
    rec::close(window(kMain));
    EXPECT_EQ(harness::run_process(), 0);

    EXPECT_TRUE(in_order({"start", "set_current_directory /opt/vexilo/bin", "create_hidden_owner",
                          "create_top_level '" + kTitle + "' 228,161 568x446"}));
    // Controls are made from the last entry back to the first.
    const std::vector<std::string> creations = {
        "create_browser " + kPlayer,   "create_button '退出软件'",    "create_browser " + kSite,
        "create_painted_child -3,317", "create_painted_child 0,412", "create_painted_child 415,334",
        "create_button '关于软件'",
    };
    std::vector<std::string> made_children;
    for (const std::string& line : rec::lines_starting("create_"))
        if (!line.starts_with("create_hidden_owner") && !line.starts_with("create_top_level"))
            made_children.push_back(line);
    EXPECT_EQ(made_children, creations);
    // ... and stacked first entry on top.
    const std::vector<std::string> stacking = {
        "button '关于软件'", "painted 415,334",  "painted 0,412", "painted -3,317",
        "browser " + kSite,  "button '退出软件'", "browser " + kPlayer,
    };
    platform::Window* main = made(rec::Type::TopLevel, kMainLabel);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(labels(main->children), stacking);

    // Both pages are on their way before the window is first shown; then the
    // first focus stop takes the focus.
    const std::string show = "show_top_level " + kMainLabel;
    EXPECT_TRUE(in_order({"create_browser " + kPlayer, "create_browser " + kSite, "show_child browser " + kPlayer + " 1",
                          show, "set_focus browser " + kPlayer}));
    EXPECT_EQ(rec::count(show), 1u);
    EXPECT_EQ(rec::lines_starting("show_child").size(), 7u);
    for (const std::string& line : rec::lines_starting("show_child"))
        EXPECT_EQ(line.back(), '1') << line;

    EXPECT_TRUE(main->top.minimize_box && main->top.maximize_box && main->top.system_menu && main->top.fixed_frame);
    EXPECT_EQ(main->top.owner, nullptr);
    for (const std::string& url : {kPlayer, kSite}) {
        platform::Window* page = made(rec::Type::Browser, "browser " + url);
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->browser.zoom_step, 2);
        EXPECT_EQ(page->browser.url, url);
    }
    EXPECT_TRUE(in_order({"close " + kMainLabel, "destroy " + kMainLabel, "post_quit 0", "quit 0", "destroy owner",
                          "finish"}));
    EXPECT_TRUE(rec::reports().empty());
}

TEST_F(MainProgram, MainWindowIsCentredOnTheScreen)
{
    struct Case {
        platform::Size screen;
        int x, y;
    };
    const Case cases[] = {
        {{1024, 768}, 228, 161}, {{1920, 1080}, 676, 317}, {{568, 446}, 0, 0}, {{567, 445}, 0, 0},
        {{565, 443}, -1, -1},    {{500, 400}, -34, -23},   {{0, 0}, -284, -223},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.screen.width) + "x" + std::to_string(c.screen.height));
        harness::reset();
        rec::config().screen = c.screen;
        rec::close(window(kMain));
        EXPECT_EQ(harness::run_process(), 0);
        platform::Window* main = made(rec::Type::TopLevel, kMainLabel);
        ASSERT_NE(main, nullptr);
        EXPECT_EQ(main->rect.x, c.x);
        EXPECT_EQ(main->rect.y, c.y);
        EXPECT_EQ(main->rect.width, 568);
        EXPECT_EQ(main->rect.height, 446);
    }
}

TEST_F(MainProgram, MainWindowThatCannotBeBuiltIsReported)
{
    for (rec::Type failing : {rec::Type::TopLevel, rec::Type::Browser, rec::Type::Button, rec::Type::Painted}) {
        SCOPED_TRACE(static_cast<int>(failing));
        harness::reset();
        rec::config().failing = {failing};
        EXPECT_EQ(harness::run_process(), -1);
        ASSERT_EQ(rec::reports().size(), 1u);
        EXPECT_EQ(rec::reports()[0].title, "错误");
        EXPECT_EQ(rec::reports()[0].text, harness::report_text("载入启动窗口失败"));
        EXPECT_TRUE(rec::lines_starting("show_").empty());
        for (platform::Window* w : rec::windows())
            EXPECT_TRUE(w->destroyed) << w->label;
    }
}

TEST_F(MainProgram, ExitButtonEndsTheProgram)
{
    rec::click(entry(kMain, "按钮3"));
    EXPECT_EQ(harness::run_process(), 0);
    // The window goes when the loop takes the request, after the click is over.
    EXPECT_TRUE(in_order({"click button '退出软件'", "post " + kMainLabel, "clicked button '退出软件'",
                          "dispatch " + kMainLabel, "destroy " + kMainLabel, "post_quit 0", "quit 0"}));
    EXPECT_TRUE(rec::reports().empty());
}

TEST_F(MainProgram, DoubleClickOnExitEndsTheProgramOnce)
{
    rec::click(entry(kMain, "按钮3"));
    rec::click(entry(kMain, "按钮3"));
    EXPECT_EQ(harness::run_process(), 0);
    EXPECT_EQ(rec::count("destroy " + kMainLabel), 1u);
    EXPECT_EQ(rec::count("click button '退出软件'"), 1u);
    EXPECT_EQ(rec::pending_input(), 1u) << "the quit comes before the second click";
    EXPECT_TRUE(rec::reports().empty());
}

// The About window's control whose click the program answers with ok_clicked.
platform::Window* about_ok_button()
{
    const frame::LoadedWindow* w = frame::find_loaded({kAbout, 0});
    for (std::size_t i = 1; w && i < w->working.entries.size(); ++i)
        if (w->working.entries[i].routine_for(0) == handler("ok_clicked"))
            return w->controls[i - 1]->native();
    ADD_FAILURE() << "no control of the About window is bound to ok_clicked";
    return nullptr;
}

TEST_F(MainProgram, AboutWindowIsADialog)
{
    for (bool by_button : {false, true}) {
        SCOPED_TRACE(by_button ? "closed by its button" : "closed by Esc");
        harness::reset();
        rec::click(entry(kMain, "按钮1"));
        rec::step([] {
            ASSERT_TRUE(loaded(kAbout));
            EXPECT_FALSE(top_of(kMain)->enabled);
            EXPECT_EQ(top_of(kAbout)->top.owner, harness::hidden_owner());
        });
        if (by_button)
            rec::click(about_ok_button);
        else
            rec::key(window(kAbout), rec::plain(Key::Escape));
        rec::step([] {
            EXPECT_FALSE(loaded(kAbout));
            EXPECT_TRUE(top_of(kMain)->enabled);
        });
        rec::close(window(kMain));
        EXPECT_EQ(harness::run_process(), 0);

        // The click that opened it is over only when the About window is gone.
        EXPECT_TRUE(in_order({"click button '关于软件'", "show_top_level top ''", "set_enabled " + kMainLabel + " 0",
                              by_button ? "dispatch top ''" : "key Escape top ''", "set_enabled " + kMainLabel + " 1",
                              "destroy top ''", "clicked button '关于软件'"}));
        EXPECT_TRUE(rec::reports().empty());
    }
}

TEST_F(MainProgram, TabWalksTheMainWindow)
{
    rec::step([] {
        platform::Window* main = top_of(kMain);
        auto focused = [main] { return main->focus; };
        EXPECT_EQ(focused(), native_of(kMain, "超文本浏览框1"));
        for (const char* next : {"按钮3", "超文本浏览框2", "按钮1", "超文本浏览框1"}) {
            EXPECT_TRUE(rec::press(main, rec::plain(Key::Tab)));
            EXPECT_EQ(focused(), native_of(kMain, next)) << next;
        }
        for (const char* next : {"按钮1", "超文本浏览框2", "按钮3", "超文本浏览框1"}) {
            EXPECT_TRUE(rec::press(main, rec::shifted(Key::Tab)));
            EXPECT_EQ(focused(), native_of(kMain, next)) << next;
        }
    });
    rec::close(window(kMain));
    EXPECT_EQ(harness::run_process(), 0);
}

TEST_F(MainProgram, KeysTheMainWindowLeavesAlone)
{
    struct Case {
        const char* focus;
        platform::KeyPress key;
    };
    static const Case cases[] = {
        {"超文本浏览框1", {Key::Tab, false, true, false}},
        {"超文本浏览框1", {Key::Tab, false, false, true}},
        {"按钮3", {Key::Tab, true, true, false}},
        {"按钮3", rec::plain(Key::Enter)},   // neither button is a default push button
        {"按钮1", rec::plain(Key::Enter)},
        {"超文本浏览框2", rec::plain(Key::Enter)},
        {"按钮1", rec::plain(Key::Other)},
    };
    rec::step([] {
        platform::Window* main = top_of(kMain);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.focus);
            platform::set_focus(native_of(kMain, c.focus));
            EXPECT_FALSE(rec::press(main, c.key));
            EXPECT_EQ(main->focus, native_of(kMain, c.focus));
        }
    });
    rec::close(window(kMain));
    EXPECT_EQ(harness::run_process(), 0);
    EXPECT_TRUE(rec::lines_starting("click").empty());
    EXPECT_TRUE(rec::lines_starting("post ").empty());
    EXPECT_EQ(rec::lines_starting("create_top_level").size(), 1u);
}

TEST_F(MainProgram, EscClosesTheMainWindowWhereverTheFocusIs)
{
    for (const char* stop : {"超文本浏览框1", "按钮3", "超文本浏览框2", "按钮1"}) {
        SCOPED_TRACE(stop);
        harness::reset();
        rec::step([stop] { platform::set_focus(native_of(kMain, stop)); });
        rec::key(window(kMain), rec::plain(Key::Escape));
        EXPECT_EQ(harness::run_process(), 0);
        EXPECT_TRUE(in_order({"key Escape " + kMainLabel, "destroy " + kMainLabel, "consumed", "quit 0"}));
    }
}

TEST_F(MainProgram, SpaceClicksTheFocusedButton)
{
    rec::step([] { platform::set_focus(native_of(kMain, "按钮3")); });
    rec::key(window(kMain), rec::plain(Key::Space));
    EXPECT_EQ(harness::run_process(), 0);
    EXPECT_TRUE(in_order({"key Space " + kMainLabel, "passed to button '退出软件'", "click button '退出软件'",
                          "destroy " + kMainLabel}));
}

}  // namespace
