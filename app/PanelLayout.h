#pragma once
// Geometry of the main window and its device panel, in pixels of the client
// area. Plain arithmetic, so it can be checked without a screen.
#include <cstdint>
#include <vector>

struct PanelPoint {
    int x;
    int y;
};

struct PanelRect {
    int left;
    int top;
    int width;
    int height;
};

inline constexpr int MAIN_WINDOW_WIDTH = 560;
inline constexpr int MAIN_WINDOW_HEIGHT = 296;

// The main window centred on the screen; the halving is an arithmetic shift,
// so a screen smaller than the window places it further up and left.
PanelRect mainWindowRect(int screenWidth, int screenHeight);

struct PanelLayout {
    int half = 0;          // width of either column
    int valueX = 0;        // left edge of the value column
    int boxX = 0;          // the grid line between the columns
    PanelRect labelClip{};
    PanelRect valueClip{};
    PanelRect tint{};      // the rectangle tinted grey
    // Closed outlines drawn with the black pen, in drawing order: two boxes
    // per row from the last row to the first, then the frame round the table.
    std::vector<std::vector<PanelPoint>> outlines;
};

PanelLayout panelLayout(int clientWidth, int clientHeight, int rows);

// Top of row i: the label and the value are drawn there.
inline int panelRowTop(int row) { return 8 + 20 * row; }

// The grey tint of one pixel (0xRRGGBB): NOT(p XOR RGB(240, 240, 240)).
inline uint32_t tintPixel(uint32_t rgb) { return ~(rgb ^ 0xF0F0F0u) & 0xFFFFFFu; }

// Tints a rectangle of a 32-bit pixel buffer (0xAARRGGBB, alpha kept),
// clipped to the buffer.
void tintPixels(uint32_t* pixels, int width, int height, int stridePixels, const PanelRect& rect);
