// The description reader: what it keeps of a good block, and how it refuses
// a bad one.
#include "tests/unit/test_program.h"

#include <array>
#include <string>

using namespace std::string_literals;

namespace {

frame::ReadResult read(std::string_view block)
{
    return frame::read_descriptions(block, testprog::kinds(), testprog::handlers());
}

TEST(Reader, KeepsWhatTheBlockSays)
{
    // Comments, blank lines, CRLF endings, escapes, hexadecimal and negative
    // numbers, an unnamed entry and an event bound three times.
    const std::string block = "# a comment line\r\n"
                              "\n"
                              "window 0x52010001   # a comment after a line\r\n"
                              "entry 0x06010000 window \"主窗口\"\r\n"
                              "    place -3 0x10 568 446\n"
                              "    flags visible disabled focus\n"
                              "    title \"a \\\"b\\\" \\\\ c\\td#e\\r\\n\"\n"
                              "    background 0xFF000000\n"
                              "    esc_closes off\n"
                              "entry 0x16010001 Button\n"
                              "    tab -2\n"
                              "    type 1\n"
                              "    on 0 click_a1\n"
                              "    on 3 none\n"
                              "    on 0 click_a2\n"
                              "window 0x52010002\n"
                              "entry 0x06020000 window \"B\"\n";
    frame::ReadResult r = read(block);
    ASSERT_TRUE(r.ok()) << r.error;
    ASSERT_EQ(r.descriptions.size(), 2u);

    const frame::Description& a = r.descriptions[0];
    EXPECT_EQ(a.number, 0x52010001u);
    ASSERT_EQ(a.entries.size(), 2u);
    const frame::Entry& own = a.entries[0];
    EXPECT_TRUE(own.is_window());
    EXPECT_EQ(own.number, 0x06010000u);
    EXPECT_EQ(own.name, "主窗口");
    EXPECT_EQ((std::array{own.left, own.top, own.width, own.height}), (std::array{-3, 16, 568, 446}));
    EXPECT_TRUE(own.visible && own.disabled && own.focus_stop);
    EXPECT_EQ(own.settings.text("title", ""), "a \"b\" \\ c\td#e\r\n");
    EXPECT_EQ(own.settings.colour("background", 0), frame::kDefaultColour);
    EXPECT_FALSE(own.settings.flag("esc_closes", true));
    EXPECT_TRUE(own.settings.flag("control_box", true));   // not stored: the fallback
    EXPECT_EQ(own.settings.integer("title", 7), 7);         // of another type: the fallback

    const frame::Entry& button = a.entries[1];
    ASSERT_NE(button.kind, nullptr);
    EXPECT_EQ(button.kind->name, "Button");
    EXPECT_EQ(button.name, "");
    EXPECT_FALSE(button.visible || button.disabled || button.focus_stop);
    EXPECT_EQ(button.tab_order, -2);
    EXPECT_EQ(button.settings.integer("type", 0), 1);
    ASSERT_EQ(button.bindings.size(), 3u);
    EXPECT_EQ(button.bindings[0].routine, testprog::routine("click_a1"));
    EXPECT_EQ(button.bindings[1].event, 3);
    EXPECT_EQ(button.bindings[1].routine, nullptr);
    EXPECT_EQ(button.bindings[2].routine, testprog::routine("click_a2"));
    EXPECT_EQ(button.routine_for(0), testprog::routine("click_a1"));   // the first binding counts
    EXPECT_EQ(button.routine_for(3), nullptr);

    EXPECT_EQ(a.find(0), &own);
    EXPECT_EQ(a.find(0x16010001), &button);
    EXPECT_EQ(a.find(0x16010002), nullptr);

    ASSERT_EQ(r.descriptions[1].entries.size(), 1u);
    EXPECT_EQ(r.descriptions[1].entries[0].name, "B");
}

// A good block of nine lines; each case below spoils one of them.
const std::string kGood = "window 0x52010001\n"              // 1
                          "entry 0x06010000 window \"A\"\n"  // 2
                          "    place 0 0 100 100\n"          // 3
                          "    title \"A\"\n"                // 4
                          "entry 0x16010001 Button \"b\"\n"  // 5
                          "    caption \"b\"\n"              // 6
                          "    on 0 click_a1\n"              // 7
                          "window 0x52010002\n"              // 8
                          "entry 0x06020000 window \"B\"\n"; // 9

std::string spoil(int line, const std::string& text)
{
    std::string out;
    std::size_t pos = 0;
    for (int n = 1; pos < kGood.size(); ++n) {
        std::size_t end = kGood.find('\n', pos) + 1;
        out += n == line ? text + "\n" : kGood.substr(pos, end - pos);
        pos = end;
    }
    return out;
}

TEST(Reader, GoodBlockOfTheTable)
{
    frame::ReadResult r = read(kGood);
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.descriptions.size(), 2u);
}

// Nothing is kept of a block that fails, and the diagnostic names the line.
void expect_refused(const std::string& block, int line, const char* says)
{
    frame::ReadResult r = read(block);
    EXPECT_TRUE(r.descriptions.empty());
    EXPECT_TRUE(r.error.starts_with("line " + std::to_string(line) + ": ")) << r.error;
    EXPECT_NE(r.error.find(says), std::string::npos) << r.error;
}

TEST(Reader, CorruptedBlocksFailAsAWholeNamingTheLine)
{
    struct Case {
        const char* what;
        std::string block;
        int line;   // the line the diagnostic must name
        const char* says;
    };
    const Case cases[] = {
        {"bad number", spoil(3, "    place 0 0 1O0 100"), 3, "is not a number"},
        {"number out of range", spoil(3, "    place 0 0 2147483648 100"), 3, "out of range"},
        {"negative entry number", spoil(5, "entry -5 Button \"b\""), 5, "out of range"},
        {"window number out of range", spoil(8, "window 0x152010002"), 8, "out of range"},
        {"not a window number", spoil(8, "window 0x53010002"), 8, "not a window number"},
        {"unknown kind", spoil(5, "entry 0x16010001 Slider \"b\""), 5, "unknown kind"},
        {"unknown handler", spoil(7, "    on 0 nobody"), 7, "no handler routine"},
        {"quoted handler", spoil(7, "    on 0 \"click_a1\""), 7, "must not be quoted"},
        {"duplicate entry number", spoil(7, "    on 0 click_a1\nentry 0x16010001 Button \"c\""), 8, "appears twice"},
        {"duplicate window number", spoil(8, "window 0x52010001"), 8, "described twice"},
        {"first entry not a window", spoil(2, "entry 0x16010000 Button \"A\""), 2, "must be of kind window"},
        {"own entry number with a top nibble", spoil(2, "entry 0x16010000 window \"A\""), 2,
         "not a window's own entry number"},
        {"control number with top nibble 0", spoil(5, "entry 0x06010001 Button \"b\""), 5, "not a control number"},
        {"unquoted text", spoil(4, "    title A"), 4, "must be quoted"},
        {"unterminated quote", spoil(4, "    title \"A"), 4, "no closing quote"},
        {"unknown escape", spoil(4, "    title \"a\\qb\""), 4, "unknown escape"},
        {"text running into a word", spoil(4, "    title \"A\"B"), 4, "runs into"},
        {"unknown setting for the kind", spoil(6, "    url \"b\""), 6, "not a setting of kind Button"},
        {"flag given a number", spoil(4, "    esc_closes 1"), 4, "neither on nor off"},
        {"number given as text", spoil(6, "    type \"1\""), 6, "is not a number"},
        {"too few values", spoil(3, "    place 0 0 100"), 3, "takes 4 value(s)"},
        {"unknown flag", spoil(3, "    flags visible shiny"), 3, "unknown flag"},
        {"field before any entry", spoil(1, "window 0x52010001\n    title \"x\""), 2, "before the first entry"},
        {"line before any window", spoil(1, "    title \"x\"\nwindow 0x52010001"), 1, "before the first window"},
        {"duplicated field", spoil(4, "    title \"A\"\n    title \"B\""), 5, "given twice"},
        {"comments only", "# nothing\n\n", 2, "holds no window"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        expect_refused(c.block, c.line, c.says);
    }
}

TEST(Reader, BadBytesAreRefusedNamingTheirLine)
{
    struct Case {
        const char* what;
        std::string line;
        const char* says;
    };
    const Case cases[] = {
        {"invalid UTF-8", "    caption \"\xC3\x28\"", "UTF-8"},
        {"UTF-16 surrogate", "    caption \"\xED\xA0\x80\"", "UTF-8"},
        {"control character", "    caption \"a\x01\"", "UTF-8"},
        {"NUL byte", "    caption \"a\0b\""s, "NUL"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        expect_refused(spoil(6, c.line), 6, c.says);
    }
}

TEST(Reader, EmptyBlockFails)
{
    frame::ReadResult r = read("");
    EXPECT_TRUE(r.descriptions.empty());
    EXPECT_NE(r.error.find("holds no window"), std::string::npos) << r.error;
}

}  // namespace
