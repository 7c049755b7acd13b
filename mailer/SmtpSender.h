// Sends one message over SMTP (libcurl) without holding up the caller: the
// conversation with the relay runs on a worker thread, and its outcome comes
// back as a queued call on the thread that owns the sender. Knows nothing of
// widgets.
#pragma once

#include "MailRelaySettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <thread>

namespace quill {

struct TSmtpResult {
    bool Ok = false;
    QString Detail; // why it failed, in libcurl's words; for diagnostics, not for the user
};

class TSmtpSender : public QObject {
public:
    using TDoneEvent = std::function<void(const TSmtpResult& result)>;

    explicit TSmtpSender(MailRelaySettings relay, QObject* parent = nullptr);
    // A send under way is abandoned: told to stop, and its thread is waited
    // for (libcurl looks at the stop request at least once a second).
    ~TSmtpSender() override;
    TSmtpSender(const TSmtpSender&) = delete;
    TSmtpSender& operator=(const TSmtpSender&) = delete;

    // Connects to the relay, logs in by the LOGIN method when the relay has a
    // user, gives relay.From as the envelope sender, names every recipient
    // (each a bare address) and sends message (complete, CR LF line ends).
    // Any refusal, including one refused recipient, fails the whole send.
    // done runs later by a queued call, never from inside Send, and not at
    // all once the sender is destroyed. Returns false, and never calls done,
    // while another send is under way.
    bool Send(const QStringList& recipients, const QByteArray& message, TDoneEvent done);
    bool Busy() const { return busy_; }
    const MailRelaySettings& Relay() const { return relay_; }

private:
    void Finish(const TSmtpResult& result);

    MailRelaySettings relay_;
    bool busy_ = false;
    TDoneEvent done_;
    std::thread worker_;
    std::atomic<bool> abort_ { false }; // set by the destructor, read by the worker
};

} // namespace quill
