// Start-up and the error report, with the test program.
#include "tests/unit/test_program.h"

namespace {

class StartUp : public ProgramTest {};

using testprog::kA;
using testprog::setup;

TEST_F(StartUp, CorruptedBlockEndsTheProcessWithTheReport)
{
    setup().block = "window 0x52010001\nentry 0x06010000 window \"A\"\n    title A\n";
    setup().exit_routine_first = true;
    EXPECT_EQ(harness::run_process(), -1);

    ASSERT_EQ(rec::reports().size(), 1u);
    EXPECT_EQ(rec::reports()[0].title, "错误");
    EXPECT_EQ(rec::reports()[0].text, "运行时出错!\r\n\r\n错误信息：载入窗口模板数据段出错!\r\n");
    EXPECT_EQ(setup().exit_calls, 0);
    EXPECT_TRUE(rec::lines_starting("create_top_level").empty());
    // The platform is released before the process ends.
    long box = rec::find("error_box 错误");
    EXPECT_GT(rec::find("destroy owner", box), box);
    EXPECT_GT(rec::find("finish", box), box);
    EXPECT_EQ(rec::log().back(), "exit_process -1");
}

struct FolderCase {
    const char* executable;
    char separator;
    const char* folder;   // nullptr: no call
};

void expect_current_folder(const FolderCase& c)
{
    SCOPED_TRACE(c.executable);
    harness::reset();
    rec::config().executable = c.executable;
    rec::config().separator = c.separator;
    rec::close(harness::window(kA.window));
    EXPECT_EQ(harness::run_process(), 0);
    std::vector<std::string> expected;
    if (c.folder)
        expected.push_back("set_current_directory " + std::string(c.folder));
    EXPECT_EQ(rec::lines_starting("set_current_directory"), expected);
}

TEST_F(StartUp, CurrentFolderIsTheExecutablesFolder)
{
    for (const FolderCase& c : {
             FolderCase{"/opt/vexilo/bin/vexilo-player", '/', "/opt/vexilo/bin"},
             FolderCase{"C:\\Program Files\\Vexilo\\vexilo.exe", '\\', "C:\\Program Files\\Vexilo"},
             FolderCase{"", '/', nullptr},
         })
        expect_current_folder(c);
}

TEST_F(StartUp, CurrentFolderOfAnExecutableAtTheRoot)
{
    for (const FolderCase& c : {
             FolderCase{"/vexilo-player", '/', "/"},
             FolderCase{"C:\\vexilo.exe", '\\', "C:\\"},
         })
        expect_current_folder(c);
}

TEST_F(StartUp, MissingStartWindowEndsTheProcessWithTheReport)
{
    setup().start_window = 0x52010063;
    EXPECT_EQ(harness::run_process(), -1);
    ASSERT_EQ(rec::reports().size(), 1u);
    EXPECT_EQ(rec::reports()[0].title, "错误");
    EXPECT_EQ(rec::reports()[0].text, harness::report_text("载入启动窗口失败"));
    EXPECT_EQ(setup().exit_calls, 0);
}

TEST_F(StartUp, StartWindowPlacedWhereItsDescriptionSays)
{
    // start_position 0: the stored place, whatever the screen.
    rec::config().screen = {300, 200};
    rec::close(harness::window(kA.window));
    EXPECT_EQ(harness::run_process(), 0);
    EXPECT_EQ(rec::lines_starting("create_top_level"), std::vector<std::string>{"create_top_level 'A' 10,20 300x200"});
}

TEST_F(StartUp, ErrorCodeIsPartOfTheReport)
{
    testprog::start();
    try {
        frame::fatal("坏了", 5);
        FAIL() << "fatal returned";
    } catch (const rec::Exit& e) {
        EXPECT_EQ(e.code, -1);
    }
    ASSERT_EQ(rec::reports().size(), 1u);
    EXPECT_EQ(rec::reports()[0].text, "运行时出错!\r\n\r\n错误代码：5\r\n\r\n错误信息：坏了\r\n");
    // The loaded window goes before the process ends.
    EXPECT_EQ(rec::count("destroy top 'A'"), 1u);
}

}  // namespace
