#include "LocalTime.h"

#include <ctime>

namespace quill {

namespace {

CalendarFields FromTm(const std::tm& tm)
{
    CalendarFields fields;
    fields.year = tm.tm_year + 1900;
    fields.month = tm.tm_mon + 1;
    fields.day = tm.tm_mday;
    fields.hour = tm.tm_hour;
    fields.minute = tm.tm_min;
    fields.second = tm.tm_sec;
    return fields;
}

} // namespace

CalendarFields LocalFields(int64_t utcSeconds)
{
    const auto t = static_cast<std::time_t>(utcSeconds);
    std::tm tm {};
    if (static_cast<int64_t>(t) != utcSeconds || localtime_r(&t, &tm) == nullptr)
        return {};
    return FromTm(tm);
}

CalendarFields UtcFields(int64_t utcSeconds)
{
    const auto t = static_cast<std::time_t>(utcSeconds);
    std::tm tm {};
    if (static_cast<int64_t>(t) != utcSeconds || gmtime_r(&t, &tm) == nullptr)
        return {};
    return FromTm(tm);
}

CalendarFields CurrentLocalFields()
{
    // Picks up a change of the system's time zone since the last listing.
    tzset();
    return LocalFields(static_cast<int64_t>(std::time(nullptr)));
}

} // namespace quill
