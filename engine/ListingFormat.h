// The text of directory listings and of the modification-time reply. Pure
// functions: the caller supplies the entry, its local time and today's year.
#pragma once

#include "FileSystem.h"
#include "LocalTime.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quill {

// True when `name` matches `mask` as a directory search on Windows matches it,
// on every platform:
// - letters are compared case-insensitively (simple upper-casing of each
//   character; text is UTF-8, a byte that is not part of valid UTF-8 stands
//   for itself);
// - "*" matches any run of characters; "*" before a "." matches any run that
//   does not take in the name's last ".";
// - "?" matches one character other than "."; at a "." or at the end of the
//   name a "?" matches nothing (so "a?" matches "a");
// - "." before "*", before "?" or at the end of the mask also matches the end
//   of a name without a further "." (so "*." matches names without a dot and
//   "*.*" matches every name).
bool MaskMatches(std::string_view mask, std::string_view name);

// One line of a detailed listing, ending in CR LF, for example
// "-rw-rw-rw-   1 ftp      ftp         1234 Jan 05 09:07 readme.txt".
// `lastWriteLocal` is the entry's last-write time in local time; it shows
// hour and minute when its year is `currentYear`, else the year. Empty for a
// hidden entry or a volume label, which detailed listings leave out.
std::string FormatListingLine(const FileEntry& entry, int currentYear, const CalendarFields& lastWriteLocal);

// One line of a name listing: the name and CR LF. Nothing is left out.
std::string FormatNameLine(const FileEntry& entry);

// The modification-time reply's text for `utcSeconds`: "YYYYMMDDHHMMSS.sss"
// in UTC, each field filled with "0" on the left to its width (a year past
// 9999 widens the text; nothing is cut). Times are whole seconds, so the
// milliseconds are ".000".
std::string MdtmText(int64_t utcSeconds);

} // namespace quill
