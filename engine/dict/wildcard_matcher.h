#pragma once
// Matching dictionary keys against the items of a wildcard island without a regular
// expression. An item's piece is made of letters and digits taken as they are, "?" (one rime
// letter), "*" (one or more rime letters) and "0" (any digit); see buildWildcardItems. The
// matcher gives the answers that the island's regular expressions would give ("^" and the
// pieces, later items optional and nested), tried in the same order: a star takes as many
// letters as it can, an optional item is taken when it can be.
//
// Cheap to build (it refers to the island's items, which must outlive it); matching allocates
// nothing for the usual patterns.
// Not responsible for: which keys to try, or what a match means for a candidate.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dict/isle.h"

namespace kov {

class C_WildcardMatcher {
public:
    // The items [from, to) of an island (to is cut to the number of items). Nested: item
    // `from` is required and each later one optional inside the one before; else every item
    // is required, one after the other.
    C_WildcardMatcher(std::span<const C_IsleItem> items, size_t from, size_t to, bool nested);

    struct C_Match {
        size_t length = 0;  // keys taken from the start of the text
        size_t groups = 1;  // 1 + the optional items taken (always 1 when not nested)
        bool operator==(const C_Match&) const = default;
    };
    // The first match at the start of text, in the order a regular expression tries them.
    // *seen is set to one past the last character the answer depends on (text.size() + 1 when
    // it depends on where the text ends): every text that shares those characters gets the
    // same answer.
    std::optional<C_Match> matchPrefix(std::string_view text, size_t* seen = nullptr) const;
    // True when the items (as nested: any number of the optional ones) and then at most one
    // digit take the whole text.
    bool matchWhole(std::string_view text) const;

private:
    std::span<const C_IsleItem> m_span;  // the items [from, to); the island outlives the matcher
    bool m_nested;
    // Not nested: the elements of all items in one list (a letter or digit stands for itself,
    // '?' one rime letter, '*' one or more, '0' a digit).
    std::optional<std::string> m_flat;
    // Nested: the elements of the first item, which every match reads.
    std::string m_firstElements;
};

}  // namespace kov
