// PicBox: a flat rectangle of its background colour.
#include "windows/kinds.h"

namespace kinds {

namespace {

constexpr frame::SettingSpec kSettings[] = {
    {"border", frame::SettingType::Integer},       // 0 none
    {"background", frame::SettingType::Colour},
};

class PictureBox final : public frame::Control, platform::WindowListener {
public:
    explicit PictureBox(frame::Colour background) : m_background(background) {}

    bool make(const frame::CreateArgs& args)
    {
        m_native = platform::create_painted_child(args.parent, args.rect, args.style, this);
        return m_native != nullptr;
    }

    platform::Window* native() const override { return m_native; }

private:
    void on_paint(platform::Canvas& canvas) override
    {
        platform::Size size = canvas.size();
        canvas.fill({0, 0, size.width, size.height}, frame::resolve_colour(m_background));
    }

    frame::Colour m_background;
    platform::Window* m_native = nullptr;
};

std::unique_ptr<frame::Control> create(const frame::CreateArgs& args)
{
    auto box = std::make_unique<PictureBox>(args.settings.colour("background", frame::kDefaultColour));
    if (!box->make(args))
        return nullptr;
    return box;
}

}  // namespace

const frame::Kind picture_box{"PicBox", false, false, kSettings, create};

}  // namespace kinds
