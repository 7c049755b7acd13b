// Listings: LIST (one "ls -l" style line per entry) and NLST (bare names).
// The whole listing is built in memory, then sent by the send path.
#include "FtpServer.h"

#include "FileSystem.h"
#include "ListingFormat.h"
#include "LocalTime.h"

namespace quill {

void TFtpServer::HandleLIST(TFtpCtrlSocket& Client, TFtpString&, TFtpString& Params, TFtpString& Answer)
{
    Client.CurrentCommand = ckLIST;
    SendListing(Client, true, Params, Answer);
}

void TFtpServer::HandleNLST(TFtpCtrlSocket& Client, TFtpString&, TFtpString& Params, TFtpString& Answer)
{
    Client.CurrentCommand = ckNLST;
    SendListing(Client, false, Params, Answer);
}

void TFtpServer::SendListing(TFtpCtrlSocket& Client, bool Detailed, TFtpString& Params, TFtpString& Answer)
{
    ForgetStaleStream(Client);
    try {
        TFtpString directory = ToLocalSeparators(PathRules, Params);
        TriggerBuildDirectory(Client, directory, Detailed);
        if (!Client.DataStream) {
            auto listing = std::make_unique<TMemoryStream>();
            BuildListing(Client, directory.str(), Detailed, *listing);
            Client.AdoptDataStream(std::move(listing));
            // The owner may add lines; they follow the engine's.
            TriggerAlterDirectory(Client, directory, Detailed);
            Client.DataStream->Seek(0);
        }
        // An owner's stream is sent as the owner left it.
        Client.FilePath.clear();
        Answer = "150 Opening data connection for directory list.";
        StartDataConnection(Client, DataPath::Send);
    } catch (const std::exception& e) {
        Answer = std::string("451 Failed: ") + e.what() + ".";
    }
}

void TFtpServer::BuildListing(TFtpCtrlSocket& Client, const std::string& param, bool Detailed, TStream& stream)
{
    const int currentYear = CurrentLocalFields().year;
    const char separator = PathRules == PathStyle::Windows ? '\\' : '/';
    std::string search = ResolveClientPath(Client, param);
    if (search.empty() || search.back() == separator)
        search += "*.*";

    std::string text;
    for (const FileEntry& entry : FindEntries(search))
        text += Detailed ? FormatListingLine(entry, currentYear, LocalFields(entry.lastWriteUtc))
                         : FormatNameLine(entry);
    if (text.empty())
        text = search + " not found\r\n";
    stream.Write(text.data(), static_cast<qint64>(text.size()));
}

} // namespace quill
