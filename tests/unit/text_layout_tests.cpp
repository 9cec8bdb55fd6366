// Text layout of the labels, measured with a canvas whose every character
// is 10 pixels wide and whose lines are 16 pixels high.
#include "windows/text_layout.h"

#include <gtest/gtest.h>

namespace {

class GridCanvas final : public platform::Canvas {
public:
    platform::Size size() const override { return {}; }
    void fill(platform::Rect, platform::Colour) override {}
    bool select_font(const platform::Font&) override { return true; }
    int line_height() override { return 16; }
    int text_width(std::string_view s) override
    {
        int characters = 0;
        for (unsigned char c : s)
            characters += (c & 0xC0) != 0x80;
        return 10 * characters;
    }
    void draw_text(int, int, std::string_view, platform::Colour) override {}
};

using platform::Align;
using Lines = std::vector<std::tuple<std::string, int, int>>;

Lines lay_out(std::string_view text, platform::Size box, kinds::TextStyle style)
{
    GridCanvas canvas;
    Lines out;
    for (const auto& line : kinds::lay_out_text(canvas, text, box, style))
        out.emplace_back(line.text, line.x, line.y);
    return out;
}

TEST(TextLayout, OneLinePlacedByBothAlignments)
{
    struct Case {
        Align h, v;
        int x, y;
    } cases[] = {
        {Align::Near, Align::Near, 0, 0},     {Align::Centre, Align::Centre, 35, 12},
        {Align::Far, Align::Far, 70, 24},     {Align::Near, Align::Centre, 0, 12},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(lay_out("abc", {100, 40}, {c.h, c.v, false}), (Lines{{"abc", c.x, c.y}}));
    }
}

TEST(TextLayout, OneLineIgnoresLineBreaks)
{
    EXPECT_EQ(lay_out("ab\r\ncd", {100, 16}, {Align::Near, Align::Near, false}), (Lines{{"abcd", 0, 0}}));
}

TEST(TextLayout, WrappedTextStartsAtTheTopWhateverTheVerticalAlignment)
{
    Lines expected{{"很高兴", 0, 0}, {"", 0, 16}, {"如果您对", 0, 32}, {"软件", 0, 48}};
    for (Align v : {Align::Near, Align::Centre, Align::Far})
        EXPECT_EQ(lay_out("很高兴\r\n\r\n如果您对软件", {45, 200}, {Align::Near, v, true}), expected);
}

TEST(TextLayout, WrapBreaksAfterBlanksWhenItCan)
{
    EXPECT_EQ(lay_out("one two three", {80, 100}, {Align::Near, Align::Near, true}),
              (Lines{{"one two", 0, 0}, {"three", 0, 16}}));
    // A word longer than the box is broken inside.
    EXPECT_EQ(lay_out("abcdefgh", {35, 100}, {Align::Centre, Align::Near, true}),
              (Lines{{"abc", 2, 0}, {"def", 2, 16}, {"gh", 7, 32}}));
}

TEST(TextLayout, NarrowBoxStillShowsOneCharacterALine)
{
    EXPECT_EQ(lay_out("中国", {5, 100}, {Align::Near, Align::Near, true}), (Lines{{"中", 0, 0}, {"国", 0, 16}}));
}

}  // namespace
