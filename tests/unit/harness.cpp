#include "tests/unit/harness.h"

namespace harness {

void reset()
{
    // Live windows go with the record; their controls touch no platform
    // window when they are deleted.
    frame::app() = frame::App{};
    rec::reset();
}

int run_process()
{
    try {
        return frame::process_main();
    } catch (const rec::Exit& e) {
        return e.code;
    }
}

platform::Window* top_of(std::uint32_t window)
{
    frame::StoredWindow* s = frame::find_stored(window);
    return s && s->live ? s->live->native : nullptr;
}

platform::Window* native_of(std::uint32_t window, std::string_view entry)
{
    frame::StoredWindow* s = frame::find_stored(window);
    if (!s || !s->live)
        return nullptr;
    const frame::LoadedWindow& w = *s->live;
    for (std::size_t i = 1; i < w.working.entries.size(); ++i)
        if (w.working.entries[i].name == entry)
            return w.controls[i - 1] ? w.controls[i - 1]->native() : nullptr;
    ADD_FAILURE() << "window " << window << " has no entry called " << entry;
    return nullptr;
}

platform::Window* hidden_owner()
{
    for (platform::Window* w : rec::windows())
        if (w->type == rec::Type::HiddenOwner)
            return w;
    return nullptr;
}

rec::Target window(std::uint32_t number)
{
    return [number] { return top_of(number); };
}

rec::Target entry(std::uint32_t number, std::string name)
{
    return [number, name] { return native_of(number, name); };
}

bool loaded(std::uint32_t window)
{
    return top_of(window) != nullptr;
}

testing::AssertionResult in_order(std::initializer_list<std::string_view> lines)
{
    long at = -1;
    for (std::string_view line : lines) {
        long next = rec::find(line, static_cast<std::size_t>(at + 1));
        if (next < 0)
            return testing::AssertionFailure() << "'" << line << "' does not follow in the log";
        at = next;
    }
    return testing::AssertionSuccess();
}

std::string report_text(std::string_view message)
{
    return "运行时出错!\r\n\r\n错误信息：" + std::string(message) + "\r\n";
}

}  // namespace harness
