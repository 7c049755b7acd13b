// The invitation wizard, headless: its page steps and what each stores, and
// sending from the mail page through a real relay on loopback.
#include "MailWizard.h"

#include "FtpServer.h"
#include "FtpTestClient.h"
#include "MailTexts.h"
#include "SmtpTestServer.h"
#include "TestLoop.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <memory>

namespace quill {
namespace {

using test::SmtpTestServer;
using test::WaitUntil;

// Answers the wizard's boxes at once and remembers them.
class RecordingBoxes : public TMailMessageBoxes {
public:
    struct Shown {
        QString kind;
        QString text;
        bool parentVisible;
    };
    void Information(QWidget* parent, const QString& text) override
    {
        shown.push_back({ "information", text, parent && parent->isVisible() });
    }
    void Error(QWidget* parent, const QString& text) override
    {
        shown.push_back({ "error", text, parent && parent->isVisible() });
    }
    std::vector<Shown> shown;
};

class MailWizardTest : public ::testing::Test {
protected:
    void SetUp() override { test::EnsureApplication(); }

    // relay defaults to a loopback port where nothing listens.
    void Make(std::optional<MailRelaySettings> relay = std::nullopt)
    {
        if (!relay) {
            relay = MailRelaySettings {};
            relay->Host = "127.0.0.1";
            relay->Port = test::ClosedLoopbackPort();
        }
        auto recorder = std::make_unique<RecordingBoxes>();
        boxes = recorder.get();
        wizard = std::make_unique<TMailWizard>(
            memory, [this] { return link; }, [this] { return password; }, *relay, std::move(recorder));
    }

    // The pages on screen, by caption.
    QStringList Visible()
    {
        QStringList pages;
        if (wizard->SenderPage().isVisible())
            pages << wizard->SenderPage().windowTitle();
        if (wizard->AddressPage().isVisible())
            pages << wizard->AddressPage().windowTitle();
        if (wizard->MailPage().isVisible())
            pages << wizard->MailPage().windowTitle();
        return pages;
    }

    // Start, NEXT, NEXT: the mail page as a user reaches it.
    void GoToMailPage()
    {
        wizard->Start();
        wizard->SenderPage().BitBtn1->click();
        wizard->AddressPage().BitBtn2->click();
        ASSERT_EQ(Visible(), QStringList { "Quillshare LInk" });
    }

    QStringList BodyLines() { return wizard->MailPage().Msgmemo->toPlainText().split('\n'); }

    TMailMemory memory { "Ann", "bob@example.org" };
    QString link = "ftp://192.0.2.7";
    QString password = "s3cret";
    RecordingBoxes* boxes = nullptr;
    std::unique_ptr<TMailWizard> wizard;
};

TEST_F(MailWizardTest, SenderPageShowsAndStoresTheName)
{
    Make();
    wizard->Start();
    EXPECT_EQ(Visible(), QStringList { "Sender" });
    EXPECT_EQ(wizard->SenderPage().SenderEdit->text(), "Ann");

    // Cancel stores nothing, and the next start shows the stored name again.
    wizard->SenderPage().SenderEdit->setText("Zed");
    wizard->SenderPage().BitBtn2->click();
    EXPECT_TRUE(Visible().isEmpty());
    EXPECT_EQ(memory.MailFrom, "Ann");
    wizard->Start();
    EXPECT_EQ(wizard->SenderPage().SenderEdit->text(), "Ann");

    // NEXT stores the name and loads the stored address.
    wizard->SenderPage().SenderEdit->setText("Carol");
    wizard->SenderPage().BitBtn1->click();
    EXPECT_EQ(Visible(), QStringList { "Email Address" });
    EXPECT_EQ(memory.MailFrom, "Carol");
    EXPECT_EQ(wizard->AddressPage().AddressEdit->text(), "bob@example.org");

    // Closing the address page by its close box ends the wizard.
    wizard->AddressPage().close();
    EXPECT_TRUE(Visible().isEmpty());
    wizard->Start();
    EXPECT_EQ(wizard->SenderPage().SenderEdit->text(), "Carol");
}

TEST_F(MailWizardTest, AddressBackKeepsTheEditOutOfMemory)
{
    Make();
    wizard->Start();
    wizard->SenderPage().SenderEdit->setText("Dan");
    wizard->SenderPage().BitBtn1->click();
    wizard->AddressPage().AddressEdit->setText("eve@example.org");
    wizard->AddressPage().BitBtn1->click();

    EXPECT_EQ(Visible(), QStringList { "Sender" });
    EXPECT_EQ(memory.MailAddress, "bob@example.org");
    EXPECT_EQ(wizard->SenderPage().SenderEdit->text(), "Dan"); // Back does not reload the box

    wizard->SenderPage().BitBtn1->click();
    EXPECT_EQ(wizard->AddressPage().AddressEdit->text(), "bob@example.org");
    wizard->AddressPage().AddressEdit->setText("fay@example.org, gus@example.org");
    wizard->AddressPage().BitBtn2->click();
    EXPECT_EQ(Visible(), QStringList { "Quillshare LInk" });
    EXPECT_EQ(memory.MailAddress, "fay@example.org, gus@example.org");
}

TEST_F(MailWizardTest, MailPageIsLoadedFromMemoryAndTheLiveValues)
{
    Make();
    GoToMailPage();
    TMailForm2& page = wizard->MailPage();
    EXPECT_EQ(page.ToEdit->text(), "bob@example.org");
    EXPECT_EQ(page.SenderEdit->text(), "Ann");
    EXPECT_TRUE(page.SenderEdit->isReadOnly());
    EXPECT_TRUE(page.Button1->isEnabled());
    EXPECT_EQ(page.Msgmemo->toPlainText(), ComposeInvitationBody("Ann", link, password));
    ASSERT_EQ(BodyLines().size(), 13);
    EXPECT_EQ(BodyLines()[2], "ftp://192.0.2.7 may be accessed with the password \"s3cret\"");

    // Edits on the mail page are for this page only; Back leaves the address
    // box as it was, and coming forward again rebuilds everything with the
    // password of now.
    page.ToEdit->setText("other@example.org");
    page.Msgmemo->setPlainText("my own words");
    password = "n3w";
    link = "ftp://192.0.2.8";
    page.BitBtn1->click();
    EXPECT_EQ(Visible(), QStringList { "Email Address" });
    EXPECT_EQ(wizard->AddressPage().AddressEdit->text(), "bob@example.org");
    EXPECT_EQ(memory.MailAddress, "bob@example.org");
    wizard->AddressPage().BitBtn2->click();
    EXPECT_EQ(page.ToEdit->text(), "bob@example.org");
    ASSERT_EQ(BodyLines().size(), 13);
    EXPECT_EQ(BodyLines()[2], "ftp://192.0.2.8 may be accessed with the password \"n3w\"");

    page.BitBtn2->click();
    EXPECT_TRUE(Visible().isEmpty());
}

TEST_F(MailWizardTest, StartingAgainShowsOnlyTheSenderPage)
{
    Make();
    GoToMailPage();
    wizard->MailPage().Msgmemo->setPlainText("kept");
    wizard->Start();
    EXPECT_EQ(Visible(), QStringList { "Sender" });
    EXPECT_EQ(wizard->MailPage().Msgmemo->toPlainText(), "kept"); // hidden, not cleared
}

TEST_F(MailWizardTest, NothingToSendToGivesTheErrorBox)
{
    Make();
    GoToMailPage();
    for (const QString& to :
        { QString(" , ,"), QString("bob@example.org, Ann <a@x"), QString("a@x\r\nDATA") }) {
        SCOPED_TRACE(to.toStdString());
        boxes->shown.clear();
        wizard->MailPage().ToEdit->setText(to);
        wizard->MailPage().Button1->click();
        EXPECT_FALSE(wizard->Sending());
        ASSERT_EQ(boxes->shown.size(), 1u);
        EXPECT_EQ(boxes->shown[0].kind, "error");
        EXPECT_EQ(boxes->shown[0].text, kMailErrorText);
        EXPECT_EQ(Visible(), QStringList { "Quillshare LInk" });
    }
}

// --- Sending through a relay on loopback

MailRelaySettings LoopbackRelay(int port)
{
    MailRelaySettings relay;
    relay.Host = "127.0.0.1";
    relay.Port = port;
    relay.From = "link@quillshare.test";
    return relay;
}

TEST_F(MailWizardTest, SendingDeliversTheInvitationAndClosesThePage)
{
    SmtpTestServer relay;
    ASSERT_TRUE(relay.Running());
    Make(LoopbackRelay(relay.Port()));
    GoToMailPage();
    TMailForm2& page = wizard->MailPage();
    page.ToEdit->setText("a@x, b@y");
    const QString body = page.Msgmemo->toPlainText();

    page.Button1->click();
    EXPECT_TRUE(wizard->Sending());
    EXPECT_FALSE(page.Button1->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return !boxes->shown.empty(); }, std::chrono::seconds(20)));
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(boxes->shown[0].kind, "information");
    EXPECT_EQ(boxes->shown[0].text, "Email Sent Successfully");
    EXPECT_TRUE(boxes->shown[0].parentVisible); // the box first, then the page closes
    EXPECT_TRUE(Visible().isEmpty());
    EXPECT_TRUE(page.Button1->isEnabled());
    EXPECT_EQ(memory.MailAddress, "bob@example.org");
    EXPECT_EQ(memory.MailFrom, "Ann");

    const auto auth = relay.Events("auth");
    ASSERT_EQ(auth.size(), 1u);
    EXPECT_EQ(auth[0]["mechanism"].toString(), "LOGIN");
    EXPECT_EQ(auth[0]["login"].toString(), "Quillshare");
    const auto mail = relay.Events("mail");
    ASSERT_EQ(mail.size(), 1u);
    EXPECT_EQ(mail[0]["mail_from"].toString(), "link@quillshare.test");
    EXPECT_EQ(mail[0]["rcpt_tos"].toVariant().toStringList(), QStringList({ "a@x", "b@y" }));

    const QString data = mail[0]["data"].toString();
    const qsizetype split = data.indexOf("\r\n\r\n");
    ASSERT_GT(split, 0);
    const QStringList headers = data.left(split).split("\r\n");
    for (const char* expected : { "From: link@quillshare.test", "Sender: \"Ann\" <link@quillshare.test>",
             "To: a@x,", " b@y", "Subject: Quillshare Link", "X-Mailer: Quillshare" })
        EXPECT_TRUE(headers.contains(expected)) << expected;
    QStringList lines = data.mid(split + 4).split("\r\n");
    ASSERT_EQ(lines.takeLast(), ""); // the final line end
    EXPECT_EQ(lines.join('\n'), body);
    ASSERT_EQ(lines.size(), 13);
    EXPECT_EQ(lines[2], "ftp://192.0.2.7 may be accessed with the password \"s3cret\"");
}

TEST_F(MailWizardTest, FailedSendingKeepsThePageAndItsContents)
{
    const struct {
        const char* name;
        QStringList refuse; // recipients the relay refuses
        QString password;
    } cases[] = {
        { "refused login", {}, "wrong" },
        { "refused recipient", { "b@y" }, "quill" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SmtpTestServer::Options options;
        options.RefuseRecipients = c.refuse;
        SmtpTestServer relay(options);
        ASSERT_TRUE(relay.Running());
        MailRelaySettings settings = LoopbackRelay(relay.Port());
        settings.Password = c.password;
        Make(settings);
        GoToMailPage();
        TMailForm2& page = wizard->MailPage();
        page.ToEdit->setText("a@x, b@y");
        page.Msgmemo->appendPlainText("P.S. see you");
        const QString body = page.Msgmemo->toPlainText();

        page.Button1->click();
        ASSERT_TRUE(WaitUntil([&] { return !boxes->shown.empty(); }, std::chrono::seconds(20)));
        ASSERT_EQ(boxes->shown.size(), 1u);
        EXPECT_EQ(boxes->shown[0].kind, "error");
        EXPECT_EQ(boxes->shown[0].text, kMailErrorText);
        EXPECT_EQ(Visible(), QStringList { "Quillshare LInk" });
        EXPECT_EQ(page.ToEdit->text(), "a@x, b@y");
        EXPECT_EQ(page.Msgmemo->toPlainText(), body);
        EXPECT_TRUE(page.Button1->isEnabled());
        EXPECT_FALSE(wizard->Sending());
        EXPECT_TRUE(relay.Events("mail").empty());
    }
}

TEST_F(MailWizardTest, FtpVisitorsAreServedWhileARelayHoldsTheSend)
{
    TFtpServer ftp;
    ftp.Addr = "127.0.0.1";
    ftp.Port = "0";
    ftp.OnAuthenticate
        = [](TFtpServer&, TFtpCtrlSocket& client, const TFtpString&, const TFtpString& pw, bool& ok) {
              ok = pw == "s3cret";
              client.HomeDir = "/";
          };
    ftp.Start();
    ASSERT_TRUE(ftp.Listening());

    SmtpTestServer::Options hold;
    hold.HoldData = true;
    SmtpTestServer relay(hold);
    ASSERT_TRUE(relay.Running());
    Make(LoopbackRelay(relay.Port()));
    GoToMailPage();
    wizard->MailPage().Button1->click();
    ASSERT_TRUE(relay.WaitForEvent("data-started"));

    {
        test::FtpTestClient visitor;
        ASSERT_TRUE(visitor.Connect(ftp.ListenPort()));
        EXPECT_EQ(visitor.ReadLine(), "220 Quillshare FTP Server ready.");
        EXPECT_EQ(visitor.Login("friend", "s3cret").substr(0, 3), "230");
        EXPECT_EQ(visitor.Command("NOOP").substr(0, 3), "200");
        EXPECT_EQ(visitor.Command("PWD").substr(0, 3), "257");
        // The console is live too: the mail page can still be edited.
        wizard->MailPage().Msgmemo->appendPlainText("typed while sending");
        EXPECT_TRUE(wizard->Sending());
        EXPECT_FALSE(wizard->MailPage().Button1->isEnabled());
        EXPECT_TRUE(boxes->shown.empty());
        visitor.Close();
    }

    relay.ReleaseData();
    ASSERT_TRUE(WaitUntil([&] { return !boxes->shown.empty(); }, std::chrono::seconds(20)));
    EXPECT_EQ(boxes->shown[0].kind, "information");
    ftp.Stop();
    ftp.CloseAllClients();
    test::DrainEvents();
    EXPECT_EQ(ftp.ClientCount(), 0);
}

} // namespace
} // namespace quill
