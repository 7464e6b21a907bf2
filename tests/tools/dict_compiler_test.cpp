// The dictionary compiler: CSV parsing, the reports of bad rows, the tab-separated form, and a
// compile of the whole lexicon whose words are then found through the system dictionary by full
// keys, by keys without tone digits and by initials.

#include "tools/dictc/dict_compiler.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "engine/compose/input_line.h"
#include "engine/dict/system_dict.h"
#include "engine/text/tailo.h"
#include "fixtures/tailo_fixture.h"

namespace kov::dictc {
namespace {

using test::C_TypedLine;

// Compiles with c, loads the result and keeps both alive.
class C_Compiled {
public:
    explicit C_Compiled(const C_DictCompiler& c) {
        const auto tailo = m_folder.path() / "tailo.tab";
        const auto cats = m_folder.path() / "cats.tab";
        m_writeError = c.writeFiles(tailo, cats);
        m_cats = std::make_unique<C_TailoCats>(cats);
        m_db = std::make_unique<C_TailoDB>(tailo, *m_cats, m_policy);
    }
    ~C_Compiled() {
        m_db.reset();
        m_cats.reset();
    }
    test::C_TempFolder m_folder;
    test::C_CapturePolicy m_policy;
    qiv::C_FileError m_writeError;
    std::unique_ptr<C_TailoCats> m_cats;
    std::unique_ptr<C_TailoDB> m_db;
};

std::vector<C_Candidate> lookUp(const C_TailoDB& db, const std::vector<std::string>& keys,
                                char how) {
    return test::typeIslands(db, keys,
                             how == 'f'   ? test::E_KeyTyping::FULL
                             : how == 't' ? test::E_KeyTyping::TONELESS
                                          : test::E_KeyTyping::INITIALS);
}

bool holds(const std::vector<C_Candidate>& cands, std::string_view text, std::string_view reading) {
    for (const C_Candidate& c : cands)
        if (c.m_text == text &&
            std::find(c.m_readings.begin(), c.m_readings.end(), reading) != c.m_readings.end())
            return true;
    return false;
}

TEST(DictCompiler, ParsesQuotedCsv) {
    std::vector<std::vector<std::string>> rows;
    std::vector<size_t> lines;
    EXPECT_TRUE(parseCsv("a,\"b,c\",\"say \"\"hi\"\"\"\r\n\"two\nlines\",x\nlast,", rows, lines));
    EXPECT_EQ(rows, (std::vector<std::vector<std::string>>{
                        {"a", "b,c", "say \"hi\""}, {"two\nlines", "x"}, {"last", ""}}));
    EXPECT_EQ(lines, (std::vector<size_t>{1, 2, 4}));
    EXPECT_FALSE(parseCsv("a,\"open", rows, lines));
}

TEST(DictCompiler, LexiconRowsAndReports) {
    const std::string csv =
        "\xEF\xBB\xBF\"DictWordID\",\"KipUnicode\",\"HanLoTaibunKip\"\n"
        "\"1\",\"Ta\xCC\x82i-gi\xCC\x81/Tâi-gú\",\"台語\"\n"  // decomposed marks, two readings
        "\"2\",\"tio̍h--bô\",\"著無\"\n"                       // "--": skipped
        "\"3\",\"xyz\",\"無\"\n"                              // no Tai-lo: skipped
        "\"4\",\"only two\"\n"                                // field count
        "\"5\",\"guá bē-hiáu\",\"我袂曉\"\n"                  // a phrase: two words
        "\"6\",\"tsi̍t ê\",\"一个人\"\n"                       // Han does not line up
        "\"7\",\"sı̍t\",\"實\"\n"                              // dotless i
        "\"8\",\"a/b/c\",\"x/y\"\n";                          // form counts differ
    C_DictCompiler c;
    c.addLexiconCsv(csv, "lex.csv");
    std::vector<size_t> lines;
    for (const auto& r : c.reports())
        lines.push_back(r.line);
    EXPECT_EQ(lines, (std::vector<size_t>{3, 4, 5, 7, 9})) << c.reports().size();
    EXPECT_EQ(c.reports().at(0).text().rfind("lex.csv:3: ", 0), 0u);

    C_Compiled out(c);
    ASSERT_TRUE(out.m_writeError.ok()) << out.m_writeError.text;
    ASSERT_TRUE(out.m_db->error().ok()) << out.m_db->error().text;
    const C_TailoDB& db = *out.m_db;
    EXPECT_TRUE(holds(lookUp(db, {"tai5", "gi2"}, 'f'), "台語", "Tâi-gí"));
    EXPECT_TRUE(holds(lookUp(db, {"tai5", "gu2"}, 'f'), "台語", "Tâi-gú"));
    // The Tai-lo spelling is 台語's reading; it is not filed a second time as a Tai-lo word.
    EXPECT_FALSE(holds(lookUp(db, {"tai5", "gi2"}, 'f'), "", "Tâi-gí"));
    EXPECT_TRUE(holds(lookUp(db, {"be7", "hiau2"}, 't'), "袂曉", "bē-hiáu"));
    EXPECT_TRUE(holds(lookUp(db, {"gua2"}, 'f'), "我", "guá"));
    EXPECT_TRUE(holds(lookUp(db, {"tsit8"}, 'f'), "", "tsi̍t"));
    EXPECT_FALSE(holds(lookUp(db, {"tsit8"}, 'f'), "一", "tsi̍t"));
    EXPECT_TRUE(holds(lookUp(db, {"sit8"}, 'f'), "實", "si̍t"));
    EXPECT_TRUE(lookUp(db, {"bo5"}, 'f').empty());
}

TEST(DictCompiler, TabSeparatedList) {
    const std::string tsv =
        "# word\treading\tcategories\tweight\n"
        "台北\tTâi-pak\tnoun/place, noun/place/city\t+12\n"
        "\tTâi-pak\t\t-3\n"
        "台中\tTâi-tiong\tnoun/place\t300\n"  // weight out of range
        "台南\tTâi-lâm\t\tmany\n"             // weight not a number
        "台東\n"                              // no reading
        "\n"
        "甲\tkah\n" +
        std::string("a\0b\tka\n", 7);  // a NUL inside the word
    C_DictCompiler c;
    EXPECT_EQ(c.addTsv(tsv, "list.tsv"), 3u);
    std::vector<size_t> lines;
    for (const auto& r : c.reports())
        lines.push_back(r.line);
    EXPECT_EQ(lines, (std::vector<size_t>{4, 5, 6, 9}));
    // A folder that does not exist: nothing is written, and the failure is told.
    const test::C_TempFolder folder;
    EXPECT_EQ(
        c.writeFiles(folder.path() / "no" / "tailo.tab", folder.path() / "no" / "cats.tab").kind,
        qiv::E_FileError::WRITE);
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "no"));
    C_Compiled out(c);
    ASSERT_TRUE(out.m_db->error().ok()) << out.m_db->error().text;
    EXPECT_EQ(out.m_cats->catName(1), "noun");
    EXPECT_EQ(out.m_cats->catName(3), "city");
    EXPECT_TRUE(out.m_cats->isCatUnder(3, 1));
    const auto found = lookUp(*out.m_db, {"tai5", "pak4"}, 'f');
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].m_text, "台北");
    EXPECT_EQ(found[0].m_weight, 12.0f);
    EXPECT_EQ(found[0].m_cats, (std::vector<uint8_t>{2, 3}));
    EXPECT_EQ(found[1].m_weight, -3.0f);
    C_CompoUnit unit('k');
    out.m_db->addKeyVocs(unit, "kah4", false);  // the exact keys of a word
    EXPECT_EQ(unit.size(), 1u);
}

TEST(DictCompiler, WholeLexiconIsReachable) {
    std::ifstream in(std::string(KOV_SOURCE_DIR) + "/data/itaigi-lexicon.csv", std::ios::binary);
    ASSERT_TRUE(in);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string text = ss.str();
    C_DictCompiler c;
    const size_t filed = c.addLexiconCsv(text, "itaigi-lexicon.csv");
    EXPECT_GT(filed, 15000u);
    C_Compiled out(c);
    ASSERT_TRUE(out.m_writeError.ok()) << out.m_writeError.text;
    ASSERT_TRUE(out.m_db->error().ok()) << out.m_db->error().text;
    EXPECT_GT(out.m_db->karrCount(), 10000u);

    // A sample of one-word rows: found by full keys and by keys without tone digits, and
    // the three-syllable ones by their initials.
    std::vector<std::vector<std::string>> rows;
    std::vector<size_t> lines;
    parseCsv(text.substr(3), rows, lines);
    size_t tried = 0, byInitials = 0;
    for (size_t r = 1; r < rows.size() && tried < 60; r += 97) {
        const std::string& kip = rows[r][3];
        const std::string& han = rows[r][6];
        if (kip.find_first_of("/ ") != std::string::npos || kip.find("--") != std::string::npos ||
            han.find('/') != std::string::npos || han.empty())
            continue;
        auto res = tailo2tonedKeys(kip);
        if (res.index() != 0 || std::get<0>(res).size() > 6)
            continue;
        const auto& keys = std::get<0>(res);
        bool hanIsTailo = tailo2tonedKeys(han).index() == 0;
        const std::string word = hanIsTailo ? "" : han;
        SCOPED_TRACE(kip);
        ++tried;
        const auto full = lookUp(*out.m_db, keys, 'f');
        EXPECT_TRUE(std::any_of(full.begin(), full.end(),
                                [&](const C_Candidate& cand) { return cand.m_text == word; }));
        const auto toneless = lookUp(*out.m_db, keys, 't');
        EXPECT_TRUE(std::any_of(toneless.begin(), toneless.end(),
                                [&](const C_Candidate& cand) { return cand.m_text == word; }));
        if (keys.size() >= 3) {
            const auto initials = lookUp(*out.m_db, keys, 'i');
            if (!initials.empty()) {
                ++byInitials;
                EXPECT_TRUE(
                    std::any_of(initials.begin(), initials.end(),
                                [&](const C_Candidate& cand) { return cand.m_text == word; }));
            }
        }
    }
    EXPECT_GT(tried, 40u);
    EXPECT_GT(byInitials, 0u);
}

// The weight of each record filed under a key array (or a one-syllable key in section 0), as "<Han
// text or Tai-lo>=<weight>".
std::map<std::string, int> weightsAt(const C_TailoDB& db, const std::string& karr,
                                     size_t section = 2) {
    std::map<std::string, int> out;
    db.visitKeyVocs(
        section, karr,
        [&](std::string_view han, std::span<std::string_view> readings, std::span<const uint8_t>,
            char weight) {
            out[han.empty() && !readings.empty() ? std::string(readings[0]) : std::string(han)] =
                int(int8_t(weight));
        });
    return out;
}

// The winners' texts of keys typed on a line, joined by "|".
std::string composed(const C_TailoDB& db, std::string_view keys, bool doctrine) {
    C_InputLine line(db);
    line.setIslandDoctrine(doctrine);
    for (char k : keys)
        line.insertKey(k);
    std::string out;
    for (const C_Winner& w : line.winners()) {
        if (!w.m_candidate)
            continue;
        if (!out.empty())
            out += '|';
        out +=
            w.m_candidate->m_text.empty() ? w.m_candidate->m_readings.at(0) : w.m_candidate->m_text;
    }
    return out;
}

TEST(DictCompiler, CountsWeighTheWords) {
    // A corpus (all its lines are counted: none of them is held out) and a lexicon.
    std::string han, tailo;
    auto say = [&](int times, const char* h, const char* t) {
        for (int i = 0; i < times; ++i) {
            han += std::string(h) + "\n";
            tailo += std::string(t) + "\n";
        }
    };
    say(6, "甲乙 好", "ka1-ki1 ho2");    // a frequent word ...
    say(1, "丙丁 好", "ka1-ki1 ho2");    // ... and a rare one of the same keys
    say(30, "甲 乙 好", "ka1 ki1 ho2");  // its characters, much more frequent alone
    say(1, "屆 好", "kai3 ho2");         // a rare one-syllable word ...
    say(20, "可愛 好",
        "kho2-ai3 ho2");  // ... and a frequent word read from its keys taken as "k" + "ai3"
    say(10, "kinn1 好", "kinn1 ho2");  // a word the Han line writes in Tai-lo
    say(1, "緊 好", "kin2 ho2");
    const std::string lexicon =
        "\"id\",\"KipUnicode\",\"HanLoTaibunKip\"\n"
        "\"1\",\"ka-ki\",\"甲乙\"\n"
        "\"2\",\"Ka-ki\",\"\"\n"  // no Han form: its Tai-lo spelling alone
        "\"3\",\"kinn\",\"經\"\n"
        "\"4\",\"ta-ta\",\"\"\n";
    C_DictCompiler c;
    const C_CorpusSummary sum = c.addCorpus(han, tailo, "corpus.txt", E_CorpusPart::ALL);
    EXPECT_EQ(sum.m_sentences, 69u);
    EXPECT_EQ(sum.m_words, 168u);
    EXPECT_EQ(sum.m_otherWords, 0u);
    c.addLexiconCsv(lexicon, "lexicon.csv");
    C_Compiled out(c);
    ASSERT_TRUE(out.m_writeError.ok()) << out.m_writeError.text;
    const C_TailoDB& db = *out.m_db;

    const auto kaki = weightsAt(db, "ka1-ki1");
    EXPECT_GT(kaki.at("甲乙"), kaki.at("丙丁"));   // frequent before rare
    EXPECT_EQ(kaki.count("ka-ki"), 0u);            // 甲乙's own reading: not filed again
    EXPECT_LT(kaki.at("Ka-ki"), kaki.at("丙丁"));  // a Tai-lo spelling below every Han form
    EXPECT_GT(kaki.at("Ka-ki"), 0);
    // One-syllable words too: frequent before rare. The rare 屆 weighs less than 可愛, which
    // its keys can be read as below.
    EXPECT_GT(weightsAt(db, "ka1", 0).at("甲"), weightsAt(db, "kin2", 0).at("緊"));
    EXPECT_LT(weightsAt(db, "kai3", 0).at("屆"), weightsAt(db, "kho2-ai3").at("可愛"));
    const auto kinn = weightsAt(db, "kinn1", 0);
    EXPECT_GT(kinn.at("kinn"), kinn.at("經"));  // the corpus writes it in Tai-lo
    EXPECT_GT(weightsAt(db, "ta1-ta1").at("ta-ta"), 0);

    // As typed: the frequent word, whole, before its frequent characters, with tone digits and
    // without; a one-syllable word typed in full before a word that weighs more but is read from
    // its keys as initials.
    for (const bool doctrine : {false, true}) {
        SCOPED_TRACE(doctrine ? "doctrine on" : "doctrine off");
        EXPECT_EQ(composed(db, "ka1ki1", doctrine), "甲乙");
        EXPECT_EQ(composed(db, "kaki", doctrine), "甲乙");
        EXPECT_EQ(composed(db, "kai3", doctrine), "屆");
        EXPECT_EQ(composed(db, "kho2ai3", doctrine), "可愛");
    }
}

TEST(DictCompiler, NeighboursOftenTogetherAndLongWords) {
    std::string han, tailo;
    auto say = [&](int times, const char* h, const char* t) {
        for (int i = 0; i < times; ++i) {
            han += std::string(h) + "\n";
            tailo += std::string(t) + "\n";
        }
    };
    C_WeightScale scale;
    const int often = int(scale.m_minPairCount);
    say(often, "甲 乙 ， 丙",
        "ka1 ki1 , pinn2");                 // 甲乙 often together; punctuation parts 乙 and 丙
    say(often - 1, "丁 戊", "ting1 boo7");  // one time too few
    say(often, "kinn1 好", "kinn1 ho2");    // not two Han words
    say(often, "庚辛壬 癸子", "kinn1-sin1-jim5 kui2-tsu2");  // five syllables together
    say(3, "長句子 好", "tng5-ku3-tsu2 ho2");                // a word of three syllables ...
    say(3, "短句 好", "te2-ku3 ho2");                        // ... and one of two, as often
    C_DictCompiler c;
    c.addCorpus(han, tailo, "corpus.txt", E_CorpusPart::ALL);
    C_Compiled out(c);
    ASSERT_TRUE(out.m_writeError.ok()) << out.m_writeError.text;
    const C_TailoDB& db = *out.m_db;

    EXPECT_EQ(weightsAt(db, "ka1-ki1").count("甲乙"), 1u);
    EXPECT_EQ(weightsAt(db, "ki1-pinn2").count("乙丙"), 0u);
    EXPECT_TRUE(weightsAt(db, "ting1-boo7").empty());
    EXPECT_TRUE(weightsAt(db, "kinn1-ho2").empty());
    EXPECT_TRUE(weightsAt(db, "kinn1-sin1-jim5-kui2-tsu2").empty());
    EXPECT_EQ(weightsAt(db, "te2-ku3-ho2").count("短句好"), 0u);  // together only 3 times
    // Seen as often, a word of three syllables weighs as much as one of two.
    EXPECT_EQ(weightsAt(db, "tng5-ku3-tsu2").at("長句子"), weightsAt(db, "te2-ku3").at("短句"));
    EXPECT_EQ(composed(db, "ka1ki1", false), "甲乙");
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(DictCompiler, FailedWriteLeavesTheOldPair) {
    // The old pair, tied to a table with one category; the new one has another table (another
    // hash), so a new category table beside the old dictionary would make the engine refuse both.
    C_DictCompiler before;
    before.addTsv("台北\tTâi-pak\tplace\n", "old.tsv");
    C_DictCompiler after;
    after.addTsv("台中\tTâi-tiong\tnoun/city\n", "new.tsv");
    ASSERT_NE(before.catsHash(), after.catsHash());

    enum E_Block { BLOCK_SIDE_FILE, BLOCK_TARGET };
    for (const E_Block block : {BLOCK_SIDE_FILE, BLOCK_TARGET}) {
        SCOPED_TRACE(block == BLOCK_SIDE_FILE ? "dictionary side file cannot be written"
                                              : "dictionary cannot be replaced");
        const test::C_TempFolder folder;
        const auto tailo = folder.path() / "tailo.tab";
        const auto cats = folder.path() / "cats.tab";
        ASSERT_TRUE(before.writeFiles(tailo, cats).ok());
        const std::string oldTailo = readFile(tailo), oldCats = readFile(cats);
        // A folder where the dictionary's side file would go cannot be opened for writing; a
        // dictionary that became a folder holding a file cannot be replaced by a file.
        auto blocker = tailo;
        if (block == BLOCK_SIDE_FILE) {
            blocker += ".tmp";
            std::filesystem::create_directory(blocker);
        } else {
            std::filesystem::remove(tailo);
            std::filesystem::create_directory(tailo);
            folder.write("tailo.tab/inside", "x");
        }
        EXPECT_FALSE(after.writeFiles(tailo, cats).ok());
        EXPECT_EQ(readFile(cats), oldCats);
        EXPECT_FALSE(std::filesystem::exists(folder.path() / "cats.tab.tmp"));
        if (block == BLOCK_SIDE_FILE) {
            EXPECT_EQ(readFile(tailo), oldTailo);
            C_TailoCats loadedCats(cats);
            test::C_CapturePolicy policy;
            C_TailoDB db(tailo, loadedCats, policy);
            EXPECT_TRUE(db.loaded()) << db.error().text;
        }
        std::filesystem::remove_all(blocker);
    }
}

// An old category table that cannot even be tested (here a link to itself) is never replaced:
// a dictionary that then failed to replace its old file would leave no category table at all.
TEST(DictCompiler, AnOldCategoryTableThatCannotBeTestedStopsTheWrite) {
    C_DictCompiler c;
    c.addTsv("台中\tTâi-tiong\tnoun/city\n", "new.tsv");
    const test::C_TempFolder folder;
    const auto tailo = folder.path() / "tailo.tab";
    const auto cats = folder.path() / "cats.tab";
    std::error_code ec;
    std::filesystem::create_symlink(cats.filename(), cats, ec);
    if (ec)
        GTEST_SKIP() << "no symbolic link here: " << ec.message();
    // A dictionary that became a folder holding a file cannot be replaced by a file.
    std::filesystem::create_directory(tailo);
    folder.write("tailo.tab/inside", "x");

    const qiv::C_FileError e = c.writeFiles(tailo, cats);
    EXPECT_EQ(e.kind, qiv::E_FileError::UNREADABLE);
    EXPECT_NE(e.text.find("Failed to test"), std::string::npos) << e.text;
    EXPECT_TRUE(std::filesystem::is_symlink(std::filesystem::symlink_status(cats)));
    EXPECT_TRUE(std::filesystem::is_directory(tailo));
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "cats.tab.tmp"));
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "tailo.tab.tmp"));
}

}  // namespace
}  // namespace kov::dictc
