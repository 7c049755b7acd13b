// Makes the tutorial's pictures. The windows of the console and the link
// mailer are the real ones, shown off the screen with a folder, a password and
// a visitor's session of their own; the friend's mail reader and web browser
// are drawn. Each picture is written as JPEG at the size its page wants.
//
// Usage: quillshare-tour-pictures OUTPUT_FOLDER   (see make-pictures.sh)
#include "DrawnPictures.h"
#include "PictureFrame.h"

#include "AboutBox.h"
#include "AccessRightsForm.h"
#include "ConsoleDesktop.h"
#include "ConsoleSettings.h"
#include "FtpServerForm.h"
#include "HelpForm.h"
#include "MailMemory.h"
#include "MailWizard.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <cstdio>

using namespace quill;
using namespace quill::tour::pictures;

namespace {

// --- The made-up world of the pictures
const QString kHost = QStringLiteral("192.0.2.15"); // a documentation address, not this machine's
const QString kSender = QStringLiteral("Ann Example");
const QString kFriend = QStringLiteral("bob@example.org");
const QString kPassword = QStringLiteral("holiday");
const QString kVisitor = QStringLiteral("friend");
// The shared folder's contents; folders end with "/".
const QStringList kSharedEntries { "Music/", "Photos/", "Recipes/", "Beach.jpg", "Budget.xls",
    "Holiday plan.txt", "Party invitation.doc", "Road map.pdf", "Song for Bob.mp3" };

// Nothing to click: every box answers at once.
class SilentDesktop : public TConsoleDesktop {
public:
    bool Confirm(QWidget*, const QString&) override { return true; }
    void Inform(QWidget*, const QString&) override { }
    void ShowError(QWidget*, const QString& text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    std::optional<QString> ChooseFolder(QWidget*, const QString&) override { return std::nullopt; }
    int RunModal(QDialog&) override { return QDialog::Accepted; }
    bool OpenUrl(const QUrl&) override { return true; }
};

void Settle(int ms = 200)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Runs the loop until done() says so (asked once per turn) or time is up.
template <typename Done> bool WaitFor(Done done, int ms = 3000)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (done())
            return true;
        if (timer.elapsed() >= ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

// --- Writing pictures

int failures = 0;

void Write(const QImage& picture, QSize size, const QDir& out, const char* name)
{
    const QString path = out.filePath(QLatin1String(name) + QStringLiteral(".jpg"));
    const bool ok = picture.size() == size && SaveJpeg(picture, path);
    std::printf("%s %s (%dx%d)\n", ok ? "wrote" : "FAILED", qPrintable(path), size.width(), size.height());
    failures += ok ? 0 : 1;
}

// A window as a picture of `size`: a window that may be resized is made the
// size that fills the picture with its frame; a fixed one is placed on desktop.
QImage Shoot(QWidget& window, QSize size)
{
    if (window.minimumSize() != window.maximumSize())
        window.resize(ClientSizeFor(size));
    Settle();
    return Fit(window.grab().toImage().convertToFormat(QImage::Format_RGB32), window.windowTitle(), size);
}

// --- A visitor of the shared folder, in this process and on this loop

class Visitor {
public:
    bool Connect(quint16 port)
    {
        control_.connectToHost(QStringLiteral("127.0.0.1"), port);
        if (!WaitFor([this] { return control_.state() == QAbstractSocket::ConnectedState; }))
            return false;
        return Reply().startsWith(QLatin1String("220"));
    }

    // Sends a command and waits for its (final) reply.
    QString Command(const QString& line)
    {
        control_.write(line.toUtf8() + "\r\n");
        return Reply();
    }

    // A listing or download over a passive data connection; the reply that ends it.
    QString Transfer(const QString& line)
    {
        const QString passive = Command(QStringLiteral("PASV"));
        const QRegularExpressionMatch m
            = QRegularExpression(QStringLiteral(R"(\((\d+),(\d+),(\d+),(\d+),(\d+),(\d+)\))")).match(passive);
        if (!m.hasMatch())
            return passive;
        QTcpSocket data;
        data.connectToHost(QStringLiteral("127.0.0.1"),
            static_cast<quint16>(m.captured(5).toInt() * 256 + m.captured(6).toInt()));
        if (!WaitFor([&] { return data.state() == QAbstractSocket::ConnectedState; }))
            return QStringLiteral("no data connection");
        const QString start = Command(line);
        if (!start.startsWith(QLatin1String("150")))
            return start;
        WaitFor([&] {
            data.readAll();
            return data.state() == QAbstractSocket::UnconnectedState;
        });
        return Reply();
    }

private:
    QString Reply()
    {
        QString last;
        const bool done = WaitFor([&] {
            while (control_.canReadLine()) {
                last = QString::fromUtf8(control_.readLine()).trimmed();
                if (last.size() >= 4 && last.at(3) == QLatin1Char(' '))
                    return true;
            }
            return false;
        });
        return done ? last : QStringLiteral("no reply");
    }

    QTcpSocket control_;
};

// A friend logs in, looks around, lists the folder and downloads a file;
// the visitor stays connected while it lives. False when the server did not
// answer as expected.
bool VisitSharedFolder(Visitor& visitor, quint16 port)
{
    if (!visitor.Connect(port)) {
        std::fprintf(stderr, "the visitor could not connect\n");
        return false;
    }
    const std::pair<QString, const char*> steps[] = {
        { QStringLiteral("USER ") + kVisitor, "331" },
        { QStringLiteral("PASS ") + kPassword, "230" },
        { QStringLiteral("SYST"), "215" },
        { QStringLiteral("PWD"), "257" },
        { QStringLiteral("TYPE A"), "200" },
        { QStringLiteral("LIST"), "226" },
        { QStringLiteral("TYPE I"), "200" },
        { QStringLiteral("RETR Beach.jpg"), "226" },
        { QStringLiteral("CWD Photos"), "250" },
    };
    bool ok = true;
    for (const auto& [command, expected] : steps) {
        const bool transfer
            = command.startsWith(QLatin1String("LIST")) || command.startsWith(QLatin1String("RETR"));
        const QString reply = transfer ? visitor.Transfer(command) : visitor.Command(command);
        if (!reply.startsWith(QLatin1String(expected))) {
            std::fprintf(stderr, "%s: unexpected reply \"%s\"\n", qPrintable(command), qPrintable(reply));
            ok = false;
        }
    }
    return ok;
}

void MakeSharedFolder(const QString& path)
{
    QDir().mkpath(path);
    for (const QString& entry : kSharedEntries) {
        if (entry.endsWith(QLatin1Char('/'))) {
            QDir(path).mkdir(entry.chopped(1));
            continue;
        }
        QFile file(QDir(path).filePath(entry));
        if (file.open(QIODevice::WriteOnly))
            file.write(QByteArray(4096 + 1024 * entry.size(), 'x'));
    }
}

// The real folder chooser, caught while it waits for the user, with the
// shared folder chosen; then cancelled.
QImage ShootFolderChooser(QWidget& owner, const QString& folder, QSize size)
{
    QImage shot;
    QTimer::singleShot(0, [&] {
        auto* chooser = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!chooser)
            return;
        chooser->resize(ClientSizeFor(size));
        Settle(1000); // the folder tree fills in the background
        // The chooser asked for the folder before the tree knew it; show it now.
        if (auto* tree = chooser->findChild<QTreeView*>()) {
            if (auto* model = qobject_cast<QFileSystemModel*>(tree->model())) {
                const QModelIndex chosen = model->index(folder);
                tree->setCurrentIndex(chosen);
                WaitFor([&] {
                    tree->scrollTo(chosen, QAbstractItemView::PositionAtCenter);
                    Settle(100);
                    return tree->viewport()->rect().contains(tree->visualRect(chosen));
                });
            }
        }
        shot = Shoot(*chooser, size);
        chooser->reject();
    });
    TDesktopDialogs().ChooseFolder(&owner, folder);
    return shot;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillshare"));
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());

    // --- The shared folder. The folder chooser shows the tree around it: it
    // gets a home of its own, so only our folders are in view.
    QTemporaryDir home(QDir::temp().filePath(QStringLiteral("home-XXXXXX")));
    for (const char* folder : { "Ann/Desktop", "Ann/Downloads", "Ann/My Documents/Letters",
             "Ann/My Documents/Music", "Ann/My Documents/Spreadsheets", "Ann/My Documents/Videos",
             "Ann/My Documents/Web Pages", "Ann/Public", "Ann/Templates" })
        QDir(home.path()).mkpath(QLatin1String(folder));
    const QString share = home.filePath(QStringLiteral("Ann/My Documents/Shared Files"));
    MakeSharedFolder(share);

    // --- The console, as the program entry makes it, with settings of its own
    QTemporaryDir work;
    SilentDesktop desktop;
    TMailMemory mail { kSender, kFriend };
    TConsoleSettings settings(work.filePath(QStringLiteral("settings")), QStringLiteral("Quillshare"));
    TAboutBox about(desktop);
    TAccessRightsForm rights;
    THelpForm help(desktop);
    TFtpServerForm form(desktop, settings, mail, { rights, help, about });
    form.SetAddressSource([] { return std::vector<std::string> { kHost.toStdString(), "127.0.0.1" }; });
    form.Server().Addr = "127.0.0.1";
    form.Server().Port = "0";
    form.show();
    if (!WaitFor([&] { return form.Ready(); }, 5000)) {
        std::fprintf(stderr, "the console did not start\n");
        return 1;
    }
    auto* homeDir = form.findChild<QLineEdit*>(QStringLiteral("eHomeDir"));
    auto* password = form.findChild<QLineEdit*>(QStringLiteral("ePassword"));
    if (!homeDir || !password) {
        std::fprintf(stderr, "the console's folder or password box is missing\n");
        return 1;
    }

    // --- Stopped, nothing chosen yet
    homeDir->clear();
    password->clear();
    Write(Shoot(form, { 400, 400 }), { 400, 400 }, out, "main-stopped");
    about.show();
    Write(Shoot(about, { 311, 238 }), { 311, 238 }, out, "about-box");
    about.hide();
    Write(ShootFolderChooser(form, share, { 430, 287 }), { 430, 287 }, out, "folder-chooser");

    // --- Folder and password in, running
    homeDir->setText(QDir::toNativeSeparators(share));
    password->setText(kPassword);
    form.StartServer();
    Write(Shoot(form, { 530, 522 }), { 530, 522 }, out, "main-running");
    rights.show();
    Write(Shoot(rights, { 300, 225 }), { 300, 225 }, out, "access-rights");
    rights.hide();

    // --- The mailer's pages, as the user steps through them
    const QString link = form.Link();
    TMailWizard wizard(
        mail, [&] { return link; }, [&] { return form.Password(); }, MailRelaySettings {});
    wizard.Start();
    Write(Shoot(wizard.SenderPage(), { 298, 204 }), { 298, 204 }, out, "mail-sender");
    wizard.SenderPage().BitBtn1->click();
    Write(Shoot(wizard.AddressPage(), { 298, 204 }), { 298, 204 }, out, "mail-address");
    wizard.AddressPage().BitBtn2->click();
    Write(Shoot(wizard.MailPage(), { 400, 400 }), { 400, 400 }, out, "mail-message");
    const QString body = wizard.MailPage().Msgmemo->toPlainText();
    wizard.MailPage().hide();

    // --- What the friend sees
    Invitation invitation { MailRelaySettings {}.From + QStringLiteral(" on behalf of ") + kSender, kFriend,
        QStringLiteral("Quillshare Link"), QStringLiteral("Saturday, 14 June, 10:42"), body, link };
    Write(Framed(DrawMailReader(ClientSizeFor({ 541, 575 }), invitation), QStringLiteral("Quillshare Link")),
        { 541, 575 }, out, "mail-reader");
    Write(Framed(DrawBrowserLogOn(ClientSizeFor({ 486, 341 }), kHost, link + QLatin1Char('/'), kVisitor),
              link + QStringLiteral("/ - Web Browser")),
        { 486, 341 }, out, "browser-logon");
    Write(
        Framed(DrawBrowserFiles(ClientSizeFor({ 621, 523 }), kHost, link + QLatin1Char('/'), kSharedEntries),
            link + QStringLiteral("/ - Web Browser")),
        { 621, 523 }, out, "browser-files");

    // --- A visitor's session in the activity log
    Visitor visitor;
    if (!VisitSharedFolder(visitor, static_cast<quint16>(std::stoi(form.Server().ListenPort()))))
        ++failures;
    Write(Shoot(form, { 601, 624 }), { 601, 624 }, out, "main-log");
    form.StopServer();
    return failures == 0 ? 0 : 1;
}
