#include "engine/Kelvaro/voc_json.h"

#include "engine/dict/candidate.h"
#include "engine/text/code_points.h"

namespace kov {

std::string_view vocModeName(char mode) {
    switch (mode) {
        case COMPO_SEGMENT:
            return "segment";
        case COMPO_HANT:
            return "hant";
        case COMPO_TAILO:
            return "tailo";
        default:
            return "";
    }
}

std::size_t halfshape_estimate_utf8(std::string_view text) {
    std::size_t width = 0;
    visitCodePoints(text, [&](unsigned cp) {
        width += cp < 0x400 || cp == 0x1E3E || cp == 0x1E3F ? 1 : 2;
        return true;
    });
    return width;
}

void candidateToJson(std::size_t pos, const C_VocCandidate& view, nlohmann::json& out) {
    nlohmann::json c = nlohmann::json::object();
    c["voc"] = view.m_text;
    c["tailos"] = view.m_readings;
    c["mode"] = std::string(vocModeName(view.m_mode));
    c["pos"] = pos;
    c["span-units"] = view.m_span;
    c["words"] = view.m_words;
    c["half-shapes"] = halfshape_estimate_utf8(view.m_text);
    c["source-id"] = static_cast<unsigned>(view.m_source);
    c["weight"] = view.m_weight;
    c["virtual"] = view.m_virtual;
    out.push_back(std::move(c));
}

std::string popFrontEvent(const C_VocCandidate& view) {
    const bool byReading = view.m_text.empty() && !view.m_readings.empty();
    const nlohmann::json event = {
        {"event", "pop-front"},
        {"voc", byReading ? view.m_readings.front() : view.m_text},
        {"mode", std::string(vocModeName(view.m_mode))},
        {"span-units", view.m_span},
        {"words", view.m_words},
        {"source-id", static_cast<unsigned>(view.m_source)},
        {"weight", view.m_weight},
    };
    return event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void appendRelatedChoice(std::string_view word, char mode, nlohmann::json& out) {
    out.push_back(nlohmann::json::array(
        {std::string(word), std::string(vocModeName(mode)), halfshape_estimate_utf8(word)}));
}

}  // namespace kov
