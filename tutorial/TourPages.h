// The tutorial's content: the fifteen pages in order, each a caption (a
// one-line label or centred lines of text) above one of the built-in pictures.
#pragma once

#include <QString>
#include <QStringList>

#include <array>

namespace quill::tour {

// The maker's web address, given on the first page.
inline constexpr char kMakerSite[] = "www.tarnwick.example";

// The built-in pictures (JPEG, in the program's resources). Several pages may
// show the same one.
namespace picture {
inline constexpr char About[] = ":/tutorial/pictures/about-box.jpg";
inline constexpr char MainStopped[] = ":/tutorial/pictures/main-stopped.jpg";
inline constexpr char FolderChooser[] = ":/tutorial/pictures/folder-chooser.jpg";
inline constexpr char MainRunning[] = ":/tutorial/pictures/main-running.jpg";
inline constexpr char AccessRights[] = ":/tutorial/pictures/access-rights.jpg";
inline constexpr char MailSender[] = ":/tutorial/pictures/mail-sender.jpg";
inline constexpr char MailAddress[] = ":/tutorial/pictures/mail-address.jpg";
inline constexpr char MailMessage[] = ":/tutorial/pictures/mail-message.jpg";
inline constexpr char MailReader[] = ":/tutorial/pictures/mail-reader.jpg";
inline constexpr char BrowserLogOn[] = ":/tutorial/pictures/browser-logon.jpg";
inline constexpr char BrowserFiles[] = ":/tutorial/pictures/browser-files.jpg";
inline constexpr char MainLog[] = ":/tutorial/pictures/main-log.jpg";
} // namespace picture

enum class CaptionKind {
    Label, // one line, not wrapped, set at the top left
    Lines, // a borderless text box: centred lines, long ones wrapped at its width
};

struct TourPage {
    CaptionKind kind;
    int captionHeight; // pixels
    int textPixels; // pixel size of the caption's red text
    QStringList lines; // shown exactly as written, trailing blanks included
    const char* picture; // one of picture::
};

inline constexpr int kPageCount = 15;

// The pages in the order they are shown.
const std::array<TourPage, kPageCount>& TourPages();

} // namespace quill::tour
