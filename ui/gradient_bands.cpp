// The band computation of the gradient progress bar.
#include "ui/gradient_bands.h"

#include <algorithm>
#include <cstdlib>
#include <cwchar>

namespace bvlui {

namespace {
int Red(std::uint32_t colour) { return colour & 0xFF; }
int Green(std::uint32_t colour) { return (colour >> 8) & 0xFF; }
int Blue(std::uint32_t colour) { return (colour >> 16) & 0xFF; }
std::uint32_t Rgb(int r, int g, int b) {
  return static_cast<std::uint32_t>(r & 0xFF) | (static_cast<std::uint32_t>(g & 0xFF) << 8) |
         (static_cast<std::uint32_t>(b & 0xFF) << 16);
}
}  // namespace

bool GradientIsEmpty(std::int32_t position, std::int32_t lower, std::int32_t upper) {
  return position <= lower || position > upper;
}

int GradientFilledExtent(std::int32_t position, std::int32_t upper, int length) {
  if (upper == 0) return length;
  return static_cast<int>(static_cast<float>(position) / static_cast<float>(upper) * static_cast<float>(length));
}

GradientPlan PlanGradient(int length, int filled, std::uint32_t start, std::uint32_t end) {
  GradientPlan plan;
  const int r0 = Red(start), g0 = Green(start), b0 = Blue(start);
  const int dR = Red(end) - r0, dG = Green(end) - g0, dB = Blue(end) - b0;
  const int count = std::max({std::abs(dR), std::abs(dG), std::abs(dB)});
  if (count == 0) {
    // Nothing to run towards: the filled part in the start colour alone.
    const int to = std::clamp(filled, 0, length);
    if (to > 0) plan.bands.push_back(GradientBand{0, to, start});
    plan.backgroundFrom = to;
    return plan;
  }
  const float thickness = static_cast<float>(length) / static_cast<float>(count);
  const float sR = static_cast<float>(dR) / count, sG = static_cast<float>(dG) / count,
              sB = static_cast<float>(dB) / count;
  plan.backgroundFrom = length;
  for (int i = 0; i < count; ++i) {
    GradientBand band;
    band.from = static_cast<int>(static_cast<float>(i) * thickness);
    band.to = static_cast<int>(static_cast<float>(i + 1) * thickness);
    band.colour = Rgb(static_cast<int>(static_cast<float>(r0) + i * sR), static_cast<int>(static_cast<float>(g0) + i * sG),
                      static_cast<int>(static_cast<float>(b0) + i * sB));
    plan.bands.push_back(band);
    if (band.to > filled) {
      plan.backgroundFrom = band.to;
      break;
    }
  }
  return plan;
}

std::wstring GradientPercentText(std::int32_t position, std::int32_t lower, std::int32_t upper) {
  if (upper == lower) return std::wstring();
  const double percent = static_cast<double>(position - lower) * 100.0 / (upper - lower);
  wchar_t text[32];
  std::swprintf(text, sizeof text / sizeof text[0], L"%3.0f %%", percent);
  return text;
}

}  // namespace bvlui
