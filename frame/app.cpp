// Start-up and shutdown: the application record, the start routine's
// operations, the message loop and the error report.
#include "frame/app.h"

#include <cfenv>
#include <cstdio>

namespace frame {

App& app()
{
    static App record;
    return record;
}

Colour resolve_colour(Colour c)
{
    return c == kDefaultColour ? platform::button_face_colour() : (c & 0x00FFFFFF);
}

int process_main()
{
    if (!platform::start())
        std::fputs("vexilo: no display to open\n", stderr);
    std::string path = platform::executable_path();
    std::size_t cut = path.rfind(platform::path_separator());
    // A root folder keeps its separator: "/" and "C:\" name the root, "C:" does not.
    bool root = cut == 0 || (cut != std::string::npos && path[cut - 1] == ':');
    app().exe_folder = cut == std::string::npos ? std::string() : path.substr(0, root ? cut + 1 : cut);
    app().exe_name = cut == std::string::npos ? path : path.substr(cut + 1);

    if (program_start() == 0) {
        end_routine();
        return app().quit_code;
    }
    end_routine();
    return 0;
}

void initialise(const Program& program)
{
    App& a = app();
    a.program = &program;
    if (!a.exe_folder.empty())
        platform::set_current_directory(a.exe_folder);
    a.hidden_owner = platform::create_hidden_owner();

    ReadResult read = read_descriptions(program.descriptions, program.kinds, program.handlers);
    if (!read.ok()) {
        // The user sees the fixed text; the line and field are for developers.
        std::fprintf(stderr, "vexilo: window descriptions: %s\n", read.error.c_str());
        fatal("载入窗口模板数据段出错!");
    }
    for (Description& d : read.descriptions)
        a.store.push_back({std::move(d), nullptr});

    // Pages and libraries may leave the floating-point unit in any state.
    std::fesetenv(FE_DFL_ENV);
}

void register_exit_routine(void (*routine)())
{
    app().exit_routine = routine;
}

void load_start_window(std::uint32_t window_number)
{
    StoredWindow* s = find_stored(window_number);
    if (!s || !load_window({window_number, s->description.entries.front().number}))
        fatal("载入启动窗口失败");
}

void run_message_loop()
{
    app().loop_entered = true;
    if (!any_window_loaded())
        return;
    message_loop();
}

void message_loop(const LoadedWindow* modal)
{
    App& a = app();
    for (;;) {
        if (modal) {
            if (!is_loaded(modal))
                return;
            // The quit message stays queued for the main loop.
            if (platform::quit_is_next())
                return;
        }
        int code = 0;
        if (platform::run_one_step(&code)) {
            if (modal) {
                platform::post_quit(code);
                return;
            }
            a.quit_code = code;
            return;
        }
    }
}

void end_routine()
{
    App& a = app();
    ++a.events_blocked;
    // Windows still loaded (after an error report) go before their descriptions.
    for (StoredWindow& s : a.store)
        if (s.live) {
            platform::destroy(s.live->native);
            s.live.reset();
        }
    a.store.clear();
    if (auto routine = std::exchange(a.exit_routine, nullptr))
        routine();
    if (a.hidden_owner)
        platform::destroy(std::exchange(a.hidden_owner, nullptr));
    platform::finish();
}

void fatal(std::string_view text, int code)
{
    App& a = app();
    ++a.events_blocked;
    std::string message = "运行时出错!\r\n\r\n";
    if (code != 0)
        message += "错误代码：" + std::to_string(code) + "\r\n\r\n";
    if (!text.empty()) {
        message += "错误信息：";
        message += text;
        message += "\r\n";
    }
    platform::error_box("错误", message);
    a.exit_routine = nullptr;
    end_routine();
    platform::exit_process(-1);
}

}  // namespace frame
