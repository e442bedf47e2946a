// The gradient progress bar's geometry, free of any drawing library: how far
// the bar is filled, and the bands of colour (and where the background
// begins) that both the Qt bar and the native bar paint.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bvlui {

// One band along the bar, from `from` up to (not including) `to`, in the
// GDI colour reference `colour` (0x00BBGGRR). Across the bar a band covers
// the whole cross size.
struct GradientBand {
  int from = 0;
  int to = 0;
  std::uint32_t colour = 0;
};

struct GradientPlan {
  std::vector<GradientBand> bands;
  // Where the background colour begins along the bar; the bar's length when
  // the bands fill it all.
  int backgroundFrom = 0;
};

// Whether the bar shows no progress at all: the position is not above the
// lower bound or is above the upper bound. Such a bar is painted whole in the
// system's button face colour.
bool GradientIsEmpty(std::int32_t position, std::int32_t lower, std::int32_t upper);

// The filled extent: trunc(position / upper * length) in single precision
// (the lower bound is not subtracted).
int GradientFilledExtent(std::int32_t position, std::int32_t upper, int length);

// The bands along a bar of `length`: one band per step of the channel that
// changes most from `start` to `end`, drawn until the first band whose far
// edge passes `filled`; the background follows from that edge. Equal start
// and end colours give one band of the start colour up to `filled`.
GradientPlan PlanGradient(int length, int filled, std::uint32_t start, std::uint32_t end);

// The percentage text over the bar, "%3.0f %%" of the position between the
// bounds; empty when the bounds are equal.
std::wstring GradientPercentText(std::int32_t position, std::int32_t lower, std::int32_t upper);

}  // namespace bvlui
