#include "LineAssembler.h"

#include <cstring>

namespace quill {

namespace {
    constexpr char OverLine[] = "OVER\r\n";
    constexpr int OverLength = sizeof OverLine - 1;
    // The smallest buffer that can hold the OVER line and the spare byte.
    constexpr int MinimumSize = OverLength + 2;
}

LineAssembler::LineAssembler(int size)
{
    SetSize(size);
}

void LineAssembler::SetSize(int size)
{
    if (size < MinimumSize)
        size = MinimumSize;
    if (size == size_)
        return;
    buffer_.reset();
    size_ = size;
    length_ = 0;
}

int LineAssembler::FindLineEnd() const
{
    const void* lf = std::memchr(buffer_.get(), '\n', static_cast<std::size_t>(length_));
    return lf ? static_cast<int>(static_cast<const char*>(lf) - buffer_.get()) : -1;
}

void LineAssembler::ReplaceWithOver()
{
    std::memcpy(buffer_.get(), OverLine, OverLength);
    length_ = OverLength;
}

void LineAssembler::Consume(int lineEnd)
{
    const int rest = length_ - (lineEnd + 1);
    if (rest > 0)
        std::memmove(buffer_.get(), buffer_.get() + lineEnd + 1, static_cast<std::size_t>(rest));
    length_ = rest;
}

} // namespace quill
