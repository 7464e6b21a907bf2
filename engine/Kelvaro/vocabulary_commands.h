// The vocabulary commands: a front end (or the user-dictionary editor it starts) adds, erases
// and changes a word with its Tai-lo reading in the user dictionary, erases a learned word,
// empties the user dictionary, lists and counts its entries page by page in a chosen order,
// and saves both per-user dictionaries. They serve every open session, with or without an
// input line; registerVocabularyCommands (command_groups.cpp) puts them in the table.
//
// A refused edit is no error of the command: "ok" true with the E_UserVocError in "result".
// Every change of the user dictionary reaches the open sessions as "user-db-changed" through
// the database source, the issuing session's before its reply.
//
// Not responsible for: the editing and the search themselves (C_UserTailoDB), the events
// (the database source), the reply envelope (C_Session).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/dict/voc_table.h"
#include "engine/text/key_pattern.h"

namespace kov {

// A record's time stamp (seconds since 1970-01-01 UTC) as the local time of the machine,
// "YYYY/MM/DD hh:mm:ss"; UTC when the system cannot convert it.
std::string lastAccessText(uint32_t stamp);

// The user vocabulary object of one listed entry: "keys" (the key, or the keys of a key array
// joined by "-"), "mode" ("hant" or "tailo"), "voc", "tailos", "weight" and "last-access".
nlohmann::json userVocToJson(const C_Bikey& key, const C_TailoVoc& voc,
                             const std::vector<std::string>& tailos);

}  // namespace kov
