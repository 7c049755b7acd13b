// The main window's placement: where it starts, and how a stored placement is
// made to fit the screen before it is applied.
#pragma once

#include <QSize>

namespace quill {

struct TWindowPlacement {
    int top = 147;
    int left = -400; // off the screen until the placement is applied
    int width = 400;
    int height = 348;

    bool operator==(const TWindowPlacement&) const = default;
};

// The smallest width, and the height a stored height must exceed.
inline constexpr int MinWindowWidth = 400;
inline constexpr int MinWindowHeight = 400;

// Negative left and top become 0; the width is at least 400 and a height of
// 400 or less becomes 400; then the window is moved back onto a screen of the
// given size when it sticks out to the right or at the bottom. A window larger
// than the screen ends up with a negative left or top.
TWindowPlacement ClampPlacement(TWindowPlacement placement, QSize screen);

} // namespace quill
