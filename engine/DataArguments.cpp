#include "DataArguments.h"

#include <limits>

namespace quill {

namespace {
    bool IsBlank(char c) { return c == ' ' || c == '\t'; }
    bool IsDigit(char c) { return c >= '0' && c <= '9'; }
}

std::optional<PortArgument> ParsePortArgument(std::string_view text)
{
    // The values are capped while they are read, so a long run of digits
    // cannot overflow; anything above 255 is refused afterwards anyway.
    constexpr long Cap = 100000;
    long numbers[6] = {};
    std::size_t i = 0;
    for (long& number : numbers) {
        while (i < text.size() && IsBlank(text[i]))
            ++i;
        while (i < text.size() && IsDigit(text[i])) {
            number = std::min(Cap, number * 10 + (text[i] - '0'));
            ++i;
        }
        while (i < text.size() && IsBlank(text[i]))
            ++i;
        if (i < text.size()) {
            if (text[i] != ',')
                return std::nullopt;
            ++i;
        }
        if (number > 255)
            return std::nullopt;
    }
    PortArgument out;
    out.addr = std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." + std::to_string(numbers[2])
        + "." + std::to_string(numbers[3]);
    out.port = static_cast<int>(numbers[4] * 256 + numbers[5]);
    return out;
}

std::optional<qint64> ParseRestOffset(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i >= text.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        if (!IsDigit(text[i]))
            return std::nullopt;
        const int digit = text[i] - '0';
        if (value > (std::numeric_limits<qint64>::max() - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

} // namespace quill
