// Small value types shared by the engine's classes.
#pragma once

#include "Limits.h"

#include <string>
#include <string_view>

namespace quill {

// The engine's text for keywords, parameters and replies: bytes, at most
// 255 of them; longer text is cut when it is assigned.
class TFtpString {
public:
    TFtpString() = default;
    TFtpString(std::string_view text) : s_(text.substr(0, limits::FtpStringMax)) { }
    TFtpString(const std::string& text) : TFtpString(std::string_view(text)) { }
    TFtpString(const char* text) : TFtpString(std::string_view(text)) { }

    TFtpString& operator=(std::string_view text)
    {
        s_.assign(text.substr(0, limits::FtpStringMax));
        return *this;
    }
    TFtpString& operator=(const std::string& text) { return *this = std::string_view(text); }
    TFtpString& operator=(const char* text) { return *this = std::string_view(text); }

    const std::string& str() const { return s_; }
    operator std::string_view() const { return s_; }
    bool empty() const { return s_.empty(); }
    std::size_t size() const { return s_.size(); }
    void clear() { s_.clear(); }

    friend bool operator==(const TFtpString& a, std::string_view b) { return a.s_ == b; }

private:
    std::string s_;
};

// Login state of a control connection.
//
//   ftpcInvalid --greeting--> ftpcWaitingUserCode --USER--> ftpcWaitingPassword
//        ^                                                    |        |
//        |                            PASS refused <----------+        | PASS accepted
//        +-- (USER from any state goes to ftpcWaitingPassword)         v
//                                                                  ftpcReady
enum TFtpCtrlState { ftpcInvalid, ftpcWaitingUserCode, ftpcWaitingPassword, ftpcReady, ftpcWaitingAnswer };

// Kind of the last command that recorded itself in a connection.
enum TFtpCmdKind {
    ckPORT, ckSTOR, ckRETR, ckCWD, ckXPWD, ckPWD, ckUSER, ckPASS, ckLIST, ckRMD, ckTYPE, ckSYST, ckQUIT,
    ckDELE, ckRNFR, ckMKD, ckRNTO, ckNOOP, ckNLST, ckCDUP, ckSIZE, ckREST, ckAPPE, ckSTRU, ckMDTM
};

// Removes blanks and control characters (every byte up to 0x20) at both ends.
inline std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= 0x20)
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 0x20)
        text.remove_suffix(1);
    return text;
}

} // namespace quill
