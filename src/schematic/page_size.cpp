#include "schematic/page_size.h"

namespace zephyrim {

namespace {

constexpr PageSize kPageSizes[kPageSizeCount] = {
    {"Size: A", 1600, 1200, 1.0},   {"Size: AP", 1200, 1600, 1.0}, {"Size: B", 2560, 1440, 1.6},
    {"Size: C", 3200, 2400, 2.0},   {"Size: D", 5120, 3200, 3.2},  {"Size: E", 6720, 5120, 4.2},
    {"Size: LGL", 2000, 1200, 1.0}, {"Size: BP", 1440, 2560, 1.6},
};

}  // namespace

const PageSize& page_size(int32_t code) {
  return code >= 0 && code < kPageSizeCount ? kPageSizes[code] : kPageSizes[0];
}

const PageSize& page_size_apply(Page& page) {
  const PageSize& size = page_size(page.settings.sheet_size);
  page.title.size.assign(size.text);
  return size;
}

double zoom_factor(int32_t code) {
  // The listed codes divide 400 %: code 5 is 80 %, code 32 shows as 12 %.
  switch (code) {
    case kZoom400:
    case kZoom200:
    case kZoom100:
    case kZoom80:
    case kZoom50:
    case kZoom25:
    case kZoom16:
    case kZoom12:
      return 4.0 / code;
    case kZoomFit:
      return 0.0;
    default:
      return 1.0;
  }
}

}  // namespace zephyrim
