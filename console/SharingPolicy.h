// The sharing policy: the owner's answers to the engine's questions. One
// password for everybody and any user name; the shared folder as every
// visitor's home and fence; five rights, read at the moment of each request;
// and a small made-up "virtual folder" served from memory.
//
// It reads its settings through accessors, so the console can hand it its
// live controls and the headless server its options.
#pragma once

#include "ActivityLog.h"
#include "FtpServer.h"

#include <functional>
#include <optional>
#include <string>

namespace quill {

enum class AccessRight { CreateDir, DeleteDir, Upload, DeleteFiles, Rename };

struct AccessRights {
    bool createDir = false;
    bool deleteDir = false;
    bool upload = false;
    bool deleteFiles = false;
    bool rename = false;

    bool Has(AccessRight right) const;
    void Set(AccessRight right, bool on);
    static AccessRights All();
};

// Reads "CreateDir,Upload" (case-insensitive, comma-separated), or "all" /
// "none". Nothing, with the offending word in `error`, for an unknown right.
std::optional<AccessRights> ParseAccessRights(const std::string& text, std::string& error);

class SharingPolicy {
public:
    struct Settings {
        std::function<std::string()> password;
        std::function<std::string()> sharedFolder;
        std::function<bool(AccessRight)> allowed;
    };

    SharingPolicy(Settings settings, const ActivityLog& log, PathStyle style = HostPathStyle());

    // Takes the events the policy decides on, and confines every visitor
    // to its home folder.
    void Attach(TFtpServer& server);

    // --- The decisions (what the events call)
    bool Authenticate(TFtpCtrlSocket& client, const std::string& userName, const std::string& password) const;
    bool MayEnter(const std::string& directory) const;
    bool Allowed(AccessRight right) const { return settings_.allowed && settings_.allowed(right); }
    // Gives a listing of the virtual folder when the client is in it.
    void BuildDirectory(TFtpCtrlSocket& client, bool detailed) const;
    // Adds the virtual folder's entry to a detailed listing of the root.
    void AlterDirectory(TFtpCtrlSocket& client, bool detailed) const;
    // Serves a file of the virtual folder, or raises for the refused one.
    void RetrieveConnected(TFtpCtrlSocket& client) const;
    // Frees the policy's stream of a send that ended.
    void RetrieveClosed(TFtpCtrlSocket& client) const;

    // The virtual folder, its refused entry and the root, in the policy's style.
    const std::string& VirtualFolder() const { return virtualFolder_; }
    const std::string& ForbiddenEntry() const { return forbiddenEntry_; }
    const std::string& RootFolder() const { return rootFolder_; }

private:
    // Replaces the client's stream by one of the policy's, holding `text`.
    void GiveStream(TFtpCtrlSocket& client, const std::string& text) const;

    Settings settings_;
    const ActivityLog& log_;
    PathStyle style_;
    std::string virtualFolder_, forbiddenEntry_, rootFolder_;
};

} // namespace quill
