// A server on a loopback port chosen by the system, with its events recorded.
#pragma once

#include "FtpServer.h"
#include "FtpTestClient.h"
#include "TestLoop.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include <memory>
#include <string>
#include <vector>

namespace quill::test {

class ServerFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApplication();
        server = std::make_unique<TFtpServer>();
        server->Addr = "127.0.0.1";
        server->Port = "0";
        server->OnStart = [this](TFtpServer&) { events.push_back("start"); };
        server->OnStop = [this](TFtpServer&) { events.push_back("stop"); };
        server->OnClientConnect = [this](TFtpServer&, TFtpCtrlSocket& c, quint16) {
            events.push_back("connect " + c.objectName().toStdString());
        };
        server->OnClientDisconnect = [this](TFtpServer&, TFtpCtrlSocket& c, quint16) {
            events.push_back("disconnect " + c.objectName().toStdString());
        };
        server->OnAnswerToClient = [this](TFtpServer&, TFtpCtrlSocket&, TFtpString& a) { answers.push_back(a.str()); };
        server->OnAuthenticate = [this](TFtpServer&, TFtpCtrlSocket& c, const TFtpString&, const TFtpString& pw,
                                        bool& ok) {
            ok = pw == "secret";
            c.HomeDir = homeDir;
        };
        server->Start();
        ASSERT_TRUE(server->Listening());
        port = server->ListenPort();
    }

    void TearDown() override
    {
        clients.clear();
        if (server) {
            server->Stop();
            server->CloseAllClients();
            DrainEvents();
            EXPECT_EQ(server->ClientCount(), 0);
        }
        server.reset();
    }

    // A connected client that has read the banner.
    FtpTestClient& NewClient(bool readBanner = true)
    {
        clients.push_back(std::make_unique<FtpTestClient>());
        FtpTestClient& c = *clients.back();
        EXPECT_TRUE(c.Connect(port));
        if (readBanner) {
            EXPECT_EQ(c.ReadLine(), "220 Quillshare FTP Server ready.");
        }
        return c;
    }

    // A fresh temporary folder as the visitors' home; returns its path.
    std::string MakeShare()
    {
        share = std::make_unique<QTemporaryDir>();
        homeDir = share->path().toStdString();
        return homeDir;
    }
    std::string SharePath(const std::string& relative) const { return homeDir + "/" + relative; }
    void WriteFile(const std::string& relative, const std::string& content) const
    {
        std::ofstream(SharePath(relative), std::ios::binary) << content;
    }
    std::string ReadFile(const std::string& relative) const
    {
        std::ifstream in(SharePath(relative), std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }

    int CountEvents(const std::string& prefix) const
    {
        int n = 0;
        for (const auto& e : events)
            n += e.rfind(prefix, 0) == 0;
        return n;
    }

    std::unique_ptr<TFtpServer> server;
    std::string port;
    std::string homeDir = "/srv/share";
    std::vector<std::string> events;
    std::vector<std::string> answers;
    std::vector<std::unique_ptr<FtpTestClient>> clients;
    std::unique_ptr<QTemporaryDir> share;
};

} // namespace quill::test
