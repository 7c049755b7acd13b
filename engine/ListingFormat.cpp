#include "ListingFormat.h"

#include <QChar>

#include <cstdio>
#include <vector>

namespace quill {

namespace {

// Stand-in for a byte that is not part of valid UTF-8: a lone surrogate, which
// no decoded character can be, so such a byte matches only the same byte.
constexpr char32_t StrayByteBase = 0xDC00;

std::u32string DecodeUtf8(std::string_view text)
{
    std::u32string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int length = 0;
        char32_t cp = 0;
        char32_t min = 0;
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            cp = lead & 0x1F;
            min = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            cp = lead & 0x0F;
            min = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            cp = lead & 0x07;
            min = 0x10000;
        }
        bool valid = length > 0 && i + length <= text.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            cp = (cp << 6) | (next & 0x3F);
        }
        valid = valid && cp >= min && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
        if (valid) {
            out.push_back(cp);
            i += length;
        } else {
            out.push_back(StrayByteBase + lead);
            ++i;
        }
    }
    return out;
}

char32_t Fold(char32_t c)
{
    if (c < 0x80)
        return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
    return QChar::toUpper(c);
}

enum class Token { Literal, Star, StarBeforeDot, QuestionMark, Dot };

struct MaskItem {
    Token token;
    char32_t c;
};

std::vector<MaskItem> Compile(const std::u32string& mask)
{
    std::vector<MaskItem> items;
    items.reserve(mask.size());
    for (std::size_t i = 0; i < mask.size(); ++i) {
        const char32_t c = mask[i];
        const char32_t next = i + 1 < mask.size() ? mask[i + 1] : 0;
        if (c == U'*')
            items.push_back({ next == U'.' ? Token::StarBeforeDot : Token::Star, c });
        else if (c == U'?')
            items.push_back({ Token::QuestionMark, c });
        else if (c == U'.' && (next == U'*' || next == U'?' || next == 0))
            items.push_back({ Token::Dot, c });
        else
            items.push_back({ Token::Literal, Fold(c) });
    }
    return items;
}

const char* const MonthNames[]
    = { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };

bool IsProgramName(const std::string& name)
{
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || name.size() - dot != 4)
        return false;
    std::string ext = name.substr(dot + 1);
    for (char& c : ext)
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    return ext == "EXE" || ext == "COM" || ext == "BAT";
}

} // namespace

bool MaskMatches(std::string_view mask, std::string_view name)
{
    if (mask == "*.*")
        return true;
    const std::vector<MaskItem> items = Compile(DecodeUtf8(mask));
    std::u32string text = DecodeUtf8(name);
    std::size_t lastDot = std::u32string::npos;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == U'.')
            lastDot = i;
        text[i] = Fold(text[i]);
    }

    // matches[p][n]: mask items from p on match the name from n on. Each row
    // depends only on itself (to the right) and on the row below.
    const std::size_t m = items.size();
    const std::size_t n = text.size();
    std::vector<char> below(n + 1, 0);
    std::vector<char> row(n + 1, 0);
    below[n] = 1; // the empty mask matches only the rest of an empty name
    for (std::size_t p = m; p-- > 0;) {
        const MaskItem& item = items[p];
        for (std::size_t k = n + 1; k-- > 0;) {
            const bool atEnd = k == n;
            const char32_t c = atEnd ? 0 : text[k];
            bool ok = false;
            switch (item.token) {
            case Token::Literal:
                ok = !atEnd && c == item.c && below[k + 1];
                break;
            case Token::Star:
                ok = below[k] || (!atEnd && row[k + 1]);
                break;
            case Token::StarBeforeDot:
                ok = below[k] || (!atEnd && k != lastDot && row[k + 1]);
                break;
            case Token::QuestionMark:
                ok = (atEnd || c == U'.') ? below[k] : below[k + 1];
                break;
            case Token::Dot:
                ok = atEnd ? below[k] : (c == U'.' && below[k + 1]);
                break;
            }
            row[k] = ok ? 1 : 0;
        }
        below.swap(row);
    }
    return below[0] != 0;
}

std::string FormatListingLine(const FileEntry& entry, int currentYear, const CalendarFields& lastWriteLocal)
{
    if (entry.hidden || entry.volumeLabel)
        return {};

    std::string mode = "-rw-rw-rw-";
    if (entry.directory)
        mode[0] = 'd';
    if (entry.readOnly)
        mode[2] = mode[5] = mode[8] = '-';
    if (IsProgramName(entry.name))
        mode[3] = mode[6] = mode[9] = 'x';

    const int month = lastWriteLocal.month;
    const char* monthName = month >= 1 && month <= 12 ? MonthNames[month - 1] : "???";
    const long long size = entry.directory ? 0 : static_cast<long long>(entry.size);

    char middle[96];
    std::snprintf(
        middle, sizeof middle, "   1 ftp      ftp  %11lld %s %2.2d ", size, monthName, lastWriteLocal.day);
    char when[32];
    if (lastWriteLocal.year == currentYear)
        std::snprintf(when, sizeof when, "%2.2d:%2.2d ", lastWriteLocal.hour, lastWriteLocal.minute);
    else
        std::snprintf(when, sizeof when, "%5d ", lastWriteLocal.year);

    std::string line;
    line.reserve(mode.size() + 64 + entry.name.size());
    line += mode;
    line += middle;
    line += when;
    line += entry.name;
    line += "\r\n";
    return line;
}

std::string FormatNameLine(const FileEntry& entry)
{
    return entry.name + "\r\n";
}

std::string MdtmText(int64_t utcSeconds)
{
    const CalendarFields f = UtcFields(utcSeconds);
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d.000", f.year, f.month, f.day, f.hour, f.minute,
        f.second);
    return text;
}

} // namespace quill
