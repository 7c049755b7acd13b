#include "FtpServerForm.h"

#include <cerrno>

#include "AboutBox.h"
#include "AccessRightsForm.h"
#include "ConsoleArt.h"
#include "ConsoleDesktop.h"
#include "HelpForm.h"
#include "LogView.h"
#include "MailMemory.h"
#include "MakerSite.h"
#include "SocketApi.h"

#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace quill {

namespace {

const QString RunningText = QStringLiteral("Server is Running @ ");
const QString StoppedText = QStringLiteral("Server is Stopped @ ");
// The credit line written at each start.
const std::string CreditLine = std::string("Quillshare FTP Server by Tarnwick - ") + maker::Host;

QPushButton* Button(const QString& caption, const char* name, QWidget* parent, const QRect& place)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(place);
    return button;
}

QLabel* StatusRowLabel(const QString& text, const char* name, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    QFont font = label->font();
    font.setBold(true);
    font.setPointSize(9);
    label->setFont(font);
    return label;
}

QLabel* LampImage(const QColor& colour, const char* name, QWidget* parent, int left)
{
    auto* lamp = new QLabel(parent);
    lamp->setObjectName(QString::fromLatin1(name));
    lamp->setPixmap(art::Lamp(colour));
    lamp->setAlignment(Qt::AlignCenter);
    lamp->setGeometry(left, 120, 9, 25);
    return lamp;
}

bool IsLoopback(const std::string& address)
{
    return address.rfind("127.", 0) == 0;
}

} // namespace

QString LinkText(const std::vector<std::string>& addresses, const std::string& port)
{
    QString link = QStringLiteral("ftp://");
    if (addresses.empty())
        return link;
    // The list ends with the loopback address, which no friend can reach.
    auto chosen
        = std::find_if(addresses.rbegin(), addresses.rend(), [](const auto& a) { return !IsLoopback(a); });
    link += QString::fromStdString(chosen != addresses.rend() ? *chosen : addresses.back());
    if (!port.empty() && port != "21" && port != "0")
        link += QLatin1Char(':') + QString::fromStdString(port);
    return link;
}

TFtpServerForm::TFtpServerForm(
    TConsoleDesktop& desktop, TConsoleSettings& settings, TMailMemory& mail, Windows windows, QWidget* parent)
    : QMainWindow(parent)
    , desktop_(desktop)
    , settings_(settings)
    , mail_(mail)
    , windows_(windows)
    , log_([this](const std::string& line) {
        if (infoMemo_)
            infoMemo_->AppendLine(line);
    })
    , policy_({ [this] { return Password().toStdString(); }, [this] { return HomeDir().toStdString(); },
                  [this](AccessRight right) { return windows_.accessRights.Right(right); } },
          log_)
    , addressSource_(&sockapi::LocalIPv4List)
{
    // --- The window
    setObjectName(QStringLiteral("FtpServerForm"));
    setWindowTitle(FinalCaption());
    setWindowIcon(art::ProgramIcon());
    QFont small = font(); // a small sans serif, as the panel's fixed places need
    small.setPointSize(8);
    setFont(small);
    move(0, 147);
    resize(400, 348);

    // --- Widgets, menus, the server
    CreateWidgets();
    CreateMenus();
    ConnectServer();

    // --- Creation work: an empty log, the red lamp alone in the lamps' place
    infoMemo_->clear();
    greenImage_->hide();
    redImage_->show();
    redImage_->move(greenImage_->pos());
    shareButton_->setFocus();
}

TFtpServerForm::~TFtpServerForm()
{
    // The server, a member, goes before the widgets (the base class frees
    // those); still, no event of its end may reach a window being destroyed.
    server_.OnClientDisconnect = nullptr;
    server_.OnStop = nullptr;
}

void TFtpServerForm::CreateWidgets()
{
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setCentralWidget(central);

    // The panel: buttons, boxes, lamps and the status sentence.
    auto* panel = new QWidget(central);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFixedHeight(149);
    art::Paint(*panel, art::SkyBlue);
    layout->addWidget(panel);

    shareButton_ = Button(QStringLiteral("Share Directory"), "ShareButton", panel, QRect(16, 8, 89, 25));
    homeDir_ = new QLineEdit(panel);
    homeDir_->setObjectName(QStringLiteral("eHomeDir"));
    homeDir_->setGeometry(120, 8, 253, 21);
    homeDir_->setFocusPolicy(Qt::ClickFocus);

    auto* passwordCaption = new QLabel(QStringLiteral("Access Password"), panel);
    passwordCaption->setObjectName(QStringLiteral("Label2"));
    QFont bold = passwordCaption->font();
    bold.setBold(true);
    passwordCaption->setFont(bold);
    passwordCaption->adjustSize();
    passwordCaption->move(228 - passwordCaption->width(), 56);
    password_ = new QLineEdit(panel);
    password_->setObjectName(QStringLiteral("ePassword"));
    password_->setGeometry(232, 52, 141, 21);

    startButton_ = Button(QStringLiteral("Start Server"), "Startbutton", panel, QRect(16, 48, 89, 25));
    stopButton_ = Button(QStringLiteral("Stop Server"), "StopButton", panel, QRect(16, 88, 89, 25));
    mailButton_ = Button(QStringLiteral("Email Link"), "MailButton", panel, QRect(236, 88, 139, 25));
    setTabOrder(shareButton_, password_);
    setTabOrder(password_, startButton_);
    setTabOrder(startButton_, stopButton_);
    setTabOrder(stopButton_, mailButton_);

    greenImage_ = LampImage(art::RunningGreen, "GreenImage", panel, 16);
    redImage_ = LampImage(art::StoppedRed, "RedImage", panel, 32);
    greenImage_->installEventFilter(this);
    redImage_->installEventFilter(this);

    // The three labels read as one sentence: "Server is Running @ ftp://...
    // with 1 user". They follow each other, so no text runs over the next.
    auto* row = new QWidget(panel);
    row->setObjectName(QStringLiteral("StatusRow"));
    auto* rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->setSpacing(0);
    statusLabel_ = StatusRowLabel(StoppedText + QStringLiteral("  "), "StatusLabel", row);
    ipLabel_ = StatusRowLabel(QStringLiteral("IP Address"), "IPLabel", row);
    ipLabel_->setCursor(Qt::PointingHandCursor);
    ipLabel_->setToolTip(QStringLiteral("Click to look up the address again"));
    ipLabel_->installEventFilter(this);
    clientCountLabel_ = StatusRowLabel(QStringLiteral("with 0 users"), "ClientCountLabel", row);
    rowLayout->addWidget(statusLabel_);
    rowLayout->addSpacing(4);
    rowLayout->addWidget(ipLabel_);
    rowLayout->addSpacing(4);
    rowLayout->addWidget(clientCountLabel_);
    rowLayout->addStretch(1);
    row->setGeometry(52, 120, 400 - 52, 25);
    panel->installEventFilter(this); // keeps the row as wide as the panel
    ShowLabelsColour(false);

    infoMemo_ = new TLogView(central);
    infoMemo_->setObjectName(QStringLiteral("InfoMemo"));
    layout->addWidget(infoMemo_, 1);

    // --- Connections
    connect(shareButton_, &QPushButton::clicked, this, [this] { Guarded([this] { ShareButtonClick(); }); });
    connect(startButton_, &QPushButton::clicked, this, [this] { Guarded([this] { StartbuttonClick(); }); });
    connect(stopButton_, &QPushButton::clicked, this, [this] { Guarded([this] { StopButtonClick(); }); });
    connect(mailButton_, &QPushButton::clicked, this, [this] { Guarded([this] { MailButtonClick(); }); });
}

void TFtpServerForm::CreateMenus()
{
    const auto item
        = [this](QMenu* menu, const QString& caption, const char* name, std::function<void()> action) {
              QAction* a = menu->addAction(caption);
              a->setObjectName(QString::fromLatin1(name));
              connect(a, &QAction::triggered, this, [this, action = std::move(action)] { Guarded(action); });
              return a;
          };

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    item(file, QStringLiteral("&Start server"), "MnuStartServer", [this] { StartServer(); });
    item(file, QStringLiteral("S&top server"), "MnuStopServer", [this] { StopServer(); });
    file->addSeparator();
    item(file, QStringLiteral("&Quit"), "MnuQuit", [this] { close(); });

    QMenu* tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    item(tools, QStringLiteral("&Clear display"), "Cleardisplay1", [this] { infoMemo_->clear(); });
    item(tools, QStringLiteral("&List clients"), "MnuListClients", [this] { log_.ListClients(server_); });
    item(tools, QStringLiteral("&Email Link"), "EmailLink1", [this] { MailButtonClick(); });

    QMenu* configure = menuBar()->addMenu(QStringLiteral("&Configure"));
    item(configure, QStringLiteral("&Access Rights"), "AccessRights1",
        [this] { windows_.accessRights.ShowForward(); });
    item(configure, QStringLiteral("Sh&are directory"), "Sharedirectory1", [this] { ShareButtonClick(); });

    QMenu* help = menuBar()->addMenu(QStringLiteral("Help"));
    item(help, QStringLiteral("About Tarnwick"), "Tarnwick1", [this] { desktop_.RunModal(windows_.about); });
    item(help, QStringLiteral("Online Help"), "OnlineManual1", [this] { windows_.help.ShowForward(); });
}

void TFtpServerForm::ConnectServer()
{
    // Every address, the FTP port (21); a test may change these before it starts.
    server_.Addr = "0.0.0.0";
    server_.Port = "ftp";
    server_.Banner = "220 Quillshare FTP Server ready";
    // The log takes the events it reports, the policy those it decides on;
    // the window adds its display to a few of them.
    log_.Attach(server_);
    policy_.Attach(server_);
    server_.OnStart = [this](TFtpServer&) {
        ShowStatus(true);
        log_.ServerStarted();
    };
    server_.OnStop = [this](TFtpServer&) {
        greenImage_->hide();
        redImage_->show();
        log_.ServerStopped();
    };
    server_.OnClientConnect = [this](TFtpServer&, TFtpCtrlSocket& client, quint16) {
        log_.ClientConnected(client);
        UpdateUserCount();
    };
    server_.OnClientDisconnect = [this](TFtpServer&, TFtpCtrlSocket& client, quint16) {
        log_.ClientDisconnected(client);
        UpdateUserCount();
    };
}

// --- Start-up and close

void TFtpServerForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (shown_)
        return;
    shown_ = true;
    setWindowTitle(StartingCaption());
    // Off the screen until the stored placement is applied.
    move(-width(), y());
    saved_ = { y(), x(), width(), height() };
    // The rest shows a modal box: it runs from the event loop, not inside
    // the show.
    QMetaObject::invokeMethod(
        this, [this] { FirstShow(); }, Qt::QueuedConnection);
}

void TFtpServerForm::FirstShow()
{
    desktop_.RunModal(windows_.about);
    if (!isVisible())
        return; // closed meanwhile: there is nothing left to start

    TConsoleSettingsValues values { HomeDir(), Password(), mail_.MailFrom, mail_.MailAddress,
        windows_.accessRights.Rights(), saved_ };
    settings_.Read(values);
    homeDir_->setText(values.homeDir);
    password_->setText(values.password);
    mail_.MailFrom = values.mailFrom;
    mail_.MailAddress = values.mailAddress;
    windows_.accessRights.SetRights(values.rights);
    // Loading "CreateDir" brings the rights dialog forward; start-up does not
    // leave it open.
    windows_.accessRights.hide();
    saved_ = values.placement;
    settingsRead_ = true;

    portSetting_ = settings_.ReadPortSetting(portSetting_);
    try {
        settings_.WritePortSetting(portSetting_);
    } catch (const EProfileError&) {
        // Like every settings write, a failure here is not the user's concern.
    }

    saved_ = ClampPlacement(saved_, ScreenSize());
    QMetaObject::invokeMethod(
        this, [this] { AfterShow(); }, Qt::QueuedConnection);
    Guarded([this] { RefreshAddress(); });
}

void TFtpServerForm::AfterShow()
{
    if (!isVisible())
        return;
    move(saved_.left, saved_.top);
    resize(saved_.width, saved_.height);
    // This window still reads "Starting ...", so only another console's
    // published endpoint is found.
    if (guard_.AnotherIsRunning()) {
        close(); // silently: the running console is the one to use
        return;
    }
    setWindowTitle(FinalCaption());
    repaint();
    guard_.Publish();
    ready_ = true;
}

void TFtpServerForm::closeEvent(QCloseEvent* event)
{
    FormClose();
    QMainWindow::closeEvent(event);
}

void TFtpServerForm::FormClose()
{
    // The window closes whatever fails here.
    try {
        StopServer();
    } catch (...) {
    }
    // Settings never read are not written: the empty controls would
    // replace what the file holds.
    if (!settingsRead_)
        return;
    try {
        const TConsoleSettingsValues values { HomeDir(), Password(), mail_.MailFrom, mail_.MailAddress,
            windows_.accessRights.Rights(), { y(), x(), width(), height() } };
        settings_.Write(values, portSetting_);
    } catch (...) {
    }
}

QSize TFtpServerForm::ScreenSize() const
{
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return s ? s->geometry().size() : QSize(MinWindowWidth, MinWindowHeight);
}

// --- Server control and display

void TFtpServerForm::StartServer()
{
    greenImage_->hide();
    redImage_->show();
    statusLabel_->setText(RunningText);
    repaint();
    log_.Write(CreditLine);
    try {
        server_.Start();
    } catch (...) {
        // It did not start: the display must not say it runs.
        statusLabel_->setText(StoppedText);
        throw;
    }
    // Start does nothing when the server already listens, and then reports
    // nothing either: show it as it is.
    if (server_.Listening())
        ShowStatus(true);
}

void TFtpServerForm::StopServer()
{
    server_.Stop();
    server_.CloseAllClients();
    ShowStatus(false);
}

void TFtpServerForm::ShowStatus(bool running)
{
    greenImage_->setVisible(running);
    redImage_->setVisible(!running);
    statusLabel_->setText(running ? RunningText : StoppedText);
    ShowLabelsColour(running);
}

void TFtpServerForm::ShowLabelsColour(bool running)
{
    for (QLabel* label : { statusLabel_, ipLabel_, clientCountLabel_ })
        art::SetTextColour(*label, running ? art::RunningGreen : art::StoppedRed);
}

void TFtpServerForm::RefreshAddress()
{
    addresses_ = addressSource_ ? addressSource_() : std::vector<std::string>();
    std::string port = server_.ListenPort();
    if (port.empty()) {
        try {
            port = std::to_string(sockapi::ResolvePort(server_.Port));
        } catch (const ESocketException&) {
            // An unknown service name: the link goes without a port.
        }
    }
    ipLabel_->setText(LinkText(addresses_, port));
}

void TFtpServerForm::UpdateUserCount()
{
    clientCountLabel_->setText(QString::fromStdString(UserCountText(server_)));
}

// --- User actions

void TFtpServerForm::StartbuttonClick()
{
    RefreshAddress();
    windows_.accessRights.ShowForward();
    StartServer();
}

void TFtpServerForm::StopButtonClick()
{
    StopServer();
    RefreshAddress();
}

void TFtpServerForm::ImagesDblClick()
{
    if (server_.Listening())
        StopServer();
    else
        StartServer();
}

void TFtpServerForm::ShareButtonClick()
{
    if (!desktop_.Confirm(this, QStringLiteral("This will stop the server and disconnect any users")))
        return;
    StopServer();
    const std::optional<QString> folder = desktop_.ChooseFolder(this, QDir::currentPath());
    if (!folder)
        return;
    homeDir_->setText(*folder);
    // Visitors who log in from now on get the new folder; the server stays
    // stopped until the user starts it.
    if (!QDir::setCurrent(*folder))
        desktop_.Inform(this, QStringLiteral("Please specify a valid home directory."));
}

void TFtpServerForm::MailButtonClick()
{
    RefreshAddress(); // the mail carries the current link
    if (OnEmailLink)
        OnEmailLink();
}

QString TFtpServerForm::ListenFailureText(const ESocketException& e, const QString& port)
{
    // The usual failures in plain words; the system's text for the rest.
    if (e.code() == EACCES)
        return QStringLiteral("The server cannot start: on this system only privileged programs may use port "
                              "%1. Give Quillshare that right (see the README), or ask your administrator.")
            .arg(port);
    if (e.code() == EADDRINUSE)
        return QStringLiteral("The server cannot start: another program already uses port %1. "
                              "Stop that program and try again.")
            .arg(port);
    return QStringLiteral("The server cannot listen: %1").arg(QString::fromStdString(e.what()));
}

void TFtpServerForm::Guarded(const std::function<void()>& action)
{
    try {
        action();
    } catch (const ESocketException& e) {
        const QString port = QString::fromStdString(Server().Port);
        desktop_.ShowError(this, ListenFailureText(e, port == "ftp" ? QStringLiteral("21 (ftp)") : port));
    } catch (const std::exception& e) {
        desktop_.ShowError(this, QString::fromStdString(e.what()));
    }
}

bool TFtpServerForm::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == greenImage_ || watched == redImage_) && event->type() == QEvent::MouseButtonDblClick) {
        Guarded([this] { ImagesDblClick(); });
        return true;
    }
    if (watched == ipLabel_ && event->type() == QEvent::MouseButtonRelease) {
        Guarded([this] { RefreshAddress(); });
        return true;
    }
    if (event->type() == QEvent::Resize && watched->objectName() == QLatin1String("Panel1")) {
        if (auto* row = findChild<QWidget*>(QStringLiteral("StatusRow")))
            row->resize(static_cast<QWidget*>(watched)->width() - row->x(), row->height());
    }
    return QMainWindow::eventFilter(watched, event);
}

// --- Live values

QString TFtpServerForm::Password() const
{
    return password_->text();
}

QString TFtpServerForm::HomeDir() const
{
    return homeDir_->text();
}

QString TFtpServerForm::Link() const
{
    return ipLabel_->text();
}

QString TFtpServerForm::LogText() const
{
    return infoMemo_->toPlainText();
}

} // namespace quill
