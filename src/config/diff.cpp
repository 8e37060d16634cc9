// Line comparison of the file on disk with the text a save would write.
#include "config/diff.h"

#include <algorithm>

#include <dtl/dtl.hpp>

namespace cvx::config {
namespace {

// Each line keeps its '\n', so a last line without one differs from the
// same text with one, as it does for patch(1).
std::vector<std::string_view> split_lines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t nl = text.find('\n', start);
        const std::size_t end = nl == std::string_view::npos ? text.size() : nl + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

struct Op {
    char kind;               // ' ' common, '-' only before, '+' only after
    std::string_view line;
};

// The shortest edit script, deletions before additions within a change.
std::vector<Op> edit_script(std::string_view before, std::string_view after)
{
    const std::vector<std::string_view> a = split_lines(before), b = split_lines(after);
    dtl::Diff<std::string_view, std::vector<std::string_view>> diff(a, b, true);
    diff.compose();
    std::vector<Op> ops;
    for (const auto& [line, info] : diff.getSes().getSequence()) {
        const char kind = info.type == dtl::SES_ADD ? '+' : info.type == dtl::SES_DELETE ? '-' : ' ';
        ops.push_back({kind, line});
    }
    return ops;
}

constexpr std::size_t kContext = 3;

void append_line(std::string& out, char kind, std::string_view line)
{
    out += kind;
    if (!line.empty() && line.back() == '\n') {
        out.append(line);
    } else {
        out.append(line);
        out += "\n\\ No newline at end of file\n";
    }
}

}  // namespace

std::vector<std::size_t> changed_lines(std::string_view before, std::string_view after)
{
    std::vector<std::size_t> out;
    std::size_t index = 0;
    for (const Op& op : edit_script(before, after)) {
        if (op.kind == '+')
            out.push_back(index);
        if (op.kind != '-')
            ++index;
    }
    return out;
}

std::string unified_diff(std::string_view before, std::string_view after, std::string_view from,
                         std::string_view to)
{
    if (before == after)
        return {};
    const std::vector<Op> ops = edit_script(before, after);
    std::string out;
    out.append("--- ").append(from).append("\n+++ ").append(to).append("\n");

    // Lines of each side consumed before op i.
    std::vector<std::size_t> old_at(ops.size() + 1, 0), new_at(ops.size() + 1, 0);
    for (std::size_t i = 0; i < ops.size(); ++i) {
        old_at[i + 1] = old_at[i] + (ops[i].kind != '+');
        new_at[i + 1] = new_at[i] + (ops[i].kind != '-');
    }

    std::size_t i = 0;
    while (i < ops.size()) {
        while (i < ops.size() && ops[i].kind == ' ')
            ++i;
        if (i == ops.size())
            break;
        // A hunk runs from three common lines before its first change to
        // three after its last; changes closer than twice that share it.
        const std::size_t begin = i >= kContext ? i - kContext : 0;
        std::size_t last = i;
        for (std::size_t j = i + 1; j < ops.size() && j <= last + 2 * kContext + 1; ++j)
            if (ops[j].kind != ' ')
                last = j;
        const std::size_t end = std::min(ops.size(), last + kContext + 1);

        const std::size_t old_count = old_at[end] - old_at[begin];
        const std::size_t new_count = new_at[end] - new_at[begin];
        // An empty side names the line before the hunk.
        const std::size_t old_start = old_count ? old_at[begin] + 1 : old_at[begin];
        const std::size_t new_start = new_count ? new_at[begin] + 1 : new_at[begin];
        out += "@@ -" + std::to_string(old_start) + "," + std::to_string(old_count) + " +" +
               std::to_string(new_start) + "," + std::to_string(new_count) + " @@\n";
        for (std::size_t k = begin; k < end; ++k)
            append_line(out, ops[k].kind, ops[k].line);
        i = end;
    }
    return out;
}

}  // namespace cvx::config
