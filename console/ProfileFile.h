// Settings files in the classic profile format: "[section]" lines open a
// section, "key=value" lines hold the settings. Section and key names are
// compared without regard to case; a text value is stored as given and read
// back without its surrounding blanks. Like the system profile functions this
// format comes from, every call reads the file afresh and every write
// rewrites it, so nothing is cached between calls.
#pragma once

#include <QString>

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quill {

// A settings file that could not be written.
class EProfileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace profile {

// The longest value a read gives back (the profile functions read into a
// buffer of 2048 bytes, terminator included).
inline constexpr int MaxValueLength = 2047;

// The value of key in section of the file text, without surrounding
// blanks; nothing when the section or the key is absent.
std::optional<std::string> Lookup(std::string_view text, std::string_view section, std::string_view key);

// The file text with key in section set to value: the key's line is
// replaced, or added at the end of its section, or a new section is added
// at the end. Every other line is kept as it was.
std::string Assign(
    std::string_view text, std::string_view section, std::string_view key, std::string_view value);

// An integer setting: decimal with an optional sign, or hexadecimal after
// "0x" (or "$"); anything else, or a number outside 32 bits, gives fallback.
int ParseInteger(std::string_view text, int fallback);

} // namespace profile

// One settings file by its full path.
class TProfileFile {
public:
    explicit TProfileFile(QString path);

    const QString& Path() const { return path_; }

    // Reads give `fallback` when the file, the section or the key is missing.
    QString ReadString(const QString& section, const QString& key, const QString& fallback) const;
    int ReadInteger(const QString& section, const QString& key, int fallback) const;
    // Stored as an integer: any value other than 0 is true.
    bool ReadBool(const QString& section, const QString& key, bool fallback) const;

    // Writes make the file (and its folder) when missing. Raise EProfileError
    // when the file cannot be written; the file is then left as it was.
    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);

private:
    std::string Load() const;

    QString path_;
};

} // namespace quill
