// The maker's web site, which the help window, the about box and the credit
// line point to.
#pragma once

namespace quill::maker {

inline constexpr char Host[] = "www.tarnwick.example";
inline constexpr char ManualPath[] = "/catalog.htm";
inline constexpr char FaqPath[] = "/faq.htm";

} // namespace quill::maker
