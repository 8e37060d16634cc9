// What a save would change: the file as it stands against the text that
// would be written, line by line. The edit script comes from the Diff
// Template Library; the command line prints it as a unified diff and the
// preview window highlights the new side's added and changed lines.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace cvx::config {

// Lines of `after` (0-based, split at '\n') that are not in `before`'s
// longest common subsequence: the lines a save adds or changes.
std::vector<std::size_t> changed_lines(std::string_view before, std::string_view after);

// A unified diff ("--- from", "+++ to", hunks with three lines of context,
// "\ No newline at end of file" where a side ends without one) that patch(1)
// applies to `before` to give `after`. Empty when the texts are equal.
std::string unified_diff(std::string_view before, std::string_view after, std::string_view from,
                         std::string_view to);

}  // namespace cvx::config
