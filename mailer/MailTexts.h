// The link mailer's fixed texts and the invitation body built from them.
#pragma once

#include <QString>

namespace quill {

inline constexpr const char* kMailSubject = "Quillshare Link";
inline constexpr const char* kMailAgent = "Quillshare"; // the X-Mailer header
// Our web address, named at the end of every invitation.
inline constexpr const char* kQuillshareWebAddress = "www.tarnwick.example"; // the maker's site, as the about box shows it

inline constexpr const char* kMailSentText = "Email Sent Successfully";
inline constexpr const char* kMailErrorText
    = "Error trying to send email, Please ensure that you are connected to the "
      "internet, check the address, or try again later";

// The thirteen lines of the invitation, joined by "\n": six sentences each
// followed by an empty line, then the closing sentence with our web address.
// The password is put between double quotes so the friend sees where it ends.
QString ComposeInvitationBody(const QString& sender, const QString& link, const QString& password);

} // namespace quill
