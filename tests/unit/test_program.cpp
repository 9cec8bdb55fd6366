#include "tests/unit/test_program.h"

#include "windows/kinds.h"

#include <array>
#include <map>
#include <utility>

namespace testprog {

const std::string_view kBlock = R"(# A: the start window, placed where its description says.
window 0x52010001
entry 0x06010000 window "A"
    place 10 20 300 200
    flags visible
    title "A"
    start_position 0
    on 1 close_a
entry 0x16010001 Button "a1"
    place 10 10 80 24
    flags visible focus
    caption "a1"
    on 0 click_a1
entry 0x16010002 Button "a2"
    place 10 40 80 24
    flags visible focus
    caption "a2"
    on 0 none

window 0x52010002
entry 0x06020000 window "B"
    place 0 0 200 100
    flags visible
    title "B"
    on 1 close_b
entry 0x16020001 Button "b1"
    flags visible focus
    caption "b1"
    on 0 click_b1

window 0x52010003
entry 0x06030000 window "D"
    place 0 0 200 100
    flags visible
    title "D"
entry 0x16030001 Button "d1"
    flags visible focus
    caption "d1"
    on 0 click_d1
entry 0x16030002 HtmlViewer "d_page"
    flags visible
    url "http://pages.test/d.htm"
    on 0 navigate_d
entry 0x16030003 PicBox "d_box"
    flags visible

window 0x52010004
entry 0x06040000 window "E"
    flags visible
    title "E"
entry 0x16040001 Button "e1"
    flags visible focus
    caption "e1"
    on 0 click_e1
)";

namespace {

// A control that keeps every key for itself, as an editor would.
class KeyBox final : public frame::Control, platform::WindowListener {
public:
    bool make(const frame::CreateArgs& args)
    {
        m_native = platform::create_painted_child(args.parent, args.rect, args.style, this);
        return m_native != nullptr;
    }
    platform::Window* native() const override { return m_native; }
    bool wants_key(platform::Key) const override { return true; }

private:
    platform::Window* m_native = nullptr;
};

std::unique_ptr<frame::Control> create_key_box(const frame::CreateArgs& args)
{
    auto box = std::make_unique<KeyBox>();
    if (!box->make(args))
        return nullptr;
    return box;
}

const frame::Kind kKinds[] = {
    kinds::button,
    kinds::picture_box,
    kinds::html_viewer,
    {"KeyBox", true, true, {}, create_key_box},
};

constexpr std::string_view kNames[] = {"close_a", "close_b", "click_a1", "click_a2",
                                       "click_b1", "click_d1", "click_e1", "navigate_d"};

std::map<std::string, Behaviour, std::less<>>& behaviours()
{
    static std::map<std::string, Behaviour, std::less<>> b;
    return b;
}

template <std::size_t N>
std::optional<bool> named_routine(frame::EventArgs args)
{
    const std::string name(kNames[N]);
    rec::note("handler " + name);
    std::optional<bool> result;
    auto it = behaviours().find(name);
    if (it != behaviours().end() && it->second) {
        Behaviour b = it->second;   // the behaviour may set another
        result = b(args);
    }
    rec::note("handler " + name + " done");
    return result;
}

template <std::size_t... I>
constexpr std::array<frame::HandlerEntry, sizeof...(I)> make_handlers(std::index_sequence<I...>)
{
    return {{{kNames[I], named_routine<I>}...}};
}

const auto kHandlers = make_handlers(std::make_index_sequence<std::size(kNames)>());

frame::Program& program()
{
    static frame::Program p;
    return p;
}

void exit_routine()
{
    ++setup().exit_calls;
    rec::note("exit routine");
}

}  // namespace

Setup& setup()
{
    static Setup s;
    return s;
}

void on(std::string_view handler, Behaviour b)
{
    behaviours()[std::string(handler)] = std::move(b);
}

std::span<const frame::Kind> kinds()
{
    return kKinds;
}

std::span<const frame::HandlerEntry> handlers()
{
    return kHandlers;
}

frame::Handler routine(std::string_view handler)
{
    for (const auto& h : kHandlers)
        if (h.name == handler)
            return h.routine;
    return nullptr;
}

void start(std::string_view block)
{
    setup().block = std::string(block);
    program() = {setup().block, kinds(), handlers()};
    frame::initialise(program());
    frame::load_start_window(setup().start_window);
}

}  // namespace testprog

void ProgramTest::SetUp()
{
    FrameTest::SetUp();
    testprog::setup() = {};
    testprog::behaviours().clear();
}

void ProgramTest::TearDown()
{
    FrameTest::TearDown();
    testprog::behaviours().clear();
}

// The start routine, as the real program's: initialise, set up, register the
// exit routine, load the start window, run the loop.
int frame::program_start()
{
    testprog::Setup& s = testprog::setup();
    testprog::program() = {s.block, testprog::kinds(), testprog::handlers()};
    if (s.exit_routine_first)
        frame::register_exit_routine(testprog::exit_routine);
    frame::initialise(testprog::program());
    frame::register_exit_routine(testprog::exit_routine);
    frame::load_start_window(s.start_window);
    frame::run_message_loop();
    return 0;
}
