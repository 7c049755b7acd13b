#include "SmtpSender.h"

#include "MailAddressList.h"

#include <curl/curl.h>

#include <cstring>
#include <memory>
#include <mutex>

namespace quill {

namespace {

constexpr long kConnectTimeoutSeconds = 30;
constexpr long kReplyTimeoutSeconds = 60; // for each reply of the relay
constexpr long kWholeSendTimeoutSeconds = 300; // the bound of one send, whatever happens

struct TSendJob {
    MailRelaySettings Relay;
    QStringList Recipients;
    QByteArray Message;
};

struct TUpload {
    const QByteArray* Bytes = nullptr;
    qsizetype Offset = 0;
};

size_t ReadMessage(char* buffer, size_t size, size_t count, void* userdata)
{
    auto* upload = static_cast<TUpload*>(userdata);
    const size_t left = static_cast<size_t>(upload->Bytes->size() - upload->Offset);
    const size_t n = std::min(left, size * count);
    std::memcpy(buffer, upload->Bytes->constData() + upload->Offset, n);
    upload->Offset += static_cast<qsizetype>(n);
    return n;
}

int CheckAbort(void* userdata, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<std::atomic<bool>*>(userdata)->load() ? 1 : 0;
}

// Security: the host goes into a URL, so it may hold only the characters of
// a host name or an address; "user@", a path or a second URL cannot slip in.
bool IsPlainHost(const QString& host)
{
    if (host.isEmpty())
        return false;
    for (const QChar c : host) {
        const bool ok = (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('.')
            || c == QLatin1Char('-') || c == QLatin1Char(':') || c == QLatin1Char('_');
        if (!ok)
            return false;
    }
    return true;
}

QByteArray RelayUrl(const MailRelaySettings& relay)
{
    const QByteArray scheme = relay.Security == TMailRelaySecurity::ImplicitTls ? "smtps" : "smtp";
    QByteArray host = relay.Host.toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']'; // an IPv6 address
    return scheme + "://" + host + ':' + QByteArray::number(relay.Port);
}

struct TCurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct TSlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

TSmtpResult Transfer(const TSendJob& job, std::atomic<bool>& abort)
{
    const MailRelaySettings& relay = job.Relay;
    if (!IsPlainHost(relay.Host))
        return { false, QStringLiteral("unusable relay host name") };
    if (!IsSafeEnvelopeAddress(relay.From))
        return { false, QStringLiteral("unusable sender address") };
    if (job.Recipients.isEmpty())
        return { false, QStringLiteral("no recipient") };

    std::unique_ptr<CURL, TCurlDeleter> curl(curl_easy_init());
    if (!curl)
        return { false, QStringLiteral("libcurl could not start") };
    CURL* c = curl.get();

    std::unique_ptr<curl_slist, TSlistDeleter> recipients;
    for (const QString& address : job.Recipients) {
        if (!IsSafeEnvelopeAddress(address))
            return { false, QStringLiteral("unusable recipient address") };
        curl_slist* grown = curl_slist_append(recipients.get(), ('<' + address.toUtf8() + '>').constData());
        if (!grown)
            return { false, QStringLiteral("out of memory") };
        recipients.release();
        recipients.reset(grown);
    }

    const QByteArray url = RelayUrl(relay);
    const QByteArray from = '<' + relay.From.toUtf8() + '>';
    const QByteArray user = relay.User.toUtf8();
    const QByteArray password = relay.Password.toUtf8();
    const QByteArray caFile = relay.CaFile.toLocal8Bit();
    char error[CURL_ERROR_SIZE] = {};
    TUpload upload { &job.Message, 0 };

    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L); // we are on a worker thread
    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    // Security: with "auto" the login goes in clear to a relay that offers no
    // STARTTLS (a plain relay on port 25 is the classic case); "starttls" and
    // "tls" refuse to send without encryption. The relay's certificate is
    // always verified.
    curl_easy_setopt(c, CURLOPT_USE_SSL,
        relay.Security == TMailRelaySecurity::Opportunistic ? long(CURLUSESSL_TRY) : long(CURLUSESSL_ALL));
    if (!caFile.isEmpty())
        curl_easy_setopt(c, CURLOPT_CAINFO, caFile.constData());
    if (!user.isEmpty()) {
        curl_easy_setopt(c, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(c, CURLOPT_PASSWORD, password.constData());
        curl_easy_setopt(c, CURLOPT_LOGIN_OPTIONS, "AUTH=LOGIN");
    }
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.constData());
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, recipients.get());
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_READFUNCTION, ReadMessage);
    curl_easy_setopt(c, CURLOPT_READDATA, &upload);
    curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, curl_off_t(job.Message.size()));
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, kReplyTimeoutSeconds);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, kWholeSendTimeoutSeconds);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, CheckAbort);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &abort);
    // Close the connection (QUIT) while this handle, whose progress function
    // can stop it, is still in charge; a connection left for later would be
    // closed by libcurl on its own, waiting out a silent relay.
    curl_easy_setopt(c, CURLOPT_FORBID_REUSE, 1L);

    const CURLcode code = curl_easy_perform(c);
    if (code == CURLE_OK)
        return { true, {} };
    QString detail = QString::fromUtf8(error);
    if (detail.isEmpty())
        detail = QString::fromUtf8(curl_easy_strerror(code));
    return { false, detail };
}

void InitCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

TSmtpSender::TSmtpSender(MailRelaySettings relay, QObject* parent)
    : QObject(parent)
    , relay_(std::move(relay))
{
    InitCurlOnce();
}

TSmtpSender::~TSmtpSender()
{
    abort_ = true;
    if (worker_.joinable())
        worker_.join();
    // A result already posted by the worker is dropped with this object.
}

bool TSmtpSender::Send(const QStringList& recipients, const QByteArray& message, TDoneEvent done)
{
    if (busy_)
        return false;
    busy_ = true;
    done_ = std::move(done);
    TSendJob job { relay_, recipients, message };
    worker_ = std::thread([this, job = std::move(job)] {
        const TSmtpResult result = Transfer(job, abort_);
        QMetaObject::invokeMethod(
            this, [this, result] { Finish(result); }, Qt::QueuedConnection);
    });
    return true;
}

void TSmtpSender::Finish(const TSmtpResult& result)
{
    // The worker posted this as its last act, so the join is immediate.
    if (worker_.joinable())
        worker_.join();
    busy_ = false;
    const TDoneEvent done = std::move(done_);
    done_ = nullptr;
    if (done)
        done(result);
}

} // namespace quill
