// Failures of the file layer during transfers: the reply names the failure,
// what was written stays, nothing stays open and the server keeps serving.
#include "ServerFixture.h"


using namespace quill;
using namespace quill::test;

namespace {

// A real file stream that fails its nth write, or its nth read.
class FaultyStream : public TStream {
public:
    FaultyStream(std::unique_ptr<TStream> inner, int failingWrite, int failingRead)
        : inner_(std::move(inner))
        , failingWrite_(failingWrite)
        , failingRead_(failingRead)
    {
    }
    qint64 Read(char* buf, qint64 max) override
    {
        if (++reads_ == failingRead_)
            throw EStreamError("Stream read error");
        return inner_->Read(buf, max);
    }
    void Write(const char* buf, qint64 len) override
    {
        if (++writes_ == failingWrite_)
            throw EStreamError("Stream write error");
        inner_->Write(buf, len);
    }
    void Seek(qint64 position) override { inner_->Seek(position); }
    qint64 Position() const override { return inner_->Position(); }
    void Truncate(qint64 size) override { inner_->Truncate(size); }

private:
    std::unique_ptr<TStream> inner_;
    int failingWrite_, failingRead_;
    int writes_ = 0, reads_ = 0;
};

class Faults : public ServerFixture {
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        MakeShare();
    }
    void FailAt(int write, int read)
    {
        server->OpenFile = [write, read](const std::string& path, TFileOpenMode mode) -> std::unique_ptr<TStream> {
            return std::make_unique<FaultyStream>(OpenFileStream(path, mode), write, read);
        };
    }
};

} // namespace

TEST_F(Faults, AWriteFailureAbortsTheUploadAndKeepsWhatWasWritten)
{
    FailAt(4, 0);
    FtpTestClient& c = NewClient();
    c.Login();
    const int before = OpenDescriptorCount();
    auto d = DataChannel::ConnectTo(c.Pasv());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(c.Command("STOR up.bin"), "150 Opening data connection for up.bin.");
    const std::string content(10 * 2048, 'u');
    d->Send(content);
    EXPECT_EQ(c.ReadLine(), "426 Connection closed; Stream write error.");
    d.reset();
    DrainEvents();
    EXPECT_EQ(ReadFile("up.bin"), content.substr(0, 3 * 2048)); // the three blocks before the failure
    EXPECT_EQ(OpenDescriptorCount(), before); // the file and both ends of the data connection are closed

    server->OpenFile = OpenFileStream;
    d = DataChannel::ConnectTo(c.Pasv());
    EXPECT_EQ(c.Command("STOR up.bin"), "150 Opening data connection for up.bin.");
    d->Send("whole");
    d->Close();
    EXPECT_EQ(c.ReadLine(), "226 File received ok");
    EXPECT_EQ(ReadFile("up.bin"), "whole");
}

TEST_F(Faults, AReadFailureAbortsTheDownload)
{
    WriteFile("down.bin", std::string(10 * 2048, 'd'));
    FailAt(0, 3);
    FtpTestClient& c = NewClient();
    c.Login();
    auto d = DataChannel::ConnectTo(c.Pasv());
    EXPECT_EQ(c.Command("RETR down.bin"), "150 Opening data connection for down.bin.");
    EXPECT_EQ(d->ReadAll().size(), 2u * 2048); // what was read before the failure
    EXPECT_EQ(c.ReadLine(), "501 Cannot RETR. Stream read error");
    EXPECT_TRUE(server->Listening());
    EXPECT_EQ(c.Command("NOOP"), "200 Ok. Parameter was ''.");
}
