// Label and TransLabel: text in a rectangle. A Label paints its background;
// a TransLabel has none, so what lies beneath it shows.
#include "windows/kinds.h"
#include "windows/text_layout.h"

namespace kinds {

namespace {

#define VEXILO_FONT_SETTINGS                                                                                          \
    {"font_face", frame::SettingType::Text}, {"font_height", frame::SettingType::Integer},                            \
        {"font_width", frame::SettingType::Integer}, {"font_weight", frame::SettingType::Integer},                    \
        {"font_italic", frame::SettingType::Flag}, {"font_underline", frame::SettingType::Flag},                      \
        {"font_strikeout", frame::SettingType::Flag}

constexpr frame::SettingSpec kLabelSettings[] = {
    {"text", frame::SettingType::Text},
    {"text_colour", frame::SettingType::Colour},
    {"background", frame::SettingType::Colour},
    {"align", frame::SettingType::Integer},    // 0 left, 1 centre, 2 right
    {"valign", frame::SettingType::Integer},   // 0 top, 1 centre, 2 bottom (one line only)
    {"wrap", frame::SettingType::Flag},
    {"effect", frame::SettingType::Integer},   // 0 none
    {"border", frame::SettingType::Integer},   // 0 none
    VEXILO_FONT_SETTINGS,
};

constexpr frame::SettingSpec kTransLabelSettings[] = {
    {"text", frame::SettingType::Text},
    {"text_colour", frame::SettingType::Colour},
    {"align", frame::SettingType::Integer},
    {"valign", frame::SettingType::Integer},
    {"wrap", frame::SettingType::Flag},
    {"effect", frame::SettingType::Integer},
    VEXILO_FONT_SETTINGS,
};

#undef VEXILO_FONT_SETTINGS

class Label final : public frame::Control, platform::WindowListener {
public:
    Label(const frame::Settings& s, bool opaque, std::string_view default_text)
        : m_text(s.text("text", default_text))
        , m_text_colour(s.colour("text_colour", 0))
        , m_background(s.colour("background", frame::kDefaultColour))
        , m_font(font_setting(s))
        , m_opaque(opaque)
    {
        m_style.horizontal = align_setting(s, "align", 0);
        m_style.vertical = align_setting(s, "valign", 1);
        m_style.word_wrap = s.flag("wrap", false);
    }

    bool make(const frame::CreateArgs& args)
    {
        platform::ChildStyle style = args.style;
        style.transparent = !m_opaque;
        m_native = platform::create_painted_child(args.parent, args.rect, style, this);
        return m_native != nullptr;
    }

    platform::Window* native() const override { return m_native; }

private:
    void on_paint(platform::Canvas& canvas) override
    {
        const platform::Size size = canvas.size();
        if (m_opaque)
            canvas.fill({0, 0, size.width, size.height}, frame::resolve_colour(m_background));
        if (m_text.empty())
            return;
        // A font that cannot be made leaves the default GUI font selected.
        canvas.select_font(m_font);
        const platform::Colour colour = frame::resolve_colour(m_text_colour);
        for (const TextLine& line : lay_out_text(canvas, m_text, size, m_style))
            canvas.draw_text(line.x, line.y, line.text, colour);
    }

    std::string m_text;
    frame::Colour m_text_colour;
    frame::Colour m_background;
    platform::Font m_font;
    TextStyle m_style;
    bool m_opaque;
    platform::Window* m_native = nullptr;
};

template <bool Opaque>
std::unique_ptr<frame::Control> create(const frame::CreateArgs& args)
{
    auto label = std::make_unique<Label>(args.settings, Opaque, Opaque ? "标签" : "透明标签");
    if (!label->make(args))
        return nullptr;
    return label;
}

}  // namespace

const frame::Kind label{"Label", false, true, kLabelSettings, create<true>};
const frame::Kind trans_label{"TransLabel", false, true, kTransLabelSettings, create<false>};

}  // namespace kinds
