// Quillshare: the desktop console that shares one folder over FTP.
#include "AboutBox.h"
#include "AccessRightsForm.h"
#include "ConsoleArt.h"
#include "ConsoleDesktop.h"
#include "ConsolePaths.h"
#include "ConsoleSettings.h"
#include "FtpServerForm.h"
#include "HelpForm.h"
#include "MailMemory.h"
#include "MailWizard.h"
#include "ProfileFile.h"

#include <QApplication>

using namespace quill;

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillshare"));
    QApplication::setWindowIcon(art::ProgramIcon());

    // --- What the windows share
    TDesktopDialogs desktop;
    TMailMemory mail;
    TConsoleSettings settings(DefaultSettingsFolder(), QCoreApplication::applicationFilePath());

    // --- The secondary windows, made once and only shown and hidden later.
    // They never keep the program alive: it ends when the main window closes.
    TAboutBox about(desktop);
    TAccessRightsForm accessRights;
    THelpForm help(desktop);
    for (QWidget* w : std::initializer_list<QWidget*> { &about, &accessRights, &help })
        w->setAttribute(Qt::WA_QuitOnClose, false);

    // --- The main window
    TFtpServerForm form(desktop, settings, mail, { accessRights, help, about });
    form.SetInstanceEndpoint(DefaultInstanceEndpoint());

    // --- The link mailer: reads the live link and password of the main
    // window; its relay may be overridden in the settings file.
    const TProfileFile profile(settings.FilePath());
    TMailWizard mailer(
        mail, [&form] { return form.Link(); }, [&form] { return form.Password(); },
        ReadMailRelaySettings([&profile](const QString& section, const QString& key, const QString& fallback) {
            return profile.ReadString(section, key, fallback);
        }),
        nullptr);
    form.OnEmailLink = [&mailer] { mailer.Start(); };

    form.show();
    return QApplication::exec();
}
