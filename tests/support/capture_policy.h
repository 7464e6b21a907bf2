#pragma once
// A policy for tests: it keeps every log line (level and text) and answers the key-array
// threshold and the learning limits that a test sets. Safe to log from several threads.

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/dict/tailo_db.h"

namespace kov::test {

struct C_LogLine {
    int m_level = 0;
    std::string m_text;

    bool operator==(const C_LogLine&) const = default;
};

class C_CapturePolicy : public I_LearnPolicy {
public:
    // Starts with the server's values: threshold 3, limits 1000, 500, 100, 4, 3, 3.
    C_CapturePolicy();

    void log(int level, std::string_view text) const override;
    size_t karrThreshold() const override;
    // The limit set for kind; 0 for a kind outside the six.
    uint64_t getLimit(E_LearnLimit kind) const override;

    void setKarrThreshold(size_t threshold);
    void setLimit(E_LearnLimit kind, uint64_t limit);

    // A copy of the lines logged so far, in order.
    std::vector<C_LogLine> lines() const;
    void clear();
    // True when a line holds text (as a part of it); with a level, only lines of that level.
    bool contains(std::string_view text, std::optional<int> level = std::nullopt) const;
    // The first line that holds text, if any.
    std::optional<C_LogLine> find(std::string_view text) const;
    // The number of lines that hold text.
    size_t count(std::string_view text) const;

private:
    mutable std::mutex m_mutex;
    mutable std::vector<C_LogLine> m_lines;
    size_t m_karrThreshold = 3;
    std::array<uint64_t, LEARN_LIMIT_COUNT> m_limits{};
};

}  // namespace kov::test
