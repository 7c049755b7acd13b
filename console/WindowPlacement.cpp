#include "WindowPlacement.h"

#include <cstdint>

namespace quill {

TWindowPlacement ClampPlacement(TWindowPlacement p, QSize screen)
{
    if (p.left < 0)
        p.left = 0;
    if (p.top < 0)
        p.top = 0;
    if (p.width < MinWindowWidth)
        p.width = MinWindowWidth;
    if (p.height <= MinWindowHeight)
        p.height = MinWindowHeight;
    // In 64 bits: stored values may be anything up to the 32-bit limits.
    if (std::int64_t(p.left) + p.width > screen.width())
        p.left = screen.width() - p.width;
    if (std::int64_t(p.top) + p.height > screen.height())
        p.top = screen.height() - p.height;
    return p;
}

} // namespace quill
