#include "ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdint>
#include <vector>

namespace quill {

namespace profile {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// One line of the file, as the format sees it.
struct Line {
    std::string_view text; // without its line end
    bool isSection = false;
    std::string_view name; // section name, or key of a key line
    std::string_view value;
    bool isKey = false;
};

std::vector<Line> Split(std::string_view text)
{
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        Line line;
        line.text = text.substr(start, end - start);
        if (!line.text.empty() && line.text.back() == '\r')
            line.text.remove_suffix(1);
        const std::string_view trimmed = Trim(line.text);
        if (!trimmed.empty() && trimmed.front() == '[') {
            const std::size_t close = trimmed.find(']');
            line.isSection = true;
            line.name = Trim(trimmed.substr(1, close == std::string_view::npos ? close : close - 1));
        } else if (const std::size_t eq = trimmed.find('='); eq != std::string_view::npos) {
            line.isKey = true;
            line.name = Trim(trimmed.substr(0, eq));
            line.value = Trim(trimmed.substr(eq + 1));
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// Security: a value holding a line end would add lines of its own
// (other keys, other sections) to the file; its line ends become blanks.
std::string OneLine(std::string_view value)
{
    std::string out(value);
    for (char& c : out) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    return out;
}

} // namespace

std::optional<std::string> Lookup(std::string_view text, std::string_view section, std::string_view key)
{
    bool inSection = false;
    for (const Line& line : Split(text)) {
        if (line.isSection)
            inSection = SameName(line.name, section);
        else if (inSection && line.isKey && SameName(line.name, key))
            return std::string(line.value);
    }
    return std::nullopt;
}

std::string Assign(
    std::string_view text, std::string_view section, std::string_view key, std::string_view value)
{
    const std::vector<Line> lines = Split(text);
    const std::string entry = std::string(key) + "=" + OneLine(value);

    // Where the entry goes: over the key's line, or after the last
    // non-empty line of the section.
    std::ptrdiff_t replace = -1, insertAfter = -1;
    bool inSection = false;
    for (std::size_t i = 0; i < lines.size() && replace < 0; ++i) {
        const Line& line = lines[i];
        if (line.isSection) {
            if (inSection)
                break; // the section ended without the key
            inSection = SameName(line.name, section);
            if (inSection)
                insertAfter = static_cast<std::ptrdiff_t>(i);
        } else if (inSection) {
            if (line.isKey && SameName(line.name, key))
                replace = static_cast<std::ptrdiff_t>(i);
            else if (!Trim(line.text).empty())
                insertAfter = static_cast<std::ptrdiff_t>(i);
        }
    }

    std::string out;
    out.reserve(text.size() + entry.size() + section.size() + 8);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto at = static_cast<std::ptrdiff_t>(i);
        out += at == replace ? std::string_view(entry) : lines[i].text;
        out += '\n';
        if (replace < 0 && at == insertAfter) {
            out += entry;
            out += '\n';
        }
    }
    if (replace < 0 && insertAfter < 0) {
        out += '[';
        out += section;
        out += "]\n";
        out += entry;
        out += '\n';
    }
    return out;
}

int ParseInteger(std::string_view text, int fallback)
{
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    } else if (text.size() > 1 && text[0] == '$') {
        base = 16;
        text.remove_prefix(1);
    }
    if (text.empty())
        return fallback;
    // Hexadecimal may fill all 32 bits (0xFFFFFFFF is -1); decimal stays
    // within the signed range.
    const std::uint64_t limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    std::uint64_t value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return fallback;
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
        if (value > limit)
            return fallback;
    }
    const auto bits = static_cast<std::uint32_t>(negative ? (~value + 1) : value);
    return static_cast<int>(static_cast<std::int32_t>(bits));
}

} // namespace profile

TProfileFile::TProfileFile(QString path)
    : path_(std::move(path))
{
}

std::string TProfileFile::Load() const
{
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().toStdString();
}

QString TProfileFile::ReadString(const QString& section, const QString& key, const QString& fallback) const
{
    const auto value = profile::Lookup(Load(), section.toStdString(), key.toStdString());
    if (!value)
        return fallback;
    return QString::fromUtf8(value->data(), static_cast<qsizetype>(value->size()))
        .left(profile::MaxValueLength);
}

int TProfileFile::ReadInteger(const QString& section, const QString& key, int fallback) const
{
    const auto value = profile::Lookup(Load(), section.toStdString(), key.toStdString());
    return value ? profile::ParseInteger(value->substr(0, profile::MaxValueLength), fallback) : fallback;
}

bool TProfileFile::ReadBool(const QString& section, const QString& key, bool fallback) const
{
    return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

void TProfileFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    const std::string text
        = profile::Assign(Load(), section.toStdString(), key.toStdString(), value.toUtf8().toStdString());
    QDir().mkpath(QFileInfo(path_).absolutePath());
    // Written aside and renamed over the old file, so a failure half-way
    // never leaves a cut settings file behind.
    // Security: the file holds the sharing password; a new one is readable
    // by its owner only (an existing one keeps the permissions it has).
    const bool isNew = !QFileInfo::exists(path_);
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly)
        || (isNew && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        || file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size())
        || !file.commit())
        throw EProfileError("Cannot write " + path_.toStdString() + ": " + file.errorString().toStdString());
}

void TProfileFile::WriteInteger(const QString& section, const QString& key, int value)
{
    WriteString(section, key, QString::number(value));
}

void TProfileFile::WriteBool(const QString& section, const QString& key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

} // namespace quill
