// Button: the platform's native push button. A click raises event 0.
#include "windows/kinds.h"

namespace kinds {

namespace {

constexpr frame::SettingSpec kSettings[] = {
    {"type", frame::SettingType::Integer},     // 0 normal, 1 default push button
    {"align", frame::SettingType::Integer},    // caption: 0 left, 1 centre, 2 right
    {"valign", frame::SettingType::Integer},   // caption: 0 top, 1 centre, 2 bottom
    {"caption", frame::SettingType::Text},
};

class Button final : public frame::Control, platform::WindowListener {
public:
    Button(std::uint32_t window, std::uint32_t control, bool default_push)
        : m_window(window), m_control(control), m_default_push(default_push)
    {
    }

    bool make(const frame::CreateArgs& args)
    {
        platform::ButtonStyle style;
        style.caption = args.settings.text("caption", "按钮");
        style.default_push = m_default_push;
        style.horizontal = align_setting(args.settings, "align", 1);
        style.vertical = align_setting(args.settings, "valign", 1);
        m_native = platform::create_button(args.parent, args.rect, args.style, style, this);
        return m_native != nullptr;
    }

    platform::Window* native() const override { return m_native; }
    bool is_default_push() const override { return m_default_push; }
    void click() override { on_clicked(); }

private:
    // The handler may destroy this button's window: nothing is touched after.
    void on_clicked() override { frame::raise_event(m_window, m_control, 0); }

    std::uint32_t m_window, m_control;
    bool m_default_push;
    platform::Window* m_native = nullptr;
};

std::unique_ptr<frame::Control> create(const frame::CreateArgs& args)
{
    auto b = std::make_unique<Button>(args.window_number, args.control_number, args.settings.integer("type", 0) == 1);
    if (!b->make(args))
        return nullptr;
    return b;
}

}  // namespace

const frame::Kind button{"Button", true, true, kSettings, create};

platform::Align align_setting(const frame::Settings& settings, std::string_view name, int fallback)
{
    switch (settings.integer(name, fallback)) {
    case 1: return platform::Align::Centre;
    case 2: return platform::Align::Far;
    default: return platform::Align::Near;
    }
}

platform::Font font_setting(const frame::Settings& s)
{
    platform::Font f;
    f.face = s.text("font_face", "");
    f.height = s.integer("font_height", 0);
    f.width = s.integer("font_width", 0);
    f.weight = s.integer("font_weight", 400);
    f.italic = s.flag("font_italic", false);
    f.underline = s.flag("font_underline", false);
    f.strike_out = s.flag("font_strikeout", false);
    return f;
}

}  // namespace kinds
