// Calendar fields of a point in time, in local time or in UTC. The time-zone
// rules are the operating system's, so this is the one OS-specific piece of
// the time text (LocalTime_posix.cpp here; a Windows build supplies its own).
#pragma once

#include <cstdint>

namespace quill {

struct CalendarFields {
    int year = 1970; // full calendar year
    int month = 1; // 1..12
    int day = 1; // 1..31
    int hour = 0; // 0..23
    int minute = 0; // 0..59
    int second = 0; // 0..60 (60 only for a leap second)
};

// `utcSeconds` (seconds since 1970-01-01 00:00:00 UTC) in local time, with the
// offset in force at that moment (so summer time applies to summer dates
// whatever the season is now). A time the system cannot convert gives the
// default fields (1970-01-01 00:00:00).
CalendarFields LocalFields(int64_t utcSeconds);

// `utcSeconds` in UTC; same fallback as LocalFields().
CalendarFields UtcFields(int64_t utcSeconds);

// The current local date and time. Re-reads the system's time-zone settings
// first, so a change of zone shows from then on in LocalFields() too.
CalendarFields CurrentLocalFields();

} // namespace quill
