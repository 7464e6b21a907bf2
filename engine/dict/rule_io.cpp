#include "engine/dict/rule_io.h"

#include <iterator>
#include <stdexcept>

namespace kov {

void writeRuleRecord(std::string& out, const C_Rule& rule, C_UsageStamp stamp) {
    qiv::putU32(out, stamp.count);
    qiv::putU32(out, stamp.time);
    for (const C_RuleElem& e : rule) {
        const size_t kind = e.pattern.index();
        if (kind > RULE_CAT)
            throw std::logic_error("Unknown C_RulePat index: " + std::to_string(kind));
        const bool weighted = !(e.weight == 0);  // a NaN is written
        qiv::putU8(out, static_cast<uint8_t>(kind | (weighted ? rule_layout::kWeightFlag : 0)));
        if (const auto* w = std::get_if<C_WordPat>(&e.pattern)) {
            qiv::putU16(out, w->count);
            qiv::putCString(out, w->text);
            for (const std::string& k : w->keys)
                qiv::putCString(out, k);
            qiv::putU8(out, 0);
        } else if (const auto* c = std::get_if<C_CatPat>(&e.pattern)) {
            qiv::putU8(out, c->cat);
            qiv::putU8(out, 0);
            qiv::putU16(out, c->min);
            qiv::putU16(out, c->max);
        }
        if (weighted)
            qiv::putF32(out, e.weight);
    }
    qiv::putU8(out, rule_layout::kEndMark);
}

E_RuleRead readRuleRecord(qiv::C_ByteCursor& in, const std::map<uint8_t, uint8_t>& categoryMap,
                          C_Rule& rule, C_UsageStamp& stamp, std::string& cause) {
    rule.clear();
    bool dropped = false;
    const auto damaged = [&cause](std::string text) {
        cause = std::move(text);
        return E_RuleRead::DAMAGED;
    };
    if (!in.readU32(stamp.count) || !in.readU32(stamp.time))
        return damaged("usage stamp cut short");
    for (;;) {
        uint8_t flags = 0;
        if (!in.readU8(flags) ||
            flags == rule_layout::kEndMark)  // the end of the section ends the rule too
            return dropped ? E_RuleRead::DROPPED : E_RuleRead::OK;
        C_RuleElem e;
        switch (const unsigned kind = flags & rule_layout::kKindMask) {
            case RULE_GAP:
                break;
            case RULE_WORD: {
                C_WordPat w;
                std::string_view text;
                if (!in.readU16(w.count) || !in.readCString(text))
                    return damaged("word element cut short");
                w.text = std::string(text);
                // Keys up to an empty one; at the end of the section the complete keys stay and a
                // key cut before its NUL is dropped.
                for (std::string_view k; !in.atEnd();) {
                    if (!in.readCString(k)) {
                        in.seek(in.size());
                        break;
                    }
                    if (k.empty())
                        break;
                    w.keys.emplace_back(k);
                }
                e.pattern = std::move(w);
                break;
            }
            case RULE_CAT: {
                C_CatPat c;
                uint8_t stored = 0, pad = 0;
                if (!in.readU8(stored) || !in.readU8(pad) || !in.readU16(c.min) ||
                    !in.readU16(c.max))
                    return damaged("category element cut short");
                const auto mapped = categoryMap.find(stored);
                if (mapped == categoryMap.end())
                    return damaged("category " + std::to_string(stored) +
                                   " that the file does not name");
                dropped = dropped || mapped->second == 0;
                c.cat = mapped->second;
                e.pattern = c;
                break;
            }
            default:
                return damaged("unknown element kind " + std::to_string(kind));
        }
        if (flags & rule_layout::kWeightFlag) {
            if (!in.readF32(e.weight))
                return damaged("weight cut short");
        }
        rule.push_back(std::move(e));
    }
}

void C_RuleTable::write(std::string& out) const {
    for (const auto& [key, entry] : m_rules)
        writeRuleRecord(out, *entry.rule, entry.stamp);
}

void C_RuleTable::write(std::ostream& out) const {
    std::string bytes;
    write(bytes);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

qiv::C_FileError C_RuleTable::read(qiv::C_ByteCursor& in, size_t n,
                                   const std::map<uint8_t, uint8_t>& categoryMap, size_t* dropped) {
    const auto damaged = [n](size_t i, const std::string& cause) {
        return qiv::C_FileError(
            qiv::E_FileError::DAMAGED,
            "Failed to read rule " + std::to_string(i) + "/" + std::to_string(n) + ": " + cause);
    };
    for (size_t i = 0; i < n; ++i) {
        auto rule = std::make_shared<C_Rule>();
        C_UsageStamp stamp;
        std::string cause;
        const E_RuleRead r = readRuleRecord(in, categoryMap, *rule, stamp, cause);
        if (r == E_RuleRead::DAMAGED)
            return damaged(i, cause);
        if (r == E_RuleRead::DROPPED) {
            if (dropped)
                ++*dropped;
            continue;
        }
        // A repeated key keeps the rule read first; the key is tested before indexing so that
        // the dropped rule leaves nothing in the index.
        const std::string key = ruleKey(*rule);
        if (m_rules.count(key))
            continue;
        if (!indexAndStore_(key, std::move(rule), stamp))
            return damaged(i, "no word or category element");
    }
    return {};
}

qiv::C_FileError C_RuleTable::read(std::istream& in, size_t n,
                                   const std::map<uint8_t, uint8_t>& categoryMap, size_t* dropped) {
    // The rules section runs to the end of the file; take the rest of the stream and parse it
    // with a bounded cursor.
    const std::istream::pos_type start = in.tellg();
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    qiv::C_ByteCursor cursor(bytes);
    qiv::C_FileError error = read(cursor, n, categoryMap, dropped);
    if (start != std::istream::pos_type(-1)) {
        in.clear();
        in.seekg(start + static_cast<std::streamoff>(cursor.pos()));
    }
    return error;
}

}  // namespace kov
