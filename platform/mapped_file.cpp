// What the mapping does alike on every platform: handing it over and closing it at the end.
// Opening and closing the view are the backends'.
#include "platform/mapped_file.h"

#include <utility>

namespace kov::platform {

C_FileMapping::C_FileMapping(C_FileMapping&& other) noexcept
    : m_view(std::exchange(other.m_view, nullptr)),
      m_size(std::exchange(other.m_size, 0)),
      m_mapping(std::exchange(other.m_mapping, 0)) {}

C_FileMapping& C_FileMapping::operator=(C_FileMapping&& other) noexcept {
    if (this != &other) {
        close();
        m_view = std::exchange(other.m_view, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_mapping = std::exchange(other.m_mapping, 0);
    }
    return *this;
}

C_FileMapping::~C_FileMapping() { close(); }

}  // namespace kov::platform
