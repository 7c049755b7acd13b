#include "SharingPolicy.h"

#include <QObject>

#include <algorithm>
#include <cctype>

namespace quill {

namespace {

    std::string Upper(std::string text)
    {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        return text;
    }

    bool StartsWithUpper(const std::string& text, const std::string& prefix)
    {
        return Upper(text.substr(0, prefix.size())) == prefix;
    }

    // A stream the policy gave a client. A child of the client object, so it
    // goes with the client even when no closed step comes to free it.
    class PolicyStream : public QObject {
        Q_OBJECT
    public:
        PolicyStream(TFtpCtrlSocket& client, const std::string& text)
            : QObject(&client)
            , stream(text)
        {
        }
        TMemoryStream stream;
    };

    // Which right guards which command's question.
    struct Guard {
        AccessRight right;
        TFtpSrvValidateXferEvent TFtpServer::*event;
    };
    const Guard Guards[] = {
        { AccessRight::DeleteDir, &TFtpServer::OnValidateRmd },   // RMD, XRMD
        { AccessRight::Upload, &TFtpServer::OnValidatePut },      // STOR, APPE
        { AccessRight::DeleteFiles, &TFtpServer::OnValidateDele }, // DELE
        { AccessRight::Rename, &TFtpServer::OnValidateRnFr },     // RNFR
        { AccessRight::Rename, &TFtpServer::OnValidateRnTo },     // RNTO
    };
    // MKD and XMKD ask through OnMakeDirectory, guarded by CreateDir.

    const char* const VirtualDetailedListing = "-rwxrwxrwx   1 ftp      ftp            0 Apr 30 19:00 FORBIDEN\r\n"
                                               "-rwxrwxrwx   1 ftp      ftp            0 Apr 30 19:00 TEST\r\n"
                                               "drwxrwxrwx   1 ftp      ftp            0 Apr 30 19:00 SOME DIR\r\n";
    const char* const VirtualNameListing = "FORBIDEN\r\nTEST\r\n";
    const char* const VirtualRootEntry = "drwxrwxrwx   1 ftp      ftp            0 Apr 30 19:00 VIRTUAL\r\n";

} // namespace

bool AccessRights::Has(AccessRight right) const
{
    switch (right) {
    case AccessRight::CreateDir:
        return createDir;
    case AccessRight::DeleteDir:
        return deleteDir;
    case AccessRight::Upload:
        return upload;
    case AccessRight::DeleteFiles:
        return deleteFiles;
    case AccessRight::Rename:
        return rename;
    }
    return false;
}

void AccessRights::Set(AccessRight right, bool on)
{
    switch (right) {
    case AccessRight::CreateDir:
        createDir = on;
        break;
    case AccessRight::DeleteDir:
        deleteDir = on;
        break;
    case AccessRight::Upload:
        upload = on;
        break;
    case AccessRight::DeleteFiles:
        deleteFiles = on;
        break;
    case AccessRight::Rename:
        rename = on;
        break;
    }
}

AccessRights AccessRights::All()
{
    return { true, true, true, true, true };
}

std::optional<AccessRights> ParseAccessRights(const std::string& text, std::string& error)
{
    static const std::pair<const char*, AccessRight> names[] = {
        { "CREATEDIR", AccessRight::CreateDir },
        { "DELETEDIR", AccessRight::DeleteDir },
        { "UPLOAD", AccessRight::Upload },
        { "DELETEFILES", AccessRight::DeleteFiles },
        { "RENAME", AccessRight::Rename },
    };
    AccessRights rights;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string word = Upper(std::string(TrimBlanks(std::string_view(text).substr(start, comma - start))));
        start = comma + 1;
        if (word == "ALL") {
            rights = AccessRights::All();
            continue;
        }
        if (word == "NONE")
            continue;
        const auto found = std::find_if(std::begin(names), std::end(names),
                                        [&](const auto& n) { return word == n.first; });
        if (found == std::end(names)) {
            error = "unknown right '" + word + "'";
            return std::nullopt;
        }
        rights.Set(found->second, true);
    }
    return rights;
}

SharingPolicy::SharingPolicy(Settings settings, const ActivityLog& log, PathStyle style)
    : settings_(std::move(settings))
    , log_(log)
    , style_(style)
    , virtualFolder_(style == PathStyle::Windows ? "C:\\VIRTUAL\\" : "/VIRTUAL/")
    , forbiddenEntry_(style == PathStyle::Windows ? "C:\\VIRTUAL\\FORBIDEN" : "/VIRTUAL/FORBIDEN")
    , rootFolder_(style == PathStyle::Windows ? "C:\\" : "/")
{
}

void SharingPolicy::Attach(TFtpServer& server)
{
    // Security: besides the folder fence below, the engine confines every
    // visitor to its home folder for every name it sends.
    server.ConfineToHomeDir = true;
    server.OnAuthenticate = [this](TFtpServer&, TFtpCtrlSocket& c, const TFtpString& user,
                                   const TFtpString& password, bool& ok) { ok = Authenticate(c, user.str(), password.str()); };
    server.OnChangeDirectory
        = [this](TFtpServer&, TFtpCtrlSocket&, const std::string& dir, bool& ok) { ok = MayEnter(dir); };
    server.OnMakeDirectory = [this](TFtpServer&, TFtpCtrlSocket&, const std::string&, bool& ok) {
        ok = Allowed(AccessRight::CreateDir);
    };
    for (const Guard& guard : Guards) {
        const AccessRight right = guard.right;
        server.*guard.event
            = [this, right](TFtpServer&, TFtpCtrlSocket&, std::string&, bool& ok) { ok = Allowed(right); };
    }
    server.OnBuildDirectory
        = [this](TFtpServer&, TFtpCtrlSocket& c, TFtpString&, bool detailed) { BuildDirectory(c, detailed); };
    server.OnAlterDirectory
        = [this](TFtpServer&, TFtpCtrlSocket& c, TFtpString&, bool detailed) { AlterDirectory(c, detailed); };
    server.OnRetrSessionConnected = [this](TFtpServer&, TFtpCtrlSocket& c, TAsyncSocket&, quint16 error) {
        log_.RetrieveSessionConnected(c, error);
        if (error == 0)
            RetrieveConnected(c);
    };
    server.OnRetrSessionClosed = [this](TFtpServer&, TFtpCtrlSocket& c, TAsyncSocket&, quint16 error) {
        log_.DataSessionClosed(c, error);
        RetrieveClosed(c);
    };
}

bool SharingPolicy::Authenticate(TFtpCtrlSocket& client, const std::string& userName,
                                 const std::string& password) const
{
    // Any user name; the password exactly, case and all.
    if (!settings_.password || password != settings_.password())
        return false;
    log_.UserAuthenticated(client, userName);
    client.HomeDir = settings_.sharedFolder ? settings_.sharedFolder() : std::string();
    return true;
}

bool SharingPolicy::MayEnter(const std::string& directory) const
{
    // Security: the shared folder and what lies inside it, component by
    // component; a folder whose name merely contains the shared folder's
    // text (".../Share2", "/elsewhere/Share") is outside. An empty shared
    // folder contains nothing.
    const std::string shared = settings_.sharedFolder ? settings_.sharedFolder() : std::string();
    return !shared.empty() && IsWithinFolder(style_, shared, directory);
}

void SharingPolicy::GiveStream(TFtpCtrlSocket& client, const std::string& text) const
{
    RetrieveClosed(client); // a stream of ours still there goes first
    if (client.DataStreamOpened)
        client.ReleaseDataStream();
    auto* holder = new PolicyStream(client, text);
    client.DataStream = &holder->stream;
    client.UserData = 1;
}

void SharingPolicy::BuildDirectory(TFtpCtrlSocket& client, bool detailed) const
{
    if (Upper(client.CurrentDir) != virtualFolder_)
        return;
    log_.VirtualDirectory();
    GiveStream(client, detailed ? VirtualDetailedListing : VirtualNameListing);
}

void SharingPolicy::AlterDirectory(TFtpCtrlSocket& client, bool detailed) const
{
    if (!detailed || !client.DataStream || Upper(client.CurrentDir) != rootFolder_)
        return;
    const std::string entry = VirtualRootEntry;
    client.DataStream->Write(entry.data(), static_cast<qint64>(entry.size()));
}

void SharingPolicy::RetrieveConnected(TFtpCtrlSocket& client) const
{
    if (StartsWithUpper(client.FilePath, forbiddenEntry_))
        throw std::runtime_error("Access prohibed !");
    if (!StartsWithUpper(client.FilePath, virtualFolder_))
        return;
    log_.VirtualFile();
    GiveStream(client, "This is a file created on the fly by the FTP server\r\n"
                       "It could result of a query to a database or anything else.\r\n"
                       "The request was: '"
            + client.FilePath + "'\r\n");
}

void SharingPolicy::RetrieveClosed(TFtpCtrlSocket& client) const
{
    if (client.UserData != 1)
        return;
    delete client.findChild<PolicyStream*>(QString(), Qt::FindDirectChildrenOnly);
    client.DataStream = nullptr;
    client.UserData = 0;
}

} // namespace quill

#include "SharingPolicy.moc"
