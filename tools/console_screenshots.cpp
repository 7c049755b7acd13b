// Renders the console's windows to PNG files: the main window stopped and
// running (with a visitor logged in), the access rights dialog, the help
// window and the about box. Usage: quillshare-console-screenshots OUTPUT_DIR
// (run with QT_QPA_PLATFORM=offscreen; see render_console_screenshots.sh).
#include "AboutBox.h"
#include "AccessRightsForm.h"
#include "ConsoleDesktop.h"
#include "ConsoleSettings.h"
#include "FtpServerForm.h"
#include "HelpForm.h"
#include "MailMemory.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

using namespace quill;

namespace {

// No boxes: the pictures are taken without anybody to click.
class SilentDesktop : public TConsoleDesktop {
public:
    bool Confirm(QWidget*, const QString&) override { return true; }
    void Inform(QWidget*, const QString&) override { }
    void ShowError(QWidget*, const QString& text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    std::optional<QString> ChooseFolder(QWidget*, const QString&) override { return std::nullopt; }
    int RunModal(QDialog&) override { return 1; }
    bool OpenUrl(const QUrl&) override { return true; }
};

void Settle(int ms = 200)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool Save(QWidget& window, const QString& path)
{
    Settle();
    const bool ok = window.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

// A visitor that logs in and stays: enough for the log and the count to show a session.
std::unique_ptr<QTcpSocket> Visit(const QString& port)
{
    auto visitor = std::make_unique<QTcpSocket>();
    visitor->connectToHost(QStringLiteral("127.0.0.1"), port.toUShort());
    if (!visitor->waitForConnected(2000))
        return visitor;
    for (const char* line : { "USER friend\r\n", "PASS holiday\r\n", "PWD\r\n", "SYST\r\n" }) {
        Settle(100);
        visitor->write(line);
        visitor->waitForBytesWritten(1000);
    }
    Settle(300);
    return visitor;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);

    QTemporaryDir settingsFolder;
    QTemporaryDir share;
    SilentDesktop desktop;
    TMailMemory mail;
    TConsoleSettings settings(settingsFolder.path(), QStringLiteral("Quillshare"));
    TAboutBox about(desktop);
    TAccessRightsForm rights;
    THelpForm help(desktop);
    TFtpServerForm form(desktop, settings, mail, { rights, help, about });
    // A documentation address, not this machine's.
    form.SetAddressSource([] { return std::vector<std::string> { "192.0.2.15", "127.0.0.1" }; });
    form.Server().Addr = "127.0.0.1";
    form.Server().Port = "0";

    form.show();
    QElapsedTimer timer;
    timer.start();
    while (!form.Ready() && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    form.findChild<QLineEdit*>(QStringLiteral("eHomeDir"))->setText(share.path());
    form.findChild<QLineEdit*>(QStringLiteral("ePassword"))->setText(QStringLiteral("holiday"));

    bool ok = Save(form, out + QStringLiteral("/main-stopped.png"));
    rights.SetRight(AccessRight::Upload, true);
    rights.hide();
    form.StartServer();
    const auto visitor = Visit(QString::fromStdString(form.Server().ListenPort()));
    ok &= Save(form, out + QStringLiteral("/main-running.png"));
    rights.show();
    ok &= Save(rights, out + QStringLiteral("/access-rights.png"));
    help.show();
    ok &= Save(help, out + QStringLiteral("/help.png"));
    about.show();
    ok &= Save(about, out + QStringLiteral("/about.png"));
    form.StopServer();
    return ok ? 0 : 1;
}
