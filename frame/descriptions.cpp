#include "frame/descriptions.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <set>

namespace frame {

namespace {

constexpr SettingSpec kWindowSettings[] = {
    {"title", SettingType::Text},
    {"border", SettingType::Integer},
    {"control_box", SettingType::Flag},
    {"maximize_box", SettingType::Flag},
    {"minimize_box", SettingType::Flag},
    {"start_position", SettingType::Integer},
    {"movable", SettingType::Flag},
    {"background", SettingType::Colour},
    {"esc_closes", SettingType::Flag},
    {"enter_moves_focus", SettingType::Flag},
    {"show_in_taskbar", SettingType::Flag},
    {"always_on_top", SettingType::Flag},
};

// The offset of the first byte that is not valid UTF-8 text, or npos.
std::size_t invalid_utf8_at(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        auto c = static_cast<unsigned char>(s[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : -1;
        if (extra < 0 || (extra > 0 && (c < 0xC2 || i + extra >= s.size())))
            return i;
        std::uint32_t cp = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            auto d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80)
                return i;
            cp = cp << 6 | (d & 0x3F);
        }
        if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
            return i;
        if (cp < 0x20 && cp != '\t' && cp != '\r' && cp != '\n')
            return i;
        i += extra + 1;
    }
    return std::string_view::npos;
}

// One line split into words; quoted words keep their text with escapes resolved.
struct Word {
    std::string text;
    bool quoted = false;
};

class Reader {
public:
    Reader(std::string_view block, std::span<const Kind> kinds, std::span<const HandlerEntry> handlers)
        : m_block(block), m_kinds(kinds), m_handlers(handlers)
    {
    }

    ReadResult run()
    {
        ReadResult result;
        if (std::size_t bad = invalid_utf8_at(m_block); bad != std::string_view::npos) {
            m_line = 1 + static_cast<int>(std::count(m_block.begin(), m_block.begin() + bad, '\n'));
            fail(m_block[bad] == '\0' ? "a NUL byte" : "a byte that is not UTF-8 text or a control character");
        }
        while (m_error.empty() && next_line())
            take_line();
        if (m_error.empty())
            finish_description();
        if (m_error.empty() && m_descriptions.empty())
            fail("the block holds no window");
        if (!m_error.empty()) {
            result.error = m_error;
            return result;
        }
        result.descriptions = std::move(m_descriptions);
        return result;
    }

private:
    bool next_line()
    {
        while (m_pos < m_block.size()) {
            std::size_t end = m_block.find('\n', m_pos);
            if (end == std::string_view::npos)
                end = m_block.size();
            std::string_view line = m_block.substr(m_pos, end - m_pos);
            m_pos = end + 1;
            ++m_line;
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            m_words.clear();
            if (!split(line))
                return false;
            if (!m_words.empty())
                return true;
        }
        return false;
    }

    bool split(std::string_view line)
    {
        std::size_t i = 0;
        while (i < line.size()) {
            char c = line[i];
            if (c == ' ' || c == '\t') {
                ++i;
            } else if (c == '#') {
                break;
            } else if (c == '"') {
                Word w{{}, true};
                ++i;
                for (;;) {
                    if (i >= line.size())
                        return fail("a text has no closing quote");
                    char d = line[i++];
                    if (d == '"')
                        break;
                    if (d != '\\') {
                        w.text += d;
                        continue;
                    }
                    if (i >= line.size())
                        return fail("a text ends in a lone backslash");
                    switch (line[i++]) {
                    case 'n': w.text += '\n'; break;
                    case 'r': w.text += '\r'; break;
                    case 't': w.text += '\t'; break;
                    case '"': w.text += '"'; break;
                    case '\\': w.text += '\\'; break;
                    default: return fail("unknown escape in a text");
                    }
                }
                if (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '#')
                    return fail("a text runs into the next word");
                m_words.push_back(std::move(w));
            } else {
                std::size_t start = i;
                while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '"' && line[i] != '#')
                    ++i;
                m_words.push_back({std::string(line.substr(start, i - start)), false});
            }
        }
        return true;
    }

    bool fail(std::string message)
    {
        if (m_error.empty())
            m_error = "line " + std::to_string(m_line) + ": " + message;
        return false;
    }

    bool expect_words(std::size_t count, std::string_view what)
    {
        if (m_words.size() == count)
            return true;
        return fail(std::string(what) + " takes " + std::to_string(count - 1) + " value(s)");
    }

    // Numbers are decimal or 0x-hexadecimal, with an optional minus sign.
    template <typename T>
    bool number(const Word& w, std::string_view field, T& out)
    {
        std::string_view s = w.text;
        bool negative = !s.empty() && s.front() == '-';
        if (negative)
            s.remove_prefix(1);
        int base = 10;
        if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
            base = 16;
            s.remove_prefix(2);
        }
        std::uint64_t magnitude = 0;
        auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), magnitude, base);
        if (w.quoted || s.empty() || ec != std::errc() || end != s.data() + s.size())
            return fail(std::string(field) + ": '" + w.text + "' is not a number");
        constexpr auto lo = static_cast<std::int64_t>(std::numeric_limits<T>::min());
        constexpr auto hi = static_cast<std::uint64_t>(std::numeric_limits<T>::max());
        if (negative ? (lo == 0 || magnitude > static_cast<std::uint64_t>(-(lo + 1)) + 1) : magnitude > hi)
            return fail(std::string(field) + ": " + w.text + " is out of range");
        out = negative ? static_cast<T>(-static_cast<std::int64_t>(magnitude)) : static_cast<T>(magnitude);
        return true;
    }

    bool flag(const Word& w, std::string_view field, bool& out)
    {
        if (!w.quoted && (w.text == "on" || w.text == "off")) {
            out = w.text == "on";
            return true;
        }
        return fail(std::string(field) + ": '" + w.text + "' is neither on nor off");
    }

    bool text(const Word& w, std::string_view field, std::string& out)
    {
        if (!w.quoted)
            return fail(std::string(field) + ": a text must be quoted");
        out = w.text;
        return true;
    }

    void take_line()
    {
        const std::string& head = m_words[0].text;
        if (m_words[0].quoted) {
            fail("a line must start with a field name");
        } else if (head == "window") {
            finish_description();
            if (!expect_words(2, "window"))
                return;
            Description d;
            if (!number(m_words[1], "window", d.number))
                return;
            if ((d.number & 0xFFFF0000u) != 0x52010000u) {
                fail("window: " + m_words[1].text + " is not a window number");
                return;
            }
            for (const auto& seen : m_descriptions)
                if (seen.number == d.number) {
                    fail("window: " + m_words[1].text + " is described twice");
                    return;
                }
            m_current = std::move(d);
            m_in_window = true;
        } else if (!m_in_window) {
            fail("'" + head + "' comes before the first window line");
        } else if (head == "entry") {
            take_entry();
        } else if (m_current.entries.empty()) {
            fail("'" + head + "' comes before the first entry line");
        } else {
            take_field(m_current.entries.back());
        }
    }

    void take_entry()
    {
        if (m_words.size() != 3 && m_words.size() != 4) {
            fail("entry takes a number, a kind and a name");
            return;
        }
        Entry e;
        if (!number(m_words[1], "entry", e.number))
            return;
        if (m_words[2].quoted) {
            fail("entry: the kind must not be quoted");
            return;
        }
        const std::string& kind = m_words[2].text;
        bool own = m_current.entries.empty();
        if (own) {
            if (kind != "window") {
                fail("entry: the first entry of a window must be of kind window");
                return;
            }
            if ((e.number >> 28) != 0 || e.number == 0) {
                fail("entry: " + m_words[1].text + " is not a window's own entry number");
                return;
            }
        } else {
            auto it = std::find_if(m_kinds.begin(), m_kinds.end(), [&](const Kind& k) { return k.name == kind; });
            if (it == m_kinds.end()) {
                fail("entry: unknown kind '" + kind + "'");
                return;
            }
            e.kind = &*it;
            if ((e.number >> 28) == 0) {
                fail("entry: " + m_words[1].text + " is not a control number");
                return;
            }
        }
        for (const auto& seen : m_current.entries)
            if (seen.number == e.number) {
                fail("entry: " + m_words[1].text + " appears twice in this window");
                return;
            }
        if (m_words.size() == 4 && !text(m_words[3], "entry name", e.name))
            return;
        m_current.entries.push_back(std::move(e));
        m_seen_fields.clear();
    }

    void take_field(Entry& e)
    {
        const std::string& field = m_words[0].text;
        if (field != "on" && !m_seen_fields.insert(field).second) {
            fail(field + ": given twice for one entry");
            return;
        }
        if (field == "place") {
            if (expect_words(5, "place"))
                number(m_words[1], "place", e.left) && number(m_words[2], "place", e.top)
                    && number(m_words[3], "place", e.width) && number(m_words[4], "place", e.height);
        } else if (field == "flags") {
            for (std::size_t i = 1; i < m_words.size(); ++i) {
                const Word& w = m_words[i];
                if (w.quoted)
                    fail("flags: the flags must not be quoted");
                else if (w.text == "visible")
                    e.visible = true;
                else if (w.text == "disabled")
                    e.disabled = true;
                else if (w.text == "focus")
                    e.focus_stop = true;
                else
                    fail("flags: unknown flag '" + w.text + "'");
            }
        } else if (field == "tab") {
            if (expect_words(2, "tab"))
                number(m_words[1], "tab", e.tab_order);
        } else if (field == "on") {
            take_binding(e);
        } else {
            take_setting(e);
        }
    }

    void take_binding(Entry& e)
    {
        if (!expect_words(3, "on"))
            return;
        Binding b;
        if (!number(m_words[1], "on", b.event))
            return;
        const Word& name = m_words[2];
        if (name.quoted) {
            fail("on: the handler name must not be quoted");
            return;
        }
        if (name.text != "none") {
            auto it = std::find_if(m_handlers.begin(), m_handlers.end(),
                                   [&](const HandlerEntry& h) { return h.name == name.text; });
            if (it == m_handlers.end() || !it->routine) {
                fail("on: no handler routine is called '" + name.text + "'");
                return;
            }
            b.routine = it->routine;
        }
        e.bindings.push_back(b);
    }

    void take_setting(Entry& e)
    {
        const std::string& field = m_words[0].text;
        std::span<const SettingSpec> table = e.kind ? e.kind->settings : window_settings();
        auto spec = std::find_if(table.begin(), table.end(), [&](const SettingSpec& s) { return s.name == field; });
        if (spec == table.end()) {
            std::string kind = e.kind ? std::string(e.kind->name) : "window";
            fail("'" + field + "' is not a setting of kind " + kind);
            return;
        }
        if (!expect_words(2, field))
            return;
        std::vector<Setting> items = e.settings.items();
        Setting s{field, {}};
        switch (spec->type) {
        case SettingType::Integer: {
            std::int32_t v = 0;
            if (!number(m_words[1], field, v))
                return;
            s.value = std::int64_t{v};
            break;
        }
        case SettingType::Colour: {
            std::uint32_t v = 0;
            if (!number(m_words[1], field, v))
                return;
            s.value = std::int64_t{v};
            break;
        }
        case SettingType::Flag: {
            bool v = false;
            if (!flag(m_words[1], field, v))
                return;
            s.value = v;
            break;
        }
        case SettingType::Text: {
            std::string v;
            if (!text(m_words[1], field, v))
                return;
            s.value = std::move(v);
            break;
        }
        }
        items.push_back(std::move(s));
        e.settings = Settings(std::move(items));
    }

    void finish_description()
    {
        if (!m_in_window)
            return;
        m_in_window = false;
        if (m_current.entries.empty()) {
            fail("window " + std::to_string(m_current.number) + " has no entries");
            return;
        }
        m_descriptions.push_back(std::move(m_current));
        m_current = {};
    }

    std::string_view m_block;
    std::span<const Kind> m_kinds;
    std::span<const HandlerEntry> m_handlers;
    std::size_t m_pos = 0;
    int m_line = 0;
    std::vector<Word> m_words;
    std::string m_error;
    std::vector<Description> m_descriptions;
    Description m_current;
    bool m_in_window = false;
    std::set<std::string> m_seen_fields;
};

}  // namespace

std::span<const SettingSpec> window_settings()
{
    return kWindowSettings;
}

Handler Entry::routine_for(int event) const
{
    for (const Binding& b : bindings)
        if (b.event == event)
            return b.routine;
    return nullptr;
}

const Entry* Description::find(std::uint32_t entry_number) const
{
    if (entry_number == 0)
        return entries.empty() ? nullptr : &entries.front();
    for (const Entry& e : entries)
        if (e.number == entry_number)
            return &e;
    return nullptr;
}

ReadResult read_descriptions(std::string_view block, std::span<const Kind> kinds,
                             std::span<const HandlerEntry> handlers)
{
    return Reader(block, kinds, handlers).run();
}

// ---------------------------------------------------------------------------

const SettingValue* Settings::find(std::string_view name) const
{
    for (const Setting& s : m_items)
        if (s.name == name)
            return &s.value;
    return nullptr;
}

std::int32_t Settings::integer(std::string_view name, std::int32_t fallback) const
{
    const SettingValue* v = find(name);
    return v && std::holds_alternative<std::int64_t>(*v) ? static_cast<std::int32_t>(std::get<std::int64_t>(*v)) : fallback;
}

Colour Settings::colour(std::string_view name, Colour fallback) const
{
    const SettingValue* v = find(name);
    return v && std::holds_alternative<std::int64_t>(*v) ? static_cast<Colour>(std::get<std::int64_t>(*v)) : fallback;
}

bool Settings::flag(std::string_view name, bool fallback) const
{
    const SettingValue* v = find(name);
    return v && std::holds_alternative<bool>(*v) ? std::get<bool>(*v) : fallback;
}

std::string Settings::text(std::string_view name, std::string_view fallback) const
{
    const SettingValue* v = find(name);
    return v && std::holds_alternative<std::string>(*v) ? std::get<std::string>(*v) : std::string(fallback);
}

}  // namespace frame
