// The program: its start routine, its three handler routines, and the tables
// that name its control kinds and routines for the window descriptions.
#include "windows/kinds.h"

#include "windows/descriptions_block.h"

namespace {

constexpr frame::WindowRef kMainWindow{0x52010001, 0x06010000};
constexpr frame::WindowRef kAboutWindow{0x5201000F, 0x0601000E};

std::optional<bool> about_clicked(frame::EventArgs)
{
    frame::load_window(kAboutWindow, std::nullopt, true);
    return std::nullopt;
}

std::optional<bool> exit_clicked(frame::EventArgs)
{
    frame::destroy_window(kMainWindow);
    return std::nullopt;
}

std::optional<bool> ok_clicked(frame::EventArgs)
{
    frame::destroy_window(kAboutWindow);
    return std::nullopt;
}

void set_up() {}
void exit_routine() {}

const frame::Kind kKinds[] = {kinds::button, kinds::picture_box, kinds::html_viewer, kinds::label, kinds::trans_label};

const frame::HandlerEntry kHandlers[] = {
    {"about_clicked", about_clicked},
    {"exit_clicked", exit_clicked},
    {"ok_clicked", ok_clicked},
};

}  // namespace

int frame::program_start()
{
    static const frame::Program program{descriptions_block(), kKinds, kHandlers};
    frame::initialise(program);
    set_up();
    frame::register_exit_routine(exit_routine);
    frame::load_start_window(kMainWindow.window);
    frame::run_message_loop();
    return 0;
}
