#include "props/metadata.h"

#include "platform/platform.h"

namespace qv {

std::optional<std::size_t> FindCustom(const std::vector<CustomProperty>& list, std::string_view name,
                                      bool caseSensitive) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].name == name || (!caseSensitive && platform::sameIgnoringCase(list[i].name, name)))
            return i;
    return std::nullopt;
}

}  // namespace qv
