#include "tests/support/bundled_dict.h"

#include <filesystem>
#include <regex>
#include <stdexcept>

#include "engine/text/tailo.h"
#include "tests/support/lexicon_rows.h"

namespace kov::test {

C_BundledDict::C_BundledDict() {
    const std::filesystem::path dir = std::filesystem::path(KOV_BINARY_DIR) / "dict";
    cats = std::make_unique<C_TailoCats>(dir / "cats.tab");
    db = std::make_unique<C_TailoDB>(dir / "tailo.tab", *cats, policy);
    if (!db->loaded())
        throw std::runtime_error("No bundled dictionary in " + dir.string() +
                                 " (build kov_default_dict first)");
    // The fifth field ("KipInput") holds the toned keys joined by "-".
    const std::regex toned("([a-z]+[1-9])(-[a-z]+[1-9])*");
    for (const C_LexiconRow& row : readLexiconRows())
        if (row.m_fields.size() > 4 && std::regex_match(row.m_fields[4], toned))
            words.push_back(split(row.m_fields[4], "-"));
}

const C_BundledDict& bundledDict() {
    static const C_BundledDict b;
    return b;
}

}  // namespace kov::test
