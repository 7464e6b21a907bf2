#include "tests/support/lexicon_rows.h"

#include <fstream>

namespace kov::test {

std::string lexiconPath() {
    return KOV_SOURCE_DIR "/data/itaigi-lexicon.csv";
}

std::vector<C_LexiconRow> readLexiconRows() {
    std::vector<C_LexiconRow> rows;
    std::ifstream in(lexiconPath(), std::ios::binary);
    if (!in.is_open())
        return rows;
    std::string line;
    while (std::getline(in, line)) {
        if (rows.empty() && line.rfind("\xEF\xBB\xBF", 0) == 0)
            line.erase(0, 3);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<std::string> fields = parseCsvLine(line);
        rows.push_back({std::move(line), std::move(fields)});
    }
    return rows;
}

std::vector<std::string> parseCsvLine(std::string_view line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c != '"')
                fields.back() += c;
            else if (i + 1 < line.size() && line[i + 1] == '"')
                fields.back() += line[++i];
            else
                quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

}  // namespace kov::test
