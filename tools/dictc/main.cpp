// kelvaro-dictc: compiles word lists into "tailo.tab" and "cats.tab".
//
//   kelvaro-dictc [--lexicon FILE]... [--tsv FILE]... (--out-dir DIR | --tailo FILE --cats FILE)
//                 [--report FILE]
//
// Bad rows are reported on standard error (or in the report file) as "<file>:<line>: <message>" and skipped. The exit
// code is 0 when both files were written, 1 when an input cannot be read, nothing was filed,
// or a file cannot be written, and 2 for a bad command line.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/dictc/dict_compiler.h"

namespace {

int usage() {
    std::cerr << "usage: kelvaro-dictc [--lexicon FILE]... [--tsv FILE]... "
                 "(--out-dir DIR | --tailo FILE --cats FILE) [--report FILE]\n";
    return 2;
}

bool readWhole(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    out = ss.str();
    return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::pair<bool, std::string>> inputs;  // (is lexicon, path)
    std::string outDir, tailoPath, catsPath, reportPath;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc) return usage();
        const std::string v = argv[++i];
        if (a == "--lexicon") inputs.emplace_back(true, v);
        else if (a == "--tsv") inputs.emplace_back(false, v);
        else if (a == "--out-dir") outDir = v;
        else if (a == "--tailo") tailoPath = v;
        else if (a == "--cats") catsPath = v;
        else if (a == "--report") reportPath = v;
        else return usage();
    }
    if (inputs.empty()) return usage();
    if (!outDir.empty()) {
        if (!tailoPath.empty() || !catsPath.empty()) return usage();
        tailoPath = (std::filesystem::path(outDir) / "tailo.tab").string();
        catsPath = (std::filesystem::path(outDir) / "cats.tab").string();
    }
    if (tailoPath.empty() || catsPath.empty()) return usage();

    kov::dictc::C_DictCompiler compiler;
    size_t filed = 0;
    for (const auto& [lexicon, path] : inputs) {
        std::string text;
        if (!readWhole(path, text)) {
            std::cerr << "kelvaro-dictc: cannot read " << path << "\n";
            return 1;
        }
        filed += lexicon ? compiler.addLexiconCsv(text, path) : compiler.addTsv(text, path);
    }
    std::ofstream reportFile;
    if (!reportPath.empty()) reportFile.open(reportPath, std::ios::binary | std::ios::trunc);
    std::ostream& report = reportFile.is_open() ? static_cast<std::ostream&>(reportFile) : std::cerr;
    for (const auto& r : compiler.reports()) report << r.text() << "\n";
    if (filed == 0) {
        std::cerr << "kelvaro-dictc: no word to write\n";
        return 1;
    }
    if (!outDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(outDir, ec);
    }
    if (auto e = compiler.writeFiles(tailoPath, catsPath); !e.empty()) {
        std::cerr << "kelvaro-dictc: " << e << "\n";
        return 1;
    }
    const auto& w = compiler.writer();
    report << "kelvaro-dictc: " << filed << " words filed (" << w.entryCount(kov::E_TailoSection::TONED)
              << " toned keys, " << w.entryCount(kov::E_TailoSection::EXACT) << " exact keys, "
              << w.entryCount(kov::E_TailoSection::KARR) << " key arrays, " << w.hanCount() << " Han words), "
              << compiler.reports().size() << " rows reported\n";
    return 0;
}
