// kelvaro-dictc: compiles word lists into "tailo.tab" and "cats.tab".
//
//   kelvaro-dictc [--lexicon FILE]... [--corpus HAN_FILE TAILO_FILE]... [--tsv FILE]...
//                 (--out-dir DIR | --tailo FILE --cats FILE) [--report FILE] [--without-tuning]
//
// A corpus is counted over the sentences it does not hold out for the quality report
// (tools/dictc/corpus.h); --without-tuning leaves out its tuning sentences as well, for a
// dictionary that the quality report measures on them (bench/dict_quality.cpp --part tuning). Bad
// rows are reported on standard error (or in the report file) as
// "<file>:<line>: <message>" and skipped. The exit code is 0 when both files were written, 1
// when an input cannot be read, nothing was filed, or a file cannot be written, and 2 for a bad
// command line.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/dictc/dict_compiler.h"

namespace {

int usage() {
    std::cerr << "usage: kelvaro-dictc [--lexicon FILE]... [--corpus HAN_FILE TAILO_FILE]... "
                 "[--tsv FILE]... "
                 "(--out-dir DIR | --tailo FILE --cats FILE) [--report FILE] [--without-tuning]\n";
    return 2;
}

bool readWhole(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    out = ss.str();
    return !in.bad();
}

enum E_Input { IN_LEXICON, IN_TSV, IN_CORPUS };

struct C_Input {
    E_Input m_kind;
    std::string m_path, m_second;
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<C_Input> inputs;
    std::string outDir, tailoPath, catsPath, reportPath;
    kov::dictc::E_CorpusPart corpusPart = kov::dictc::E_CorpusPart::TRAINING;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--without-tuning") {
            corpusPart = kov::dictc::E_CorpusPart::TRAINING_WITHOUT_TUNING;
            continue;
        }
        if (i + 1 >= argc)
            return usage();
        const std::string v = argv[++i];
        if (a == "--lexicon")
            inputs.push_back({IN_LEXICON, v, {}});
        else if (a == "--tsv")
            inputs.push_back({IN_TSV, v, {}});
        else if (a == "--corpus" && i + 1 < argc)
            inputs.push_back({IN_CORPUS, v, argv[++i]});
        else if (a == "--out-dir")
            outDir = v;
        else if (a == "--tailo")
            tailoPath = v;
        else if (a == "--cats")
            catsPath = v;
        else if (a == "--report")
            reportPath = v;
        else
            return usage();
    }
    if (inputs.empty())
        return usage();
    if (!outDir.empty()) {
        if (!tailoPath.empty() || !catsPath.empty())
            return usage();
        tailoPath = (std::filesystem::path(outDir) / "tailo.tab").string();
        catsPath = (std::filesystem::path(outDir) / "cats.tab").string();
    }
    if (tailoPath.empty() || catsPath.empty())
        return usage();

    kov::dictc::C_DictCompiler compiler;
    std::vector<std::string> summaries;
    for (const C_Input& in : inputs) {
        std::string text, second;
        for (const std::string* path : {&in.m_path, &in.m_second}) {
            if (path->empty())
                continue;
            if (!readWhole(*path, path == &in.m_path ? text : second)) {
                std::cerr << "kelvaro-dictc: cannot read " << *path << "\n";
                return 1;
            }
        }
        switch (in.m_kind) {
            case IN_LEXICON:
                summaries.push_back(in.m_path + ": " +
                                    std::to_string(compiler.addLexiconCsv(text, in.m_path)) +
                                    " words");
                break;
            case IN_TSV:
                summaries.push_back(in.m_path + ": " +
                                    std::to_string(compiler.addTsv(text, in.m_path)) + " words");
                break;
            case IN_CORPUS: {
                const auto sum = compiler.addCorpus(text, second, in.m_second, corpusPart);
                summaries.push_back(in.m_path + ", " + in.m_second + ": " +
                                    std::to_string(sum.m_sentences) + " sentences counted, " +
                                    std::to_string(sum.m_words) + " words, " +
                                    std::to_string(sum.m_otherWords) + " other words left out");
                break;
            }
        }
    }
    std::ofstream reportFile;
    if (!reportPath.empty())
        reportFile.open(reportPath, std::ios::binary | std::ios::trunc);
    std::ostream& report =
        reportFile.is_open() ? static_cast<std::ostream&>(reportFile) : std::cerr;
    for (const auto& r : compiler.reports())
        report << r.text() << "\n";
    if (compiler.wordCount() == 0) {
        std::cerr << "kelvaro-dictc: no word to write\n";
        return 1;
    }
    if (!outDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(outDir, ec);
    }
    std::string bytes;
    const kov::C_TailoWriter w = compiler.build();
    if (const qiv::C_FileError e = w.bytes(bytes); !e.ok()) {
        std::cerr << "kelvaro-dictc: " << e.text << "\n";
        return 1;
    }
    if (const qiv::C_FileError e =
            kov::dictc::writeDictionaryPair(tailoPath, bytes, catsPath, compiler.catsBytes());
        !e.ok()) {
        std::cerr << "kelvaro-dictc: " << e.text << "\n";
        return 1;
    }
    for (const std::string& s : summaries)
        report << "kelvaro-dictc: " << s << "\n";
    report << "kelvaro-dictc: " << compiler.wordCount() << " words filed ("
           << w.entryCount(kov::E_TailoSection::TONED) << " toned keys, "
           << w.entryCount(kov::E_TailoSection::EXACT) << " exact keys, "
           << w.entryCount(kov::E_TailoSection::KARR) << " key arrays, " << w.hanCount()
           << " Han words), " << compiler.reports().size() << " rows reported\n";
    return 0;
}
