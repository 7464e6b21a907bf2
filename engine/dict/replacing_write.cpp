#include "engine/dict/replacing_write.h"

#include <system_error>

#include "engine/dict/mapped_file.h"

namespace kov {

namespace {

std::filesystem::path sideFileOf(const std::filesystem::path& path) {
    std::filesystem::path side = path;
    side += ".tmp";
    return side;
}

}  // namespace

C_ReplaceResult writeSideFile(const std::filesystem::path& path, FC_SideFileWriter write) {
    C_ReplaceResult r;
    r.m_sideFile = sideFileOf(path);
    platform::C_OutFile out;
    if (!out.open(r.m_sideFile)) {
        r.m_failedStep = RS_OPEN;
        r.m_error = out.error();
        return r;
    }
    if (!write(out) || !out.flushToDisk() || !out.close()) {
        r.m_failedStep = RS_WRITE;
        r.m_error = out.error();
        out.close();
        removeSideFile(path);
    }
    return r;
}

C_ReplaceResult replaceWithSideFile(const std::filesystem::path& path) {
    C_ReplaceResult r;
    r.m_sideFile = sideFileOf(path);
    if (!platform::replaceFile(r.m_sideFile, path, r.m_error)) {
        r.m_failedStep = RS_REPLACE;
        removeSideFile(path);
    }
    return r;
}

void removeSideFile(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::remove(sideFileOf(path), ec);
}

C_ReplaceResult writeReplacing(const std::filesystem::path& path, FC_SideFileWriter write) {
    C_ReplaceResult r = writeSideFile(path, std::move(write));
    return r.ok() ? replaceWithSideFile(path) : r;
}

qiv::C_FileError writeFileReplacing(const std::filesystem::path& path, std::string_view bytes) {
    return replaceFailure(
        writeReplacing(path, [bytes](platform::C_OutFile& out) { return out.write(bytes); }), path);
}

qiv::C_FileError replaceFailure(const C_ReplaceResult& r, const std::filesystem::path& path) {
    using qiv::E_FileError;
    switch (r.m_failedStep) {
        case RS_NONE:
            return {};
        case RS_OPEN:
            return {E_FileError::WRITE,
                    "Failed to open \"" + pathText(r.m_sideFile) + "\" for writing"};
        case RS_WRITE:
            return {E_FileError::WRITE, "Failed to write \"" + pathText(r.m_sideFile) + "\""};
        case RS_REPLACE:
            break;
    }
    return {E_FileError::WRITE,
            "Failed to rename \"" + pathText(r.m_sideFile) + "\" to \"" + pathText(path) + "\""};
}

}  // namespace kov
