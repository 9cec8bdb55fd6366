#include "windows/text_layout.h"

namespace kinds {

namespace {

std::size_t utf8_length(unsigned char lead)
{
    return lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 1;
}

bool is_space(std::string_view s, std::size_t at)
{
    return s[at] == ' ' || s[at] == '\t';
}

// Breaks one paragraph at the width: after the last blank that fits, or,
// in a run without blanks (Chinese text), before the character that
// overflows. Every line holds at least one character.
void break_paragraph(platform::Canvas& canvas, std::string_view text, int width, std::vector<std::string>& out)
{
    while (!text.empty()) {
        std::size_t end = 0, last_blank = std::string_view::npos;
        while (end < text.size()) {
            std::size_t next = std::min(text.size(), end + utf8_length(static_cast<unsigned char>(text[end])));
            if (end > 0 && canvas.text_width(text.substr(0, next)) > width)
                break;
            if (is_space(text, end))
                last_blank = end;
            end = next;
        }
        if (end < text.size() && last_blank != std::string_view::npos && last_blank > 0)
            end = last_blank;
        std::string_view line = text.substr(0, end);
        while (!line.empty() && is_space(line, line.size() - 1))
            line.remove_suffix(1);
        out.emplace_back(line);
        text.remove_prefix(end);
        // The next line does not start with the blanks it was broken at.
        while (!text.empty() && is_space(text, 0))
            text.remove_prefix(1);
    }
}

int place(platform::Align a, int room, int size)
{
    switch (a) {
    case platform::Align::Centre: return (room - size) / 2;
    case platform::Align::Far: return room - size;
    default: return 0;
    }
}

}  // namespace

std::vector<TextLine> lay_out_text(platform::Canvas& canvas, std::string_view text, platform::Size box,
                                   const TextStyle& style)
{
    std::vector<std::string> lines;
    if (style.word_wrap) {
        std::size_t start = 0;
        for (;;) {
            std::size_t br = text.find("\r\n", start);
            std::string_view paragraph = text.substr(start, br == std::string_view::npos ? br : br - start);
            if (paragraph.empty())
                lines.emplace_back();
            else
                break_paragraph(canvas, paragraph, box.width, lines);
            if (br == std::string_view::npos)
                break;
            start = br + 2;
        }
    } else {
        // One line: line breaks in the text do not break it.
        std::string line;
        for (char c : text)
            if (c != '\r' && c != '\n')
                line += c;
        lines.push_back(std::move(line));
    }

    const int height = canvas.line_height();
    std::vector<TextLine> placed;
    int y = style.word_wrap ? 0 : place(style.vertical, box.height, height);
    for (std::string& line : lines) {
        int x = place(style.horizontal, box.width, canvas.text_width(line));
        placed.push_back({std::move(line), x, y});
        y += height;
    }
    return placed;
}

}  // namespace kinds
