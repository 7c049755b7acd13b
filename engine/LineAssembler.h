// Turns the byte stream of a control connection into command lines.
//
// The buffer has a fixed size; one byte always stays free. A line is the
// bytes before an LF, without a CR directly before it. When the buffer fills
// up without an LF, its content is thrown away and the line "OVER" takes its
// place, so an overlong line is answered instead of executed in pieces.
#pragma once

#include "Limits.h"

#include <memory>
#include <string_view>

namespace quill {

class LineAssembler {
public:
    explicit LineAssembler(int size = limits::DefaultRcvSize);

    int Size() const { return size_; }
    int Length() const { return length_; }
    // Changes the buffer size; only while no bytes are held (the caller checks).
    void SetSize(int size);

    // Where the next read goes, and how many bytes it may bring. The buffer
    // exists only while it is used: an idle connection holds none.
    char* FreeSpace()
    {
        if (!buffer_)
            buffer_ = std::make_unique<char[]>(static_cast<std::size_t>(size_));
        return buffer_.get() + length_;
    }
    int FreeLength() const { return size_ > length_ ? size_ - length_ - 1 : 0; }

    // Takes `count` bytes just read into FreeSpace() and calls deliver(line)
    // for every complete line, in order. deliver returns false to stop early
    // (the bytes after that line stay held).
    template <typename Deliver> void Commit(int count, Deliver&& deliver);

private:
    // Index of the first LF among the held bytes, or -1.
    int FindLineEnd() const;
    void ReplaceWithOver();
    void Consume(int lineEnd);

    std::unique_ptr<char[]> buffer_;
    int size_ = 0;
    int length_ = 0;
};

template <typename Deliver> void LineAssembler::Commit(int count, Deliver&& deliver)
{
    if (count <= 0)
        return;
    length_ += count;
    for (;;) {
        int lf = FindLineEnd();
        if (lf < 0) {
            if (length_ < size_ - 1)
                return; // wait for the rest of the line
            ReplaceWithOver();
            lf = length_ - 1;
        }
        int lineLength = lf;
        if (lineLength > 0 && buffer_[lineLength - 1] == '\r')
            --lineLength;
        const bool more = deliver(std::string_view(buffer_.get(), static_cast<std::size_t>(lineLength)));
        Consume(lf);
        if (length_ == 0)
            buffer_.reset();
        if (!more || length_ == 0)
            return;
    }
}

} // namespace quill
