// Pure parsing of the arguments of PORT (RFC 959 section 4.1.2) and REST.
#pragma once

#include <QtGlobal>

#include <optional>
#include <string>
#include <string_view>

namespace quill {

struct PortArgument {
    std::string addr; // dotted decimal, as the visitor wrote the numbers
    int port = 0;
};

// Reads "h1,h2,h3,h4,p1,p2": blanks and tabs around the numbers are allowed,
// a missing number counts as 0 (a short list is accepted), and what follows
// the sixth number's comma is ignored. Nothing when a number is followed by
// anything but a comma, a number is out of its range (0-255) or the port
// is above 65535.
std::optional<PortArgument> ParsePortArgument(std::string_view text);

// A REST offset: optional blanks, an optional sign and decimal digits that
// fit in 64 bits. Nothing when the text is no such number.
std::optional<qint64> ParseRestOffset(std::string_view text);

} // namespace quill
