#pragma once
// A category table held in memory, for tests of code that only needs names and parents.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "engine/dict/tailo_db.h"

namespace kov::test {

class C_FakeCats : public I_TailoCats {
public:
    C_FakeCats& add(uint8_t cat, std::string name, uint8_t parent = 0) {
        m_cats[cat] = C_Cat{std::move(name), parent};
        return *this;
    }
    std::string_view catName(uint8_t cat) const override {
        const auto it = m_cats.find(cat);
        return it == m_cats.end() ? std::string_view() : std::string_view(it->second.name);
    }
    uint8_t parentCat(uint8_t cat) const override {
        const auto it = m_cats.find(cat);
        return it == m_cats.end() ? 0 : it->second.parent;
    }

private:
    struct C_Cat {
        std::string name;
        uint8_t parent = 0;
    };
    std::map<uint8_t, C_Cat> m_cats;
};

}  // namespace kov::test
