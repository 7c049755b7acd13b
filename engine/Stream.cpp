#include "Stream.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace quill {

qint64 TMemoryStream::Read(char* buf, qint64 max)
{
    const qint64 n = std::clamp<qint64>(static_cast<qint64>(data_.size()) - pos_, 0, max);
    if (n > 0)
        std::memcpy(buf, data_.data() + pos_, static_cast<std::size_t>(n));
    pos_ += n;
    return n;
}

void TMemoryStream::Write(const char* buf, qint64 len)
{
    if (pos_ > static_cast<qint64>(data_.size()))
        data_.resize(static_cast<std::size_t>(pos_));
    data_.replace(static_cast<std::size_t>(pos_), static_cast<std::size_t>(len), buf, static_cast<std::size_t>(len));
    pos_ += len;
}

void TMemoryStream::Seek(qint64 position)
{
    pos_ = std::max<qint64>(0, position);
}

void TMemoryStream::Truncate(qint64 size)
{
    data_.resize(static_cast<std::size_t>(std::max<qint64>(0, size)));
}

namespace {

    // A file, unbuffered: each block goes straight to the system.
    class TFileStream : public TStream {
    public:
        explicit TFileStream(const QString& path) : file_(path) { }
        QFile& File() { return file_; }

        qint64 Read(char* buf, qint64 max) override
        {
            const qint64 n = file_.read(buf, max);
            if (n < 0)
                throw EStreamError("Stream read error");
            return n;
        }
        void Write(const char* buf, qint64 len) override
        {
            if (file_.write(buf, len) != len)
                throw EStreamError("Stream write error");
        }
        void Seek(qint64 position) override
        {
            if (!file_.seek(position))
                throw EStreamError("Stream seek error");
        }
        qint64 Position() const override { return file_.pos(); }
        void Truncate(qint64 size) override
        {
            if (!file_.resize(size))
                throw EStreamError("Stream write error");
        }

    private:
        QFile file_;
    };

} // namespace

std::unique_ptr<TStream> OpenFileStream(const std::string& path, TFileOpenMode mode)
{
    auto stream = std::make_unique<TFileStream>(QString::fromStdString(path));
    QIODevice::OpenMode flags = QIODevice::Unbuffered;
    switch (mode) {
    case TFileOpenMode::Read:
        flags |= QIODevice::ReadOnly | QIODevice::ExistingOnly;
        break;
    case TFileOpenMode::Create:
        flags |= QIODevice::ReadWrite | QIODevice::Truncate;
        break;
    case TFileOpenMode::Update:
        flags |= QIODevice::ReadWrite;
        break;
    }
    // A folder is never a transfer's file (the file layer refuses to open
    // one). The file is looked at only when it could not be opened, to name
    // the failure: a transfer of many small files pays for no extra look-up.
    if (!stream->File().open(flags)) {
        const bool existed = QFileInfo::exists(stream->File().fileName());
        const bool opening = mode == TFileOpenMode::Read || (mode == TFileOpenMode::Update && existed);
        throw EStreamError((opening ? "Cannot open file " : "Cannot create file ") + path);
    }
    return stream;
}

} // namespace quill
