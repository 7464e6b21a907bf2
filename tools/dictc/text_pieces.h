#pragma once
// Small text helpers shared by the readers of the dictionary compiler's inputs.

#include <string>
#include <string_view>
#include <vector>

namespace kov::dictc {

// s without blanks, tabs and carriage returns at either end.
inline std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// s without a leading UTF-8 byte-order mark.
inline std::string_view stripBom(std::string_view s) {
    if (s.substr(0, 3) == "\xEF\xBB\xBF")
        s.remove_prefix(3);
    return s;
}

// The pieces of s between separators, empty ones included.
inline std::vector<std::string_view> splitOn(std::string_view s, char sep) {
    std::vector<std::string_view> out;
    size_t start = 0;
    for (;;) {
        const size_t end = s.find(sep, start);
        out.push_back(
            s.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos)
            return out;
        start = end + 1;
    }
}

// The non-empty trimmed pieces of s between separators.
inline std::vector<std::string> forms(std::string_view s, char sep) {
    std::vector<std::string> out;
    for (std::string_view f : splitOn(s, sep))
        if (auto t = trim(f); !t.empty())
            out.emplace_back(t);
    return out;
}

}  // namespace kov::dictc
