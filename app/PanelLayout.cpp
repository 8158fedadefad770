#include "app/PanelLayout.h"

#include <algorithm>

PanelRect mainWindowRect(int screenWidth, int screenHeight) {
    // The shift halves towards minus infinity, as the window was always placed.
    return {(screenWidth - MAIN_WINDOW_WIDTH) >> 1, (screenHeight - MAIN_WINDOW_HEIGHT) >> 1,
            MAIN_WINDOW_WIDTH, MAIN_WINDOW_HEIGHT};
}

PanelLayout panelLayout(int clientWidth, int clientHeight, int rows) {
    PanelLayout layout;
    const int w = clientWidth;
    layout.half = (w - 24) >> 1;
    layout.valueX = layout.half + 16;
    layout.boxX = layout.half + 12;
    layout.labelClip = {8, 0, layout.half, clientHeight};
    layout.valueClip = {layout.valueX, 0, layout.half, clientHeight};
    layout.tint = {4, 8, w - 8, 20 * rows};

    for (int i = rows - 1; i >= 0; --i) {
        const int top = panelRowTop(i);
        const int bottom = top + 20;
        const int boxX = layout.boxX;
        layout.outlines.push_back({{4, bottom}, {boxX, bottom}, {boxX, top}, {4, top}, {4, bottom}});
        layout.outlines.push_back(
            {{boxX, bottom}, {w - 4, bottom}, {w - 4, top}, {boxX, top}, {boxX, bottom}});
    }
    const int frameBottom = 20 * rows + 10;
    layout.outlines.push_back({{2, 6}, {w - 2, 6}, {w - 2, frameBottom}, {2, frameBottom}, {2, 6}});
    return layout;
}

void tintPixels(uint32_t* pixels, int width, int height, int stridePixels, const PanelRect& rect) {
    const int x0 = std::max(rect.left, 0);
    const int y0 = std::max(rect.top, 0);
    const int x1 = std::min(rect.left + rect.width, width);
    const int y1 = std::min(rect.top + rect.height, height);
    for (int y = y0; y < y1; ++y) {
        uint32_t* row = pixels + static_cast<long>(y) * stridePixels;
        for (int x = x0; x < x1; ++x) {
            row[x] = (row[x] & 0xFF000000u) | tintPixel(row[x] & 0xFFFFFFu);
        }
    }
}
