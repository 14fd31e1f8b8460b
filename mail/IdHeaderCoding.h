#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "HeaderCharset.h"

namespace murmel {

// The RFC 822 specials that a display name may not hold unencoded.
inline constexpr std::string_view kRfc822Specials = "\"(),.:;<>@[\\]";

// Header text with every run of words that need encoding as RFC 2047 encoded
// words (B or Q by the charset row), each word at most 75 columns.
std::string EncodeHeaderText(std::string_view text, std::string_view specials,
                             const THeaderCharset& charset);

inline constexpr int kFoldColumns = 78;  // header lines are folded beyond this column

// One header line ("Name: value") folded into lines of at most 78 columns where
// it has room to break (white space or ","; never inside double quotes).
// Continuation lines begin with a space or TAB.
std::vector<std::string> FoldHeaderLine(std::string_view line);

// Ordered header lines; continuation lines are entries of their own.
class TIdHeaderList {
  public:
    // Replaces the header of that name in place, or appends it; an empty value
    // removes it.
    void SetValue(std::string_view name, std::string_view value);
    std::string Value(std::string_view name) const;
    const std::vector<std::string>& Lines() const { return lines_; }
    void Append(const TIdHeaderList& other);

  private:
    size_t Find(std::string_view name) const;
    std::vector<std::string> lines_;
};

}  // namespace murmel
