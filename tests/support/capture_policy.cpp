#include "tests/support/capture_policy.h"

namespace kov::test {

C_CapturePolicy::C_CapturePolicy() : m_limits{1000, 500, 100, 4, 3, 3} {}

void C_CapturePolicy::log(int level, std::string_view text) const {
    std::lock_guard lock(m_mutex);
    m_lines.push_back(C_LogLine{level, std::string(text)});
}

size_t C_CapturePolicy::karrThreshold() const {
    std::lock_guard lock(m_mutex);
    return m_karrThreshold;
}

uint64_t C_CapturePolicy::getLimit(E_LearnLimit kind) const {
    std::lock_guard lock(m_mutex);
    const int k = kind;
    return k >= 0 && k < LEARN_LIMIT_COUNT ? m_limits[size_t(k)] : 0;
}

void C_CapturePolicy::setKarrThreshold(size_t threshold) {
    std::lock_guard lock(m_mutex);
    m_karrThreshold = threshold;
}

void C_CapturePolicy::setLimit(E_LearnLimit kind, uint64_t limit) {
    std::lock_guard lock(m_mutex);
    const int k = kind;
    if (k >= 0 && k < LEARN_LIMIT_COUNT)
        m_limits[size_t(k)] = limit;
}

std::vector<C_LogLine> C_CapturePolicy::lines() const {
    std::lock_guard lock(m_mutex);
    return m_lines;
}

void C_CapturePolicy::clear() {
    std::lock_guard lock(m_mutex);
    m_lines.clear();
}

bool C_CapturePolicy::contains(std::string_view text, std::optional<int> level) const {
    std::lock_guard lock(m_mutex);
    for (const C_LogLine& line : m_lines)
        if ((!level || line.m_level == *level) &&
            line.m_text.find(text) != std::string::npos)
            return true;
    return false;
}

std::optional<C_LogLine> C_CapturePolicy::find(std::string_view text) const {
    std::lock_guard lock(m_mutex);
    for (const C_LogLine& line : m_lines)
        if (line.m_text.find(text) != std::string::npos)
            return line;
    return std::nullopt;
}

size_t C_CapturePolicy::count(std::string_view text) const {
    std::lock_guard lock(m_mutex);
    size_t n = 0;
    for (const C_LogLine& line : m_lines)
        if (line.m_text.find(text) != std::string::npos)
            ++n;
    return n;
}

}  // namespace kov::test
