// Fields of the program's own one-line records (the batch list, a job
// folder's journal): within a field '%', '|' and every control character are
// written as %XX, so that a path carries any byte exactly and a record stays
// one line whose fields split at a tab and whose lists split at '|'.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace job {

std::string Escape(std::string_view text);
// Nothing for a stray '%' or a byte that should have been escaped.
std::optional<std::string> Unescape(std::string_view text);
std::vector<std::string_view> Split(std::string_view text, char separator);
// A whole decimal number, nothing else.
template <typename Integer>
std::optional<Integer> Number(std::string_view text);

}  // namespace job
