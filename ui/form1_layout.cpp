#include "ui/form1_layout.h"

namespace orlo {

int twipsToPixels(int twips, int dpi) {
  constexpr int kTwipsPerInch = 1440;
  // Every layout value is zero or positive, so adding half an inch rounds half up.
  const long long scaled = static_cast<long long>(twips) * dpi + kTwipsPerInch / 2;
  return static_cast<int>(scaled / kTwipsPerInch);
}

PixelRect pixelRect(const TwipsRect& rect, int dpiX, int dpiY) {
  const int left = twipsToPixels(rect.left, dpiX);
  const int top = twipsToPixels(rect.top, dpiY);
  const int right = twipsToPixels(rect.left + rect.width, dpiX);
  const int bottom = twipsToPixels(rect.top + rect.height, dpiY);
  return {left, top, right - left, bottom - top};
}

}  // namespace orlo
