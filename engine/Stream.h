// Byte streams that transfers read and write: files and in-memory text.
// Failures raise EStreamError; a short write is a failure.
#pragma once

#include <QtGlobal>

#include <memory>
#include <stdexcept>
#include <string>

namespace quill {

class EStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TStream {
public:
    virtual ~TStream() = default;
    // Reads up to `max` bytes at the position; 0 at the end.
    virtual qint64 Read(char* buf, qint64 max) = 0;
    // Writes all `len` bytes at the position or raises "Stream write error".
    virtual void Write(const char* buf, qint64 len) = 0;
    virtual void Seek(qint64 position) = 0;
    virtual qint64 Position() const = 0;
    // Cuts (or extends) the stream to `size` bytes.
    virtual void Truncate(qint64 size) = 0;
};

// Text built in memory (listings).
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string text) : data_(std::move(text)) { }
    qint64 Read(char* buf, qint64 max) override;
    void Write(const char* buf, qint64 len) override;
    void Seek(qint64 position) override;
    qint64 Position() const override { return pos_; }
    void Truncate(qint64 size) override;
    const std::string& Data() const { return data_; }

private:
    std::string data_;
    qint64 pos_ = 0;
};

// How the engine opens a file for a transfer.
enum class TFileOpenMode {
    Read,     // download: must exist
    Create,   // upload: created, or truncated to 0 bytes
    Update,   // restarted upload or append: created when missing, kept otherwise
};

// Opens a file; raises EStreamError with "Cannot open file %s" or
// "Cannot create file %s" naming the path.
std::unique_ptr<TStream> OpenFileStream(const std::string& path, TFileOpenMode mode);

} // namespace quill
