// HtmlViewer: a browser view that fills its box and shows one page. Its
// notifications become events 0 to 9, in the order of platform::BrowserNotice.
#include "windows/kinds.h"

#include <algorithm>

namespace kinds {

namespace {

constexpr frame::SettingSpec kSettings[] = {
    {"FontSize", frame::SettingType::Integer},   // text size 0..4, 2 medium
    {"Offline", frame::SettingType::Flag},
    {"Silent", frame::SettingType::Flag},
    {"url", frame::SettingType::Text},
};

class HtmlViewer final : public frame::Control, platform::WindowListener {
public:
    HtmlViewer(std::uint32_t window, std::uint32_t control) : m_window(window), m_control(control) {}

    bool make(const frame::CreateArgs& args)
    {
        platform::BrowserSettings settings;
        settings.zoom_step = std::clamp(args.settings.integer("FontSize", 2), 0, 4);
        settings.offline = args.settings.flag("Offline", false);
        settings.silent = args.settings.flag("Silent", false);
        settings.url = args.settings.text("url", "");
        m_native = platform::create_browser(args.parent, args.rect, args.style, settings, this);
        return m_native != nullptr;
    }

    platform::Window* native() const override { return m_native; }

private:
    bool on_browser(platform::BrowserNotice notice, std::string_view text, int number, bool flag) override
    {
        std::vector<frame::EventArg> args;
        switch (notice) {
        case platform::BrowserNotice::ProgressChange: args.emplace_back(number); break;
        case platform::BrowserNotice::CommandStateChange:
            args.emplace_back(number);
            args.emplace_back(flag);
            break;
        case platform::BrowserNotice::DownloadBegin:
        case platform::BrowserNotice::DownloadComplete: break;
        default: args.emplace_back(std::string(text)); break;
        }
        // A handler may destroy the window; nothing of this box is touched after.
        frame::EventResult r = frame::raise_event(m_window, m_control, static_cast<int>(notice), args);
        return !(r.ran && r.value == false);
    }

    std::uint32_t m_window, m_control;
    platform::Window* m_native = nullptr;
};

std::unique_ptr<frame::Control> create(const frame::CreateArgs& args)
{
    auto view = std::make_unique<HtmlViewer>(args.window_number, args.control_number);
    if (!view->make(args))
        return nullptr;
    return view;
}

}  // namespace

const frame::Kind html_viewer{"HtmlViewer", true, true, kSettings, create};

}  // namespace kinds
