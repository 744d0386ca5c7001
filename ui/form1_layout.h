#pragma once

namespace orlo {

// The monitor window's layout, all in twips (1/1440 inch; 15 twips per pixel at 96 dpi).
// Left and Top are relative to the client area. Every position and size of the window and its
// controls comes from this file and is converted at the window's logical DPI.

struct TwipsRect {
  int left;
  int top;
  int width;
  int height;
};

struct PixelRect {
  int left;
  int top;
  int width;
  int height;
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

namespace layout {

inline constexpr int kClientWidth = 2805;
inline constexpr int kCreationClientHeight = 825;
inline constexpr int kCollapsedClientHeight = 840;
inline constexpr int kExpandedClientHeight = 5145;

inline constexpr TwipsRect kCommand1{1920, 120, 735, 255};
inline constexpr TwipsRect kCommand2{1920, 480, 735, 255};
inline constexpr TwipsRect kLabel1{120, 840, 1215, 255};
inline constexpr TwipsRect kTijd{1200, 840, 675, 285};
inline constexpr TwipsRect kLabel2{1920, 840, 615, 255};
inline constexpr TwipsRect kCheck2{120, 4800, 2535, 255};

// The captions are in the classic 8 point dialog font; in a larger one "minutes" would not fit
// into Label2.
inline constexpr int kCaptionPointSize = 8;

inline constexpr int kSlotRowTop = 1200;
inline constexpr int kSlotRowPitch = 360;

constexpr TwipsRect text1(int slot) {
  return {720, kSlotRowTop + kSlotRowPitch * slot, 2000, 285};
}

// The enable boxes carry their caption left of the box and all end at 615 twips; the "10." box
// starts further left and is wider so that its box lines up with the others.
constexpr TwipsRect check1(int slot) {
  if (slot == 9) {
    return {0, 4440, 615, 255};
  }
  return {120, kSlotRowTop + kSlotRowPitch * slot, 495, 255};
}

// Two rows of five lamps: slots 0 to 4 above, 5 to 9 below.
constexpr TwipsRect shape1(int slot) {
  return {120 + 360 * (slot % 5), 120 + 360 * (slot / 5), 255, 255};
}

}  // namespace layout

// Twips (zero or more) to pixels at a logical DPI, rounding half up. Rectangles convert their
// edges, not their sizes, so that neighbouring controls keep their distances at any DPI.
int twipsToPixels(int twips, int dpi);
PixelRect pixelRect(const TwipsRect& rect, int dpiX, int dpiY);

}  // namespace orlo
