#include "disclib/vcd/CaptionLayout.h"

#include <algorithm>

#include "platform/base/Text.h"

namespace vexa::vcd {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && IsSpace(text[at])) ++at;
    const std::size_t start = at;
    while (at < text.size() && !IsSpace(text[at])) ++at;
    if (at > start) words.emplace_back(text.substr(start, at - start));
  }
  return words;
}

std::string Join(const std::vector<std::string>& words, std::size_t from, std::size_t to) {
  std::string s;
  for (std::size_t i = from; i < to; ++i) {
    if (i > from) s += ' ';
    s += words[i];
  }
  return s;
}

struct Measured {
  std::int32_t width = 0, height = 0;
};

}  // namespace

VCDFrameArea VCDTitleSafeArea(std::int32_t width, std::int32_t height) {
  const std::int32_t dx = width / 10, dy = height / 10;
  return {dx, dy, width - dx, height - dy};
}

std::vector<VCDCaptionLine> VCDLayOutCaption(std::string_view caption, std::int32_t x, std::int32_t y,
                                             std::int32_t width, std::int32_t height,
                                             const VCDCaptionMeasure& measure) {
  const VCDFrameArea safe = VCDTitleSafeArea(width, height);
  const std::int32_t room = safe.right - safe.left;
  const std::vector<std::string> words = Words(caption);
  if (words.empty() || room <= 0 || !measure) return {};

  bool measured = true;
  auto size = [&](const std::string& text) {
    Measured m;
    if (!measure(text, &m.width, &m.height)) measured = false;
    return m;
  };
  auto fits = [&](const std::string& text) { return size(text).width <= room; };
  // The longest start of the text that fits with the ellipsis after it, cut
  // between characters (a word longer than the line has no better place).
  auto cutToFit = [&](const std::string& text) {
    std::size_t chars = base::Utf8Length(text);
    while (chars > 0) {
      const std::string cut = base::Utf8CutChars(text, --chars) + kVCDCaptionEllipsis;
      if (fits(cut) || chars == 0) return cut;
    }
    return std::string(kVCDCaptionEllipsis);
  };

  // As many lines as the safe area's height holds, at most two.
  const std::int32_t lineHeight = std::max<std::int32_t>(1, size(Join(words, 0, words.size())).height);
  const int maxLines = std::clamp<int>((safe.bottom - safe.top) / lineHeight, 1, kVCDCaptionMaxLines);

  std::vector<std::string> lines;
  std::size_t next = 0;
  while (next < words.size() && static_cast<int>(lines.size()) < maxLines) {
    const std::size_t first = next++;
    if (!fits(words[first])) {
      // One word wider than the line: it ends the caption.
      lines.push_back(cutToFit(words[first]));
      break;
    }
    while (next < words.size() && fits(Join(words, first, next + 1))) ++next;
    lines.push_back(Join(words, first, next));
    if (next < words.size() && static_cast<int>(lines.size()) == maxLines) {
      // Words are left over: the last line gives up words at its end until
      // it has room for the ellipsis.
      std::size_t end = next;
      while (end > first + 1 && !fits(Join(words, first, end) + kVCDCaptionEllipsis)) --end;
      const std::string kept = Join(words, first, end);
      lines.back() = fits(kept + kVCDCaptionEllipsis) ? kept + kVCDCaptionEllipsis : cutToFit(kept);
    }
  }

  std::vector<VCDCaptionLine> out;
  std::int32_t blockWidth = 0, blockHeight = 0;
  std::vector<Measured> sizes;
  for (const std::string& line : lines) {
    sizes.push_back(size(line));
    blockWidth = std::max(blockWidth, sizes.back().width);
    blockHeight += sizes.back().height;
  }
  if (!measured) return {};
  // Where it was asked for, moved in just far enough to stay in the safe area.
  const std::int32_t left = std::max(safe.left, std::min(x, safe.right - blockWidth));
  std::int32_t top = std::max(safe.top, std::min(y, safe.bottom - blockHeight));
  for (std::size_t i = 0; i < lines.size(); ++i) {
    out.push_back({lines[i], left, top});
    top += sizes[i].height;
  }
  return out;
}

}  // namespace vexa::vcd
