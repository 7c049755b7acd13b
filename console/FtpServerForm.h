// The console's main window. It owns the FTP server for the whole run and
// wires it to the activity log (shown in the window) and to the sharing
// policy (fed the live password, shared folder and access rights); it starts
// and stops the server, shows its state and the ftp:// link, lets the user
// choose the shared folder, and reads and writes the settings file.
//
// Start-up, in order:
//   created       red lamp, empty log, server stopped
//   first shown   caption "Starting ...", moved off the screen; then, from the
//                 event loop: about box, settings read, placement clamped, link
//   after show    placement applied; another console running -> close; else
//                 final caption, endpoint published
//   closed        server stopped, settings written
#pragma once

#include "ActivityLog.h"
#include "ConsoleSettings.h"
#include "FtpServer.h"
#include "SharingPolicy.h"
#include "SingleInstanceGuard.h"
#include "WindowPlacement.h"

#include <QMainWindow>

#include <functional>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quill {

class TAboutBox;
class TAccessRightsForm;
class TConsoleDesktop;
class THelpForm;
class TLogView;
struct TMailMemory;

// The link visitors use: "ftp://" and the last address of the list that is
// not a loopback address (the loopback one only when there is no other),
// with ":port" unless the port is 21 or unknown; just "ftp://" without addresses.
QString LinkText(const std::vector<std::string>& addresses, const std::string& port);

class TFtpServerForm : public QMainWindow {
public:
    // The secondary windows, made before the main window and outliving it.
    struct Windows {
        TAccessRightsForm& accessRights;
        THelpForm& help;
        TAboutBox& about;
    };

    // mail: the mailer's remembered texts, loaded and saved with the settings.
    TFtpServerForm(TConsoleDesktop& desktop, TConsoleSettings& settings, TMailMemory& mail, Windows windows,
        QWidget* parent = nullptr);
    ~TFtpServerForm() override;

    static QString FinalCaption() { return QStringLiteral("Tarnwick Quillshare Server"); }
    static QString StartingCaption() { return QStringLiteral("Starting Tarnwick Quillshare Server"); }

    // --- Set before the first show
    // The single-instance endpoint; empty (the default) turns the guard off.
    void SetInstanceEndpoint(const QString& name) { guard_.SetName(name); }
    // Where the addresses of the link come from (the machine's IPv4 list by default).
    void SetAddressSource(std::function<std::vector<std::string>()> source)
    {
        addressSource_ = std::move(source);
    }
    // Opens the link mailer; called by "Email Link" once the link is refreshed.
    std::function<void()> OnEmailLink;

    // --- Operations
    // Shows as starting and starts listening; raises when the port cannot be
    // had (the display then reads stopped again).
    void StartServer();
    // Stops listening, closes every visitor, shows as stopped.
    void StopServer();
    // Looks up the local addresses and sets the link.
    void RefreshAddress();
    // Recounts the users into the user count label.
    void UpdateUserCount();

    // --- Live values
    TFtpServer& Server() { return server_; }
    QString Password() const;
    QString HomeDir() const;
    QString Link() const;
    // What the error box says when the server cannot listen.
    static QString ListenFailureText(const ESocketException& e, const QString& port);
    QString LogText() const;
    // True once start-up has finished and the window carries its final caption.
    bool Ready() const { return ready_; }
    // The placement read at first show and clamped, applied after it.
    const TWindowPlacement& SavedPlacement() const { return saved_; }
    // The "Data" "Port" value carried from run to run.
    const QString& PortSetting() const { return portSetting_; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // --- Construction
    void CreateWidgets();
    void CreateMenus();
    void ConnectServer();

    // --- Start-up and close
    void FirstShow();
    void AfterShow();
    void FormClose();
    QSize ScreenSize() const;

    // --- User actions
    void StartbuttonClick();
    void StopButtonClick();
    void ImagesDblClick();
    void ShareButtonClick();
    void MailButtonClick();
    void ShowStatus(bool running);
    void ShowLabelsColour(bool running);
    // Runs a user action; an error it raises ends it and is shown to the user.
    void Guarded(const std::function<void()>& action);

    // --- Dependencies
    TConsoleDesktop& desktop_;
    TConsoleSettings& settings_;
    TMailMemory& mail_;
    Windows windows_;

    // --- Widgets
    QPushButton* shareButton_ = nullptr;
    QLineEdit* homeDir_ = nullptr;
    QLineEdit* password_ = nullptr;
    QPushButton* startButton_ = nullptr;
    QPushButton* stopButton_ = nullptr;
    QPushButton* mailButton_ = nullptr;
    QLabel* greenImage_ = nullptr;
    QLabel* redImage_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QLabel* ipLabel_ = nullptr;
    QLabel* clientCountLabel_ = nullptr;
    TLogView* infoMemo_ = nullptr;

    // --- The server and what answers it
    TFtpServer server_;
    ActivityLog log_;
    SharingPolicy policy_;

    // --- Start-up state
    bool shown_ = false; // the first-show work has been done
    bool ready_ = false;
    bool settingsRead_ = false;
    TWindowPlacement saved_;
    QString portSetting_ = QStringLiteral("ftp");
    TSingleInstanceGuard guard_;
    std::function<std::vector<std::string>()> addressSource_;
    std::vector<std::string> addresses_; // the last look-up, one address a line
};

} // namespace quill
