#include "engine/Kelvaro/vocabulary_commands.h"

#include <array>
#include <chrono>
#include <cmath>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "engine/Kelvaro/command_table.h"
#include "engine/Kelvaro/db_source.h"
#include "engine/Kelvaro/request_readers.h"
#include "engine/Kelvaro/session.h"
#include "engine/Kelvaro/voc_json.h"
#include "engine/compose/learner.h"
#include "engine/dict/user_db.h"
#include "platform/local_time.h"

namespace kov {

namespace {

using nlohmann::json;

// The calendar time of stamp in UTC.
std::tm utcCalendarTime(uint32_t stamp) {
    using namespace std::chrono;
    const sys_seconds moment{seconds{stamp}};
    const sys_days day = floor<days>(moment);
    const year_month_day date{day};
    const hh_mm_ss<seconds> time{moment - day};
    std::tm out{};
    out.tm_year = static_cast<int>(date.year()) - 1900;
    out.tm_mon = static_cast<int>(static_cast<unsigned>(date.month())) - 1;
    out.tm_mday = static_cast<int>(static_cast<unsigned>(date.day()));
    out.tm_hour = static_cast<int>(time.hours().count());
    out.tm_min = static_cast<int>(time.minutes().count());
    out.tm_sec = static_cast<int>(time.seconds().count());
    return out;
}

// The request's text members, read in the order given; the first that is missing answers
// "Missing <name>" and gives nothing.
template <size_t N>
std::optional<std::array<std::string, N>> readTexts(const json& request, json& reply,
                                                    const char* const (&names)[N]) {
    std::array<std::string, N> texts;
    for (size_t i = 0; i < N; ++i) {
        auto text = getOptString(request, names[i]);
        if (!text) {
            setError(reply, std::string("Missing ") + names[i]);
            return std::nullopt;
        }
        texts[i] = std::move(*text);
    }
    return texts;
}

// The search text of a listing or count; a text with a NUL in it can match no word (none is
// stored with one) and is refused.
std::optional<std::string> readSearch(const json& request, json& reply) {
    auto search = getOptString(request, "search");
    if (!search) {
        setError(reply, "Missing search string");
        return std::nullopt;
    }
    if (search->find('\0') != std::string::npos) {
        setError(reply, "Invalid search string: it holds a NUL character");
        return std::nullopt;
    }
    return search;
}

// One order item [type, descending]: a JSON integer (signed or unsigned, its low 32 bits taken)
// and a boolean; further elements are ignored.
std::optional<C_UserVocOrder> orderItem(const json& item) {
    if (!item.is_array() || item.size() < 2 || !item[0].is_number_integer() ||
        !item[1].is_boolean())
        return std::nullopt;
    const uint32_t type = item[0].is_number_unsigned()
                              ? static_cast<uint32_t>(item[0].get<uint64_t>())
                              : static_cast<uint32_t>(item[0].get<int64_t>());
    return C_UserVocOrder{type, item[1].get<bool>()};
}

// The "order" member: one pair [type, descending], or an array of such pairs (each may carry
// more elements), or an empty array for the listing's own order. A type that comes again later
// in the list is left out: the sort reaches it only when the earlier comparison by the same
// type gave equality, so it cannot decide anything, and dropping it bounds the cost of a long
// list. An unknown type refuses the request, whether or not there is anything to sort.
bool readOrders(const json& request, json& reply, std::vector<C_UserVocOrder>& orders) {
    const auto it = request.find("order");
    if (it == request.end() || !it->is_array()) {
        setError(reply, "Missing order");
        return false;
    }
    const json& order = *it;
    const auto add = [&orders, &reply](const C_UserVocOrder& item) {
        if (item.type > kLastUserVocOrder) {
            orders.clear();
            setError(reply, "Unknown order type: " + std::to_string(item.type));
            return false;
        }
        for (const C_UserVocOrder& o : orders)
            if (o.type == item.type)
                return true;
        orders.push_back(item);
        return true;
    };
    if (order.size() == 2 && order[0].is_number_integer() && order[1].is_boolean())
        return add(*orderItem(order));
    for (const json& element : order) {
        const auto item = orderItem(element);
        if (!item) {
            orders.clear();
            setError(reply, "Ill-formatted order");
            return false;
        }
        if (!add(*item))
            return false;
    }
    return true;
}

void addUserVoc(C_Session& session, const json& request, json& reply) {
    static const char* const names[] = {"hant", "tailo"};
    const auto texts = readTexts(request, reply, names);
    if (!texts)
        return;
    const auto& [hant, tailo] = *texts;
    // Only a number written with a fraction or an exponent is a weight; anything else leaves
    // it 0 without being an error.
    float weight = 0;
    if (const auto it = request.find("weight"); it != request.end() && it->is_number_float())
        weight = static_cast<float>(it->get<double>());
    reply["ok"] = true;
    if (!std::isfinite(weight)) {
        reply["result"] = static_cast<int>(UVE_BAD_WEIGHT);
        return;
    }
    C_HantTailoAttr attr;
    E_UserVocError r = classifyHantTailo(hant, tailo, attr);
    if (r == UVE_OK)
        r = session.source().userDB().addUserVoc(hant, tailo, attr, weight, {}, 0);
    reply["result"] = static_cast<int>(r);
}

// Erases the pair from dictionary (the user or the learning dictionary).
void erasePair(I_UserTailoDbErasor& dictionary, const std::string& hant, const std::string& tailo,
               json& reply) {
    C_HantTailoAttr attr;
    E_UserVocError r = classifyHantTailo(hant, tailo, attr);
    if (r == UVE_OK)
        r = dictionary.eraseUserVoc(hant, tailo, attr);
    reply["result"] = static_cast<int>(r);
}

void eraseUserVoc(C_Session& session, const json& request, json& reply) {
    static const char* const names[] = {"hant", "tailo"};
    if (const auto texts = readTexts(request, reply, names))
        erasePair(session.source().userDB(), (*texts)[0], (*texts)[1], reply);
}

void eraseLearnedVoc(C_Session& session, const json& request, json& reply) {
    static const char* const names[] = {"hant", "tailo"};
    const auto texts = readTexts(request, reply, names);
    if (!texts)
        return;
    // The learner the sessions hand their lines to is the learning dictionary, which can also
    // erase what it learned. The database source owns it as a changeable object and lends it
    // out as const only because the lines merely hand jobs to it.
    const auto* erasor = dynamic_cast<const I_UserTailoDbErasor*>(session.source().learner());
    if (!erasor)
        return setError(reply, "Learner database eraser not available");
    erasePair(const_cast<I_UserTailoDbErasor&>(*erasor), (*texts)[0], (*texts)[1], reply);
}

void updateUserVoc(C_Session& session, const json& request, json& reply) {
    static const char* const names[] = {"hant-old", "tailo-old", "hant-new", "tailo-new"};
    const auto texts = readTexts(request, reply, names);
    if (!texts)
        return;
    const auto& [hantOld, tailoOld, hantNew, tailoNew] = *texts;
    reply["result"] = static_cast<int>(
        session.source().userDB().updateUserVoc(hantOld, tailoOld, hantNew, tailoNew));
}

void clearUserVocs(C_Session& session, const json&, json&) {
    session.source().userDB().clearUserVocs();
}

void getUserVocs(C_Session& session, const json& request, json& reply) {
    const auto search = readSearch(request, reply);
    if (!search)
        return;
    const auto index = optionalNumber<size_t>(request, "index");
    if (!index)
        return setError(reply, "Missing index");
    const auto count = optionalNumber<size_t>(request, "count");
    if (!count)
        return setError(reply, "Missing count");
    std::vector<C_UserVocOrder> orders;
    if (!readOrders(request, reply, orders))
        return;
    json result = json::array();
    // The page is read under the dictionary's lock; counted by calls, so a count near the
    // largest size_t lists to the end and never wraps.
    session.source().userDB().visitUserVocs(*search, orders, *index, *count,
                                            [&result](const C_Bikey& key, const C_TailoVoc& voc,
                                                      const std::vector<std::string>& tailos) {
                                                result.push_back(userVocToJson(key, voc, tailos));
                                            });
    reply["result"] = std::move(result);
}

void getCountOfUserVocs(C_Session& session, const json& request, json& reply) {
    const auto search = readSearch(request, reply);
    if (!search)
        return;
    reply["result"] = session.source().userDB().countUserVocs(*search);
}

void saveUserDb(C_Session& session, const json&, json& reply) {
    reply["result"] = session.source().saveAll();
}

}  // namespace

std::string lastAccessText(uint32_t stamp) {
    const std::optional<std::tm> local = platform::localCalendarTime(stamp);
    const std::tm calendar = local ? *local : utcCalendarTime(stamp);
    char text[30];
    const size_t n = std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &calendar);
    return std::string(text, n);
}

json userVocToJson(const C_Bikey& key, const C_TailoVoc& voc,
                   const std::vector<std::string>& tailos) {
    return json{
        {"keys", bikeyText(key)},
        {"mode", std::string(vocModeName(voc.type))},
        {"voc", voc.word},
        {"tailos", tailos},
        {"weight", static_cast<double>(voc.weight)},
        {"last-access", lastAccessText(voc.stamp.time)},
    };
}

void registerVocabularyCommands(C_CommandTables& tables) {
    tables.add(C_CommandTables::SESSION, "add-user-voc", addUserVoc);
    tables.add(C_CommandTables::SESSION, "erase-user-voc", eraseUserVoc);
    tables.add(C_CommandTables::SESSION, "erase-learned-voc", eraseLearnedVoc);
    tables.add(C_CommandTables::SESSION, "update-user-voc", updateUserVoc);
    tables.add(C_CommandTables::SESSION, "clear-user-vocs", clearUserVocs);
    tables.add(C_CommandTables::SESSION, "get-user-vocs", getUserVocs);
    tables.add(C_CommandTables::SESSION, "get-count-of-user-vocs", getCountOfUserVocs);
    tables.add(C_CommandTables::SESSION, "save-user-db", saveUserDb);
}

}  // namespace kov
