// The SMTP sender alone, against a real relay on loopback.
#include "SmtpSender.h"

#include "SmtpTestServer.h"
#include "TestLoop.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace quill {
namespace {

using test::SmtpTestServer;
using test::WaitUntil;

const QByteArray kMessage = "Subject: test\r\n\r\n.a line that starts with a dot\r\nbye\r\n";

MailRelaySettings Loopback(int port)
{
    MailRelaySettings relay;
    relay.Host = "127.0.0.1";
    relay.Port = port;
    relay.From = "link@quillshare.test";
    return relay;
}

// Sends and waits (bounded) for the outcome.
std::optional<TSmtpResult> SendAndWait(TSmtpSender& sender, const QStringList& recipients)
{
    std::optional<TSmtpResult> outcome;
    EXPECT_TRUE(sender.Send(recipients, kMessage, [&](const TSmtpResult& r) { outcome = r; }));
    EXPECT_FALSE(outcome) << "the outcome must come later, from the event loop";
    EXPECT_TRUE(WaitUntil([&] { return outcome.has_value(); }, std::chrono::seconds(20)));
    return outcome;
}

TEST(SmtpSender, LogsInByLoginAndDeliversToEveryRecipient)
{
    SmtpTestServer relay;
    ASSERT_TRUE(relay.Running());
    TSmtpSender sender(Loopback(relay.Port()));
    const auto outcome = SendAndWait(sender, { "a@x", "b@y" });
    ASSERT_TRUE(outcome);
    EXPECT_TRUE(outcome->Ok) << outcome->Detail.toStdString();
    EXPECT_FALSE(sender.Busy());

    const auto steps = relay.Events("auth-step");
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0]["challenge"].toString(), QString("User Name") + QChar(0));
    EXPECT_EQ(steps[0]["answer"].toString(), "Quillshare");
    EXPECT_EQ(steps[1]["challenge"].toString(), QString("Password") + QChar(0));
    EXPECT_EQ(steps[1]["answer"].toString(), "quill");
    const auto auth = relay.Events("auth");
    ASSERT_EQ(auth.size(), 1u);
    EXPECT_EQ(auth[0]["mechanism"].toString(), "LOGIN");
    EXPECT_TRUE(auth[0]["success"].toBool());

    const auto mail = relay.Events("mail");
    ASSERT_EQ(mail.size(), 1u);
    EXPECT_EQ(mail[0]["mail_from"].toString(), "link@quillshare.test");
    EXPECT_EQ(mail[0]["rcpt_tos"].toVariant().toStringList(), QStringList({ "a@x", "b@y" }));
    EXPECT_EQ(mail[0]["data"].toString().toUtf8(), kMessage); // a leading dot survives the transfer
    EXPECT_TRUE(mail[0]["authenticated"].toBool());
}

TEST(SmtpSender, FailuresAreReportedAsFailures)
{
    const struct {
        const char* name;
        QStringList refuse; // recipients the relay refuses
        bool serverRuns;
        QString password;
        QStringList recipients;
    } cases[] = {
        { "refused login", {}, true, "wrong", { "a@x" } },
        { "one refused recipient of two", { "b@y" }, true, "quill", { "a@x", "b@y" } },
        { "nobody listening", {}, false, "quill", { "a@x" } },
        { "no recipient", {}, true, "quill", {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<SmtpTestServer> relay;
        int port = test::ClosedLoopbackPort();
        if (c.serverRuns) {
            SmtpTestServer::Options options;
            options.RefuseRecipients = c.refuse;
            relay = std::make_unique<SmtpTestServer>(options);
            ASSERT_TRUE(relay->Running());
            port = relay->Port();
        }
        MailRelaySettings settings = Loopback(port);
        settings.Password = c.password;
        TSmtpSender sender(settings);
        const auto outcome = SendAndWait(sender, c.recipients);
        ASSERT_TRUE(outcome);
        EXPECT_FALSE(outcome->Ok);
        EXPECT_FALSE(outcome->Detail.isEmpty());
        if (relay) {
            EXPECT_TRUE(relay->Events("mail").empty());
        }
    }
}

TEST(SmtpSender, UsesStartTlsWhenOfferedAndCanInsistOnIt)
{
    const struct {
        const char* name;
        bool offer;
        TMailRelaySecurity security;
        bool ok;
        bool tls;
    } cases[] = {
        { "offered, auto", true, TMailRelaySecurity::Opportunistic, true, true },
        { "not offered, auto", false, TMailRelaySecurity::Opportunistic, true, false },
        { "offered, required", true, TMailRelaySecurity::StartTls, true, true },
        { "not offered, required", false, TMailRelaySecurity::StartTls, false, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SmtpTestServer::Options options;
        options.OfferStartTls = c.offer;
        SmtpTestServer relay(options);
        ASSERT_TRUE(relay.Running());
        MailRelaySettings settings = Loopback(relay.Port());
        settings.Security = c.security;
        settings.CaFile = relay.CertificateFile();
        TSmtpSender sender(settings);
        const auto outcome = SendAndWait(sender, { "a@x" });
        ASSERT_TRUE(outcome);
        EXPECT_EQ(outcome->Ok, c.ok) << outcome->Detail.toStdString();
        const auto auth = relay.Events("auth");
        if (c.ok) {
            ASSERT_EQ(auth.size(), 1u);
            EXPECT_EQ(auth[0]["tls"].toBool(), c.tls);
            ASSERT_EQ(relay.Events("mail").size(), 1u);
            EXPECT_EQ(relay.Events("mail")[0]["tls"].toBool(), c.tls);
        } else {
            EXPECT_TRUE(auth.empty()) << "the password went out in clear";
        }
    }
}

TEST(SmtpSender, OneSendAtATimeAndAbandonedOnDestruction)
{
    SmtpTestServer::Options hold;
    hold.HoldData = true;
    SmtpTestServer relay(hold);
    ASSERT_TRUE(relay.Running());
    bool called = false;
    auto sender = std::make_unique<TSmtpSender>(Loopback(relay.Port()));
    ASSERT_TRUE(sender->Send({ "a@x" }, kMessage, [&](const TSmtpResult&) { called = true; }));
    EXPECT_TRUE(sender->Busy());
    EXPECT_FALSE(sender->Send({ "b@y" }, kMessage, [&](const TSmtpResult&) { called = true; }));
    ASSERT_TRUE(relay.WaitForEvent("data-started"));

    QElapsedTimer timer;
    timer.start();
    sender.reset(); // the relay still holds the DATA
    EXPECT_LT(timer.elapsed(), 5000); // it is looked at once a second
    test::DrainEvents();
    EXPECT_FALSE(called);
    relay.ReleaseData();
}

} // namespace
} // namespace quill
