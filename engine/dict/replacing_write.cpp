#include "engine/dict/replacing_write.h"

#include <system_error>

#include "engine/dict/mapped_file.h"

namespace kov {

C_ReplaceResult writeReplacing(const std::filesystem::path& path, FC_SideFileWriter write) {
    C_ReplaceResult r;
    r.m_sideFile = path;
    r.m_sideFile += ".tmp";
    platform::C_OutFile out;
    if (!out.open(r.m_sideFile)) {
        r.m_failedStep = RS_OPEN;
        r.m_error = out.error();
        return r;
    }
    if (!write(out) || !out.flushToDisk() || !out.close()) {
        r.m_failedStep = RS_WRITE;
        r.m_error = out.error();
    } else if (!platform::replaceFile(r.m_sideFile, path, r.m_error)) {
        r.m_failedStep = RS_REPLACE;
    }
    if (!r.ok()) {
        out.close();
        std::error_code ec;
        std::filesystem::remove(r.m_sideFile, ec);
    }
    return r;
}

std::string writeFileReplacing(const std::filesystem::path& path, std::string_view bytes) {
    const C_ReplaceResult r =
        writeReplacing(path, [bytes](platform::C_OutFile& out) { return out.write(bytes); });
    switch (r.m_failedStep) {
    case RS_NONE:
        return {};
    case RS_OPEN:
        return "Failed to open \"" + pathText(r.m_sideFile) + "\" for writing";
    case RS_WRITE:
        return "Failed to write \"" + pathText(r.m_sideFile) + "\"";
    case RS_REPLACE:
        break;
    }
    return "Failed to rename \"" + pathText(r.m_sideFile) + "\" to \"" + pathText(path) + "\"";
}

}  // namespace kov
