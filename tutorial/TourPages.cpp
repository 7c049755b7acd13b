#include "TourPages.h"

namespace quill::tour {

namespace {

constexpr int kText = 21; // pixel size of every caption but the last
constexpr int kLargeText = 27;

std::array<TourPage, kPageCount> MakePages()
{
    using enum CaptionKind;
    // The captions are the text the user reads: every blank and full stop
    // counts, including the ones that look like slips.
    return { {
        // 1
        { Label, 39, kText,
            { QStringLiteral("Support and F.A.Q.s available Online at ") + QLatin1String(kMakerSite) },
            picture::About },
        // 2
        { Label, 53, kText,
            { QStringLiteral("Sharing Files is as Simple as clicking on \"Share Directory\"") },
            picture::MainStopped },
        // 3
        { Lines, 71, kText,
            {
                QStringLiteral(
                    "Browse your computer and select which folder you wish to share. Your friends or "),
                QStringLiteral(
                    "coworkers will be able to view your files in this folder or any sub-folders."),
            },
            picture::FolderChooser },
        // 4
        { Lines, 89, kText,
            {
                QStringLiteral(
                    "Make sure that you enter a Password in order to Limit Access and then click on "),
                QStringLiteral(
                    "\"Start Server\" in order to start sharing your selected files. You can stop sharing "),
                QStringLiteral("files at any time by clicking on \"Stop Server\""),
            },
            picture::MainRunning },
        // 5
        { Lines, 131, kText,
            {
                QStringLiteral(
                    "After you click on \"Start Server\" you can set the access rights in order to "
                    "control "),
                QStringLiteral(
                    "what your friends or coworkers can do with your files. The most security is offered "),
                QStringLiteral("by selecting \"Clear All\". This will allow them only to view and copy your "
                               "files. They "),
                QStringLiteral(
                    "cannot delete, rename or add files. Additional Access Rights should be selected "),
                QStringLiteral("with caution and only for friends and coworkers you trust."),
            },
            picture::AccessRights },
        // 6
        { Label, 53, kText,
            { QStringLiteral(
                "Finally click on \"Email Link\" to invite your Friend or Coworker to share your files") },
            picture::MainRunning },
        // 7
        { Label, 53, kText,
            { QStringLiteral("Enter your name so that they know who is sending them an email") },
            picture::MailSender },
        // 8
        { Label, 53, kText, { QStringLiteral("Enter the email address of your friend or coworker and ....") },
            picture::MailAddress },
        // 9
        { Lines, 115, kText,
            {
                QStringLiteral(
                    "...this standard email is created with all the required information. You can "),
                QStringLiteral(
                    "customize it and add your own message, but make sure that the ftp://address and "),
                QStringLiteral(
                    "password remain in the message. Click on \"Send Email\" to send the file sharing "),
                QStringLiteral("invitation."),
            },
            picture::MailMessage },
        // 10
        { Lines, 87, kText,
            {
                QStringLiteral(
                    "This is what the email looks like when received by your friend or coworker. All "),
                QStringLiteral("they have to do to access your files is click on the ftp://address link."),
            },
            picture::MailReader },
        // 11
        { Lines, 115, kText,
            {
                QStringLiteral(
                    "Your friend or coworker can enter any User name but  Access is granted only if "),
                QStringLiteral(
                    "they enter the proper password. You maintain further control by being able to "),
                QStringLiteral(
                    "change the password on your end at any time in order to prevent futher access."),
            },
            picture::BrowserLogOn },
        // 12
        { Lines, 115, kText,
            {
                QStringLiteral(
                    "Once access is granted your friend or coworker views your files using the familiar "),
                QStringLiteral(
                    "Internet Explorer. They can copy and paste or drag and drop files to a folder on "),
                QStringLiteral(
                    "their local machine. If you have allowed them access they can also copy files "),
                QStringLiteral("onto your computer."),
            },
            picture::BrowserFiles },
        // 13
        { Lines, 73, kText,
            {
                QStringLiteral(
                    "All actions and requests are logged on your end and you can cut off access at "),
                QStringLiteral("ANY time by clicking on \"Stop Server\" "),
            },
            picture::MainLog },
        // 14
        { Lines, 161, kText,
            {
                QStringLiteral("Remember.... Sharing files is Easy"),
                QString(),
                QStringLiteral("1)  Share Directory..."),
                QStringLiteral("2)  Enter Password..."),
                QStringLiteral("3)  Start Server........."),
                QStringLiteral("4)  Email Invitation...."),
            },
            picture::MainStopped },
        // 15
        { Lines, 161, kLargeText,
            {
                QStringLiteral("Happy Peer to Peer Files Sharing"),
                QString(),
                QStringLiteral("AND"),
                QString(),
                QStringLiteral("Please Tell Two Friends."),
            },
            picture::About },
    } };
}

} // namespace

const std::array<TourPage, kPageCount>& TourPages()
{
    static const std::array<TourPage, kPageCount> pages = MakePages();
    return pages;
}

} // namespace quill::tour
