#pragma once
// The one rule for a whole number typed in a dialog or read from a settings file: blanks
// (spaces, tabs) around it, an optional + or -, decimal digits, and a value the target type
// can hold. Anything else is not a number.

#include <charconv>
#include <optional>
#include <string_view>
#include <system_error>

namespace tolmar {

template <class Int>
std::optional<Int> parseWholeNumber(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  // from_chars takes a leading minus but not a plus.
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return std::nullopt;
  }
  if (text.empty()) return std::nullopt;
  Int value{};
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

}  // namespace tolmar
