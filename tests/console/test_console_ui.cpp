// The console's windows: start-up and close with the settings file, the
// single-instance guard, server control and its display, the activity log and
// user count over real FTP sessions, the shared folder, the live access
// rights, and the help and about windows. The desktop is a stand-in
// (FakeDesktop) and every wait is bounded.
#include "AboutBox.h"
#include "AccessRightsForm.h"
#include "ConsoleSettings.h"
#include "FakeDesktop.h"
#include "FtpServerForm.h"
#include "FtpTestClient.h"
#include "HelpForm.h"
#include "HyperLinkField.h"
#include "LogView.h"
#include "MailMemory.h"
#include "TestLoop.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include <memory>
#include <string>
#include <vector>

using namespace quill;
using namespace quill::test;

namespace {

// One console as the program entry builds it, with its own settings folder.
struct Console {
    explicit Console(const QString& settingsFolder)
        : settings(settingsFolder, QStringLiteral("/usr/bin/Quillshare"))
        , about(desktop)
        , help(desktop)
        , form(desktop, settings, mail, { rights, help, about })
    {
        // A test port and documentation addresses, never the machine's.
        form.Server().Addr = "127.0.0.1";
        form.Server().Port = "0";
        form.SetAddressSource([this] { return addresses; });
    }

    // Shows the window and waits until start-up is over (ready or closed).
    bool Start()
    {
        form.show();
        return WaitUntil([this] { return form.Ready() || !form.isVisible(); });
    }

    template <typename W = QWidget> W& Find(const char* name)
    {
        W* w = form.findChild<W*>(QString::fromLatin1(name));
        if (!w)
            w = rights.findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return *w;
    }
    QString Text(const char* label) { return Find<QLabel>(label).text(); }
    void Click(const char* button) { Find<QPushButton>(button).click(); }
    void Menu(const char* action) { Find<QAction>(action).trigger(); }
    bool Lamp(const char* image) { return Find<QLabel>(image).isVisible(); }
    QColor Colour(const char* label) { return Find<QLabel>(label).palette().color(QPalette::WindowText); }
    std::vector<std::string> LogLines()
    {
        std::vector<std::string> lines;
        for (const QString& l : form.LogText().split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            lines.push_back(l.toStdString());
        return lines;
    }
    bool Logged(const std::string& line)
    {
        const auto lines = LogLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    std::string Port() { return form.Server().ListenPort(); }

    std::vector<std::string> addresses { "192.0.2.7", "127.0.0.1" };
    FakeDesktop desktop;
    TMailMemory mail;
    TConsoleSettings settings;
    TAboutBox about;
    TAccessRightsForm rights;
    THelpForm help;
    TFtpServerForm form;
};

const QColor Red(255, 0, 0);
const QColor Green(0, 128, 0);

class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApplication();
        savedCwd_ = QDir::currentPath();
    }
    void TearDown() override
    {
        for (auto& c : consoles_)
            c->form.close();
        DrainEvents();
        for (auto& c : consoles_)
            EXPECT_EQ(c->form.Server().ClientCount(), 0);
        consoles_.clear();
        QDir::setCurrent(savedCwd_);
    }

    Console& NewConsole(const QString& folder = QString())
    {
        consoles_.push_back(std::make_unique<Console>(folder.isEmpty() ? settingsDir_.path() : folder));
        return *consoles_.back();
    }
    // A console that has started up, with a shared folder and a password.
    Console& Running(const std::string& password = "secret")
    {
        Console& c = NewConsole();
        EXPECT_TRUE(c.Start());
        c.Find<QLineEdit>("eHomeDir").setText(share_.path());
        c.Find<QLineEdit>("ePassword").setText(QString::fromStdString(password));
        c.Click("Startbutton");
        EXPECT_TRUE(c.form.Server().Listening());
        return c;
    }
    std::unique_ptr<FtpTestClient> Visitor(Console& c)
    {
        auto v = std::make_unique<FtpTestClient>();
        EXPECT_TRUE(v->Connect(c.Port()));
        EXPECT_EQ(v->ReadLine(), "220 Quillshare FTP Server ready");
        return v;
    }
    QString IniPath() const { return settingsDir_.filePath(QStringLiteral("Quillshare.ini")); }
    void WriteIni(const std::string& text)
    {
        QFile f(IniPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.c_str());
    }
    std::string ReadIni() const
    {
        QFile f(IniPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
    }
    static QString UniqueEndpoint(const QTemporaryDir& dir)
    {
        return dir.filePath(QStringLiteral("console-") + QUuid::createUuid().toString(QUuid::WithoutBraces));
    }

    QTemporaryDir settingsDir_;
    QTemporaryDir share_;
    std::vector<std::unique_ptr<Console>> consoles_;
    QString savedCwd_;
};

} // namespace

// --- Start-up, close and the settings file

TEST_F(ConsoleTest, FirstRunComesUpStoppedAndEmptyAtTheDefaultPlace)
{
    Console& c = NewConsole();
    ASSERT_TRUE(c.Start());
    EXPECT_EQ(c.form.windowTitle(), TFtpServerForm::FinalCaption());
    EXPECT_EQ(c.desktop.calls, (std::vector<std::string> { "modal: AboutBox" })); // the splash, nothing else
    EXPECT_EQ(c.form.SavedPlacement(), (TWindowPlacement { 147, 0, 400, 400 }));
    EXPECT_EQ(c.form.pos(), QPoint(0, 147));
    EXPECT_EQ(c.form.size(), QSize(400, 400));
    EXPECT_EQ(c.form.HomeDir(), "");
    EXPECT_EQ(c.form.Password(), "");
    EXPECT_EQ(c.rights.Rights().Has(AccessRight::Upload), false);
    EXPECT_FALSE(c.rights.isVisible());
    EXPECT_EQ(c.Text("StatusLabel"), "Server is Stopped @   ");
    EXPECT_EQ(c.Text("ClientCountLabel"), "with 0 users");
    EXPECT_EQ(c.form.Link(), "ftp://192.0.2.7");
    EXPECT_TRUE(c.Lamp("RedImage"));
    EXPECT_FALSE(c.Lamp("GreenImage"));
    EXPECT_EQ(c.Colour("StatusLabel"), Red);
    EXPECT_FALSE(c.form.Server().Listening());
    EXPECT_EQ(c.LogLines(), std::vector<std::string> {});
    // The carried port setting is created at the first start.
    EXPECT_EQ(ReadIni(), "[Data]\nPort=ftp\n");
}

TEST_F(ConsoleTest, StoredSettingsFillTheControlsAndThePlacementIsClamped)
{
    WriteIni("[config]\nHomeDir=/srv/share\nPassword=Open Sesame\nFrom=Ann\nAddress=bob@example.org\n"
             "[access]\nCreateDir=1\nUpload=1\n"
             "[Window]\nTop=-20\nLeft=5000\nWidth=300\nHeight=450\n"
             "[Data]\nPort=2121\n");
    Console& c = NewConsole();
    c.form.Server().Port = "ftp"; // as the program has it
    ASSERT_TRUE(c.Start());
    EXPECT_EQ(c.form.HomeDir(), "/srv/share");
    EXPECT_EQ(c.form.Password(), "Open Sesame");
    EXPECT_EQ(c.mail.MailFrom, "Ann");
    EXPECT_EQ(c.mail.MailAddress, "bob@example.org");
    EXPECT_TRUE(c.rights.Right(AccessRight::CreateDir));
    EXPECT_TRUE(c.rights.Right(AccessRight::Upload));
    EXPECT_FALSE(c.rights.Right(AccessRight::Rename));
    // Loading CreateDir shows the dialog; start-up closes it again.
    EXPECT_FALSE(c.rights.isVisible());
    const QSize screen = c.form.screen()->geometry().size();
    EXPECT_EQ(c.form.SavedPlacement(), (TWindowPlacement { 0, screen.width() - 400, 400, 450 }));
    EXPECT_EQ(c.form.pos(), QPoint(screen.width() - 400, 0));
    EXPECT_EQ(c.form.size(), QSize(400, 450));
    // The port is carried, not applied.
    EXPECT_EQ(c.form.PortSetting(), "2121");
    EXPECT_EQ(c.form.Server().Port, "ftp");
    EXPECT_EQ(c.form.Link(), "ftp://192.0.2.7");
}

TEST_F(ConsoleTest, CloseStopsTheServerAndWritesEverySetting)
{
    WriteIni("[Data]\nPort=2121\n[Window]\nRunMinimized=1\n");
    Console& c = Running("Pa55 Word");
    auto visitor = Visitor(c);
    c.rights.SetRight(AccessRight::Rename, true);
    c.mail.MailFrom = "Ann";
    c.mail.MailAddress = "bob@example.org";
    c.form.close();
    EXPECT_FALSE(c.form.Server().Listening());
    EXPECT_TRUE(visitor->WaitClosed());
    const QRect placed(c.form.pos(), c.form.size());
    EXPECT_EQ(ReadIni(),
        "[Data]\nPort=2121\n"
        "[Window]\nRunMinimized=0\nTop="
            + std::to_string(placed.top()) + "\nLeft=" + std::to_string(placed.left())
            + "\nWidth=" + std::to_string(placed.width()) + "\nHeight=" + std::to_string(placed.height())
            + "\n" + "[config]\nHomeDir=" + share_.path().toStdString() + "\nPassword=Pa55 Word\nFrom=Ann\n"
            + "Address=bob@example.org\n"
            + "[access]\nCreateDir=0\nDeleteDir=0\nUpload=0\nDeleteFiles=0\nRename=1\n");
}

TEST_F(ConsoleTest, AnUnwritableSettingsFileDoesNotStopTheClose)
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Console& c = NewConsole(dir.filePath("blocker"));
    ASSERT_TRUE(c.Start());
    c.form.Server().Start();
    c.form.close();
    EXPECT_FALSE(c.form.isVisible());
    EXPECT_FALSE(c.form.Server().Listening());
    EXPECT_EQ(c.desktop.Count("error"), 0);
}

TEST_F(ConsoleTest, AConsoleClosedBeforeItsSettingsWereReadLeavesThemAlone)
{
    const std::string stored = "[config]\nPassword=keep me\n[Data]\nPort=2121\n";
    WriteIni(stored);
    Console& c = NewConsole();
    c.form.show();
    c.form.close();
    DrainEvents();
    EXPECT_FALSE(c.form.Ready());
    EXPECT_EQ(ReadIni(), stored);
}

TEST_F(ConsoleTest, ASecondConsoleEndsSilentlyAndStillWritesItsSettings)
{
    QTemporaryDir endpoints;
    const QString endpoint = UniqueEndpoint(endpoints);
    Console& first = NewConsole();
    first.form.SetInstanceEndpoint(endpoint);
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(first.form.Ready());

    QTemporaryDir secondSettings;
    Console& second = NewConsole(secondSettings.path());
    second.form.SetInstanceEndpoint(endpoint);
    ASSERT_TRUE(second.Start());
    EXPECT_FALSE(second.form.Ready());
    EXPECT_FALSE(second.form.isVisible());
    EXPECT_EQ(second.form.windowTitle(), TFtpServerForm::StartingCaption());
    // It showed its splash, and nothing else.
    EXPECT_EQ(second.desktop.calls, (std::vector<std::string> { "modal: AboutBox" }));
    EXPECT_TRUE(first.form.isVisible());
    QFile written(secondSettings.filePath("Quillshare.ini"));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const std::string text = written.readAll().toStdString();
    EXPECT_NE(text.find("Top=147\nLeft=0\nWidth=400\nHeight=400\nRunMinimized=0\n"), std::string::npos)
        << text;

    // Once the first has gone, a new console starts normally (its endpoint
    // is free again).
    first.form.close();
    consoles_.erase(consoles_.begin());
    QTemporaryDir thirdSettings;
    Console& third = NewConsole(thirdSettings.path());
    third.form.SetInstanceEndpoint(endpoint);
    ASSERT_TRUE(third.Start());
    EXPECT_TRUE(third.form.Ready());
}

TEST_F(ConsoleTest, AnEndpointLeftByACrashedConsoleIsTakenOver)
{
    QTemporaryDir endpoints;
    const QString endpoint = UniqueEndpoint(endpoints);
    // A socket file nobody listens on, as a console that crashed leaves it.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(endpoint);
    ASSERT_LT(static_cast<std::size_t>(path.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    ASSERT_TRUE(QFile::exists(endpoint));

    Console& first = NewConsole();
    first.form.SetInstanceEndpoint(endpoint);
    ASSERT_TRUE(first.Start());
    EXPECT_TRUE(first.form.Ready());
    QTemporaryDir secondSettings;
    Console& second = NewConsole(secondSettings.path());
    second.form.SetInstanceEndpoint(endpoint);
    ASSERT_TRUE(second.Start());
    EXPECT_FALSE(second.form.Ready()); // the first one guards again
}

// --- Server control and its display

TEST_F(ConsoleTest, StartAndStopShowTheServerState)
{
    Console& c = NewConsole();
    ASSERT_TRUE(c.Start());
    c.Click("Startbutton");
    EXPECT_TRUE(c.form.Server().Listening());
    EXPECT_TRUE(c.rights.isVisible()); // shown on the way to starting
    EXPECT_TRUE(c.Lamp("GreenImage"));
    EXPECT_FALSE(c.Lamp("RedImage"));
    EXPECT_EQ(c.Text("StatusLabel"), "Server is Running @ ");
    for (const char* label : { "StatusLabel", "IPLabel", "ClientCountLabel" })
        EXPECT_EQ(c.Colour(label), Green) << label;
    EXPECT_EQ(c.LogLines(),
        (std::vector<std::string> {
            "Quillshare FTP Server by Tarnwick - www.tarnwick.example", "! Server started" }));
    // The link names the test port (the program's port 21 goes unnamed).
    EXPECT_EQ(c.form.Link(), QString::fromStdString("ftp://192.0.2.7"));
    // A click on the link looks the addresses up again.
    c.addresses = { "192.0.2.7", "192.0.2.8", "127.0.0.1" };
    QTest::mouseClick(&c.Find<QLabel>("IPLabel"), Qt::LeftButton);
    EXPECT_EQ(c.form.Link(), QString::fromStdString("ftp://192.0.2.8:" + c.Port()));

    c.Click("StopButton");
    EXPECT_FALSE(c.form.Server().Listening());
    EXPECT_TRUE(c.Lamp("RedImage"));
    EXPECT_EQ(c.Text("StatusLabel"), "Server is Stopped @ ");
    for (const char* label : { "StatusLabel", "IPLabel", "ClientCountLabel" })
        EXPECT_EQ(c.Colour(label), Red) << label;
    EXPECT_EQ(c.LogLines().back(), "! Server stopped");

    // Stopping a stopped server writes nothing.
    const std::size_t lines = c.LogLines().size();
    c.Menu("MnuStopServer");
    EXPECT_EQ(c.LogLines().size(), lines);
    EXPECT_EQ(c.Text("StatusLabel"), "Server is Stopped @ ");

    // A double click on the lamp starts, another stops.
    QTest::mouseDClick(&c.Find<QLabel>("RedImage"), Qt::LeftButton);
    EXPECT_TRUE(c.form.Server().Listening());
    EXPECT_TRUE(c.Lamp("GreenImage"));
    QTest::mouseDClick(&c.Find<QLabel>("GreenImage"), Qt::LeftButton);
    EXPECT_FALSE(c.form.Server().Listening());
    EXPECT_TRUE(c.Lamp("RedImage"));

    // The menu's Start while running leaves it running and shown so.
    c.Menu("MnuStartServer");
    c.Menu("MnuStartServer");
    EXPECT_TRUE(c.form.Server().Listening());
    EXPECT_TRUE(c.Lamp("GreenImage"));
    EXPECT_EQ(c.Colour("StatusLabel"), Green);
    EXPECT_EQ(c.desktop.Count("error"), 0);
}

TEST_F(ConsoleTest, APortThatCannotBeHadIsShownAndTheServerReadsStopped)
{
    TFtpServer occupant;
    occupant.Addr = "127.0.0.1";
    occupant.Port = "0";
    occupant.Start();
    ASSERT_TRUE(occupant.Listening());

    Console& c = NewConsole();
    ASSERT_TRUE(c.Start());
    c.form.Server().Port = occupant.ListenPort();
    c.Click("Startbutton");
    EXPECT_FALSE(c.form.Server().Listening());
    // In plain words, naming the port.
    ASSERT_EQ(c.desktop.Count("error: The server cannot start: another program already uses port "
                              + occupant.ListenPort()),
              1);
    EXPECT_TRUE(c.Lamp("RedImage"));
    EXPECT_EQ(c.Text("StatusLabel"), "Server is Stopped @ ");
    EXPECT_FALSE(c.Logged("! Server started"));
    occupant.Stop();
}

// --- The activity log, the user count and the live policy

TEST_F(ConsoleTest, AVisitorsSessionIsLoggedAndCounted)
{
    Console& c = Running("Secret");
    auto alice = Visitor(c);
    EXPECT_EQ(c.Text("ClientCountLabel"), "with 1 user");
    EXPECT_EQ(alice->Login("alice", "secret"), "530 Login incorrect."); // case matters
    EXPECT_EQ(alice->Login("alice", "Secret"), "230 User alice logged in.");
    EXPECT_EQ(alice->Command("NOOP").substr(0, 3), "200");
    EXPECT_NE(alice->Command("PWD").find(share_.path().toStdString()), std::string::npos);
    auto bob = Visitor(c);
    EXPECT_EQ(c.Text("ClientCountLabel"), "with 1 user"); // one address, one user

    for (const char* line : { "! 127.0.0.1 connected", "< 127.0.0.1 USER alice",
             "< 127.0.0.1 PASS secret", // shown as typed
             "> 127.0.0.1 530 Login incorrect.", "! 127.0.0.1 User 'alice' is authenticated",
             "< 127.0.0.1 NOOP " }) // no parameters: the line ends in a blank
        EXPECT_TRUE(c.Logged(line)) << line;

    c.Menu("MnuListClients");
    auto lines = c.LogLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2].rfind("Client 1: 127.0.0.1/", 0), 0u) << lines[lines.size() - 2];
    EXPECT_EQ(lines.back().rfind("Client 2: 127.0.0.1/", 0), 0u) << lines.back();
    EXPECT_NE(lines[lines.size() - 2], lines.back()); // two ports

    alice->Command("QUIT");
    EXPECT_TRUE(WaitUntil([&] { return c.form.Server().ClientCount() == 1; }));
    EXPECT_EQ(c.Text("ClientCountLabel"), "with 1 user");
    bob->Command("QUIT");
    EXPECT_TRUE(WaitUntil([&] { return c.Text("ClientCountLabel") == " With No users"; }));
    EXPECT_TRUE(c.Logged("! 127.0.0.1 disconnected"));
    c.Menu("MnuListClients");
    EXPECT_EQ(c.LogLines().back(), "No client");
    c.Menu("Cleardisplay1");
    EXPECT_EQ(c.form.LogText(), "");
}

TEST_F(ConsoleTest, TheLiveControlsDecideEachRequest)
{
    Console& c = Running("one");
    auto visitor = Visitor(c);
    ASSERT_EQ(visitor->Login("guest", "one"), "230 User guest logged in.");

    // A right given while the visitor is logged in applies to its next request.
    EXPECT_EQ(visitor->Command("MKD fresh").substr(0, 4), "550 ");
    c.rights.CheckBox(AccessRight::CreateDir).click();
    EXPECT_EQ(visitor->Command("MKD fresh").substr(0, 4), "257 ");
    EXPECT_TRUE(QDir(share_.filePath("fresh")).exists());
    c.Click("ClearAllButton");
    EXPECT_EQ(visitor->Command("MKD other").substr(0, 4), "550 ");
    c.Click("SelectAllButton");
    EXPECT_EQ(visitor->Command("RMD fresh").substr(0, 4), "250 ");

    // A new password applies to the next login.
    c.Find<QLineEdit>("ePassword").setText("two");
    EXPECT_EQ(visitor->Login("guest", "one"), "530 Login incorrect.");
    EXPECT_EQ(visitor->Login("guest", "two"), "230 User guest logged in.");
}

TEST_F(ConsoleTest, LogLinesCannotBeForgedByAVisitor)
{
    struct Case {
        const char* name;
        std::string line;
        QString shown;
    };
    const Case cases[] = {
        { "plain", "< 127.0.0.1 RETR a b.txt", "< 127.0.0.1 RETR a b.txt" },
        { "carriage return", "< 1.2.3.4 NOOP x\r! 1.2.3.4 User 'root' is authenticated",
            "< 1.2.3.4 NOOP x\\x0d! 1.2.3.4 User 'root' is authenticated" },
        { "escape and tab", "< a \x1b[2J\tb", "< a \\x1b[2J\\x09b" },
        { "unicode separators", "< a x\xE2\x80\xA8y\xE2\x80\xA9z", "< a x\\u2028y\\u2029z" },
        { "utf-8 kept", "< a caf\xC3\xA9", QString::fromUtf8("< a caf\xC3\xA9") },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LogLineText(c.line), c.shown);
    }

    // Over a real connection: one command, one line.
    Console& c = Running();
    auto visitor = Visitor(c);
    visitor->SendRaw("NOOP x\r! 127.0.0.1 User 'root' is authenticated\r\n");
    visitor->ReadLine();
    EXPECT_FALSE(c.Logged("! 127.0.0.1 User 'root' is authenticated"));
    EXPECT_TRUE(c.Logged("< 127.0.0.1 NOOP x\\x0d! 127.0.0.1 User 'root' is authenticated"));
}

TEST(ConsoleLink, LinkText)
{
    struct Case {
        std::vector<std::string> addresses;
        std::string port;
        const char* link;
    };
    const Case cases[] = {
        { {}, "21", "ftp://" },
        { { "127.0.0.1" }, "21", "ftp://127.0.0.1" },
        { { "192.0.2.7", "127.0.0.1" }, "21", "ftp://192.0.2.7" },
        { { "192.0.2.7", "198.51.100.3", "127.0.0.1" }, "21", "ftp://198.51.100.3" }, // two: the second
        { { "192.0.2.7", "127.0.0.1" }, "2121", "ftp://192.0.2.7:2121" },
        { { "192.0.2.7" }, "", "ftp://192.0.2.7" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        EXPECT_EQ(LinkText(c.addresses, c.port), QString::fromLatin1(c.link));
    }
}

// --- The shared folder

TEST_F(ConsoleTest, ChoosingTheSharedFolder)
{
    Console& c = Running();
    auto visitor = Visitor(c);

    // Cancelled: nothing happens.
    c.desktop.confirmAnswer = false;
    c.Click("ShareButton");
    EXPECT_EQ(c.desktop.calls.back(), "confirm: This will stop the server and disconnect any users");
    EXPECT_TRUE(c.form.Server().Listening());
    EXPECT_EQ(c.desktop.Count("choose"), 0);

    // Confirmed: the server stops, the visitor goes, the folder is taken.
    QTemporaryDir chosen;
    c.desktop.confirmAnswer = true;
    c.desktop.folderAnswer = chosen.path();
    c.Menu("Sharedirectory1");
    EXPECT_EQ(c.desktop.calls.back(), "choose: " + savedCwd_.toStdString());
    EXPECT_FALSE(c.form.Server().Listening());
    EXPECT_TRUE(visitor->WaitClosed());
    EXPECT_TRUE(WaitUntil([&] { return c.Text("ClientCountLabel") == " With No users"; }));
    EXPECT_EQ(c.form.HomeDir(), chosen.path());
    EXPECT_EQ(QDir::currentPath(), QDir(chosen.path()).canonicalPath());
    EXPECT_EQ(c.desktop.Count("inform"), 0);

    // A chooser that gives nothing keeps the folder; one that gives a folder
    // that cannot be entered keeps the path and says so.
    c.desktop.folderAnswer.reset();
    c.Click("ShareButton");
    EXPECT_EQ(c.form.HomeDir(), chosen.path());
    c.desktop.folderAnswer = chosen.filePath("gone");
    c.Click("ShareButton");
    EXPECT_EQ(c.form.HomeDir(), chosen.filePath("gone"));
    EXPECT_EQ(c.desktop.calls.back(), "inform: Please specify a valid home directory.");
    EXPECT_FALSE(c.form.Server().Listening());
}

// --- The link mailer's hook, the help window and the about box

TEST_F(ConsoleTest, EmailLinkRefreshesTheLinkAndOpensTheMailer)
{
    Console& c = NewConsole();
    ASSERT_TRUE(c.Start());
    std::vector<QString> seen;
    c.form.OnEmailLink = [&] { seen.push_back(c.form.Link()); };
    c.addresses = { "198.51.100.3", "127.0.0.1" };
    c.Click("MailButton");
    c.addresses = { "203.0.113.9" };
    c.Menu("EmailLink1");
    EXPECT_EQ(seen, (std::vector<QString> { "ftp://198.51.100.3", "ftp://203.0.113.9" }));
    c.form.OnEmailLink = nullptr;
    c.Click("MailButton"); // without a mailer: nothing
}

TEST_F(ConsoleTest, HelpAndAboutWindows)
{
    Console& c = NewConsole();
    ASSERT_TRUE(c.Start());
    c.Menu("OnlineManual1");
    c.Menu("OnlineManual1");
    EXPECT_TRUE(c.help.isVisible());
    EXPECT_EQ(c.help.windowTitle(), "Online Help");

    // Links open in the browser, by click or Enter; a blank one does nothing.
    QTest::mouseClick(&c.help.ManualLink(), Qt::LeftButton);
    QTest::keyClick(&c.help.FaqLink(), Qt::Key_Return);
    c.desktop.openAnswer = false; // a browser that cannot start is not reported
    QTest::mouseClick(&c.about.HomePage(), Qt::LeftButton);
    c.help.FaqLink().setText("   ");
    c.help.FaqLink().Open();
    EXPECT_EQ(c.desktop.Count("open"), 3);
    EXPECT_EQ(c.desktop.Count("open: http://www.tarnwick.example/catalog.htm"), 1);
    EXPECT_EQ(c.desktop.Count("open: http://www.tarnwick.example/faq.htm"), 1);
    EXPECT_EQ(c.desktop.Count("open: http://www.tarnwick.example"), 3);
    EXPECT_EQ(c.desktop.Count("error"), 0);
    c.help.findChild<QPushButton*>("BitBtn1")->click();
    EXPECT_FALSE(c.help.isVisible());

    c.Menu("Tarnwick1");
    EXPECT_EQ(c.desktop.calls.back(), "modal: AboutBox");
    EXPECT_EQ(c.about.windowTitle(), "About Tarnwick");
    EXPECT_EQ(c.about.ProductName().text(), "Tarnwick Quillshare Server");
    EXPECT_EQ(c.about.Version().text(), "Version 1.0.2");
    EXPECT_EQ(c.about.HomePage().text(), "www.tarnwick.example");
    c.about.show();
    c.about.findChild<QPushButton*>("OKButton")->click();
    EXPECT_FALSE(c.about.isVisible());
    EXPECT_EQ(c.about.result(), QDialog::Accepted);
}
