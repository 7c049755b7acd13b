// File management commands: DELE SIZE RNFR RNTO MKD RMD MDTM (XMKD and XRMD
// share the MKD and RMD handlers). They act on the disk through the control
// connection alone; every reply that names a file shows its local path.
#include "FtpServer.h"

#include "FileSystem.h"
#include "ListingFormat.h"

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

namespace quill {

namespace {

const char* const SyntaxError = "501 Syntax error in parameter.";
// RNFR has always answered with this wording; clients go by the code alone.
const char* const RnfrSyntaxError = "501 Syntax error is parameter.";
const char* const FileNotFound = "File not found";

std::string NoSuchFile(const std::string& path)
{
    return "550 '" + path + "': no such file or directory.";
}

std::string CannotCreate(const std::string& what)
{
    return "550 '" + what + "': can't create directory.";
}

std::string CommandFailed(const std::string& why)
{
    return "550 Command failed: " + why + ".";
}

// The helpers below search as a directory listing does, so wildcards in the
// last component match; the first entry found decides.

// A file (hidden or not) is found at `path`; directories never count.
bool FileExists(const std::string& path)
{
    const std::vector<FileEntry> entries = FindEntries(path);
    return !entries.empty() && !entries.front().directory;
}

// The size of the first file found at `path`, or -1 when there is none.
int64_t FileSizeOf(const std::string& path)
{
    for (const FileEntry& entry : FindEntries(path)) {
        if (!entry.directory && !entry.volumeLabel)
            return entry.size;
    }
    return -1;
}

// A directory or an ordinary file is found at `path`: hidden and system
// entries do not count, so RMD leaves hidden folders alone.
bool DirectoryEntryExists(const std::string& path)
{
    for (const FileEntry& entry : FindEntries(path)) {
        if (!entry.hidden && !entry.system && !entry.volumeLabel)
            return true;
    }
    return false;
}

// The last-write time of the file at `path` as "YYYYMMDDHHMMSS.sss" in UTC.
// Raises when the file is no longer there (it may go between the existence
// check and this read).
std::string FileUtcTimeText(const std::string& path)
{
    const std::vector<FileEntry> entries = FindEntries(path);
    if (entries.empty() || entries.front().directory)
        throw std::runtime_error(FileNotFound);
    return MdtmText(entries.front().lastWriteUtc);
}

} // namespace

void TFtpServer::HandleDELE(TFtpCtrlSocket& Client, TFtpString&, TFtpString& Params, TFtpString& Answer)
{
    Client.CurrentCommand = ckDELE;
    std::string path = ResolveClientPath(Client, Params.str(), false);
    bool Allowed = true;
    TriggerValidateDele(Client, path, Allowed);
    if (!Allowed) {
        Answer = "550 Cannot delete.";
        return;
    }
    if (Params.empty()) {
        Answer = SyntaxError;
        return;
    }
    if (!FileExists(path)) {
        Answer = NoSuchFile(path);
        return;
    }
    if (RemoveFile(path))
        Answer = "250 File '" + path + "' deleted.";
    else
        Answer = "450 File '" + path + "' can't be deleted.";
}

void TFtpServer::HandleSIZE(TFtpCtrlSocket& Client, TFtpString&, TFtpString& Params, TFtpString& Answer)
{
    Client.CurrentCommand = ckSIZE;
    const std::string path = ResolveClientPath(Client, Params.str(), true);
    if (Params.empty()) {
        Answer = SyntaxError;
        return;
    }
    try {
        const int64_t size = FileSizeOf(path);
        if (size < 0)
            Answer = CommandFailed(FileNotFound);
        else
            Answer = "213 " + std::to_string(size);
    } catch (const std::exception& e) {
        Answer = CommandFailed(e.what());
    }
}

void TFtpServer::HandleRNFR(TFtpCtrlSocket& Client, TFtpString&, TFtpString& Params, TFtpString& Answer)
{
    Client.CurrentCommand = ckRNFR;
    std::string path = ResolveClientPath(Client, Params.str(), false);
    bool Allowed = true;
    TriggerValidateRnFr(Client, path, Allowed);
    if (!Allowed) {
        Answer = "500 Cannot RNFR.";
        return;
    }
    if (Params.empty()) {
        Answer = RnfrSyntaxError;
        return;
    }
    if (!FileExists(path)) {
        Answer = NoSuchFile(path);
        return;
    }
    // Kept until the next accepted RNFR: RNTO need not follow at once.
    Client.RenameFrom = path;
    Answer = "350 File exists, ready for destination name.";
}

void TFtpServer::HandleRNTO(TFtpCtrlSocket& Client, TFtpString&, TFtpString& Params, TFtpString& Answer)
{
    Client.CurrentCommand = ckRNTO;
    std::string path = ResolveClientPath(Client, Params.str(), false);
    bool Allowed = true;
    TriggerValidateRnTo(Client, path, Allowed);
    if (!Allowed) {
        Answer = "500 Cannot RNTO.";
        return;
    }
    if (Params.empty()) {
        Answer = SyntaxError;
        return;
    }
    if (FileExists(path)) {
        Answer = "553 '" + path + "': file already exists.";
        return;
    }
    if (!FileExists(Client.RenameFrom)) {
        Answer = NoSuchFile(Client.RenameFrom);
        return;
    }
    Client.RenameTo = path;
    // Never overwrites: a directory (or a file arriving meanwhile) under the
    // new name makes the rename fail.
    if (RenameFile(Client.RenameFrom, Client.RenameTo))
        Answer = "250 File '" + Client.RenameFrom + "' renamed to '" + Client.RenameTo + "'.";
    else
        Answer = "450 File '" + Client.RenameFrom + "' can't be renamed.";
}

void TFtpServer::HandleMKD(TFtpCtrlSocket& Client, TFtpString&, TFtpString& Params, TFtpString& Answer)
{
    Client.CurrentCommand = ckMKD;
    // MKD answers every failure itself, a refused name included.
    try {
        const std::string path = ResolveClientPath(Client, Params.str(), true);
        bool Allowed = true;
        TriggerMakeDirectory(Client, path, Allowed);
        if (!Allowed) {
            Answer = CannotCreate(path);
            return;
        }
        if (Params.empty()) {
            Answer = SyntaxError;
            return;
        }
        if (FileExists(path)) {
            Answer = "550 '" + path + "': file or directory already exists.";
            return;
        }
        if (CreateDir(path))
            Answer = "257 '" + path + "': directory created.";
        else
            Answer = CannotCreate(path);
    } catch (const std::exception& e) {
        Answer = CannotCreate(e.what());
    }
}

void TFtpServer::HandleRMD(TFtpCtrlSocket& Client, TFtpString&, TFtpString& Params, TFtpString& Answer)
{
    Client.CurrentCommand = ckRMD;
    std::string path = ResolveClientPath(Client, Params.str(), false);
    bool Allowed = true;
    TriggerValidateRmd(Client, path, Allowed);
    if (!Allowed) {
        Answer = "500 Cannot remove directory.";
        return;
    }
    if (Params.empty()) {
        Answer = SyntaxError;
        return;
    }
    if (!DirectoryEntryExists(path)) {
        Answer = "550 '" + path + "': no such directory.";
        return;
    }
    // Fails for a folder that is not empty and for a file.
    if (RemoveDir(path))
        Answer = "250 '" + path + "': directory removed.";
    else
        Answer = "550 '" + path + "': can't remove directory.";
}

void TFtpServer::HandleMDTM(TFtpCtrlSocket& Client, TFtpString&, TFtpString& Params, TFtpString& Answer)
{
    // Not gated by login. Before login the current folder is empty, so a
    // relative name is taken from the working directory; a confined server
    // refuses every name until login.
    Client.CurrentCommand = ckMDTM;
    const std::string path = ResolveClientPath(Client, Params.str(), true);
    if (Params.empty()) {
        Answer = "501 Syntax error in MDTM parameter.";
        return;
    }
    if (!FileExists(path)) {
        Answer = NoSuchFile(path);
        return;
    }
    try {
        Answer = "213 " + FileUtcTimeText(path);
    } catch (const std::exception& e) {
        Answer = CommandFailed(e.what());
    }
}

} // namespace quill
