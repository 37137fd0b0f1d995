#include "runs/PlannedTree.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

constexpr std::string_view TemporaryPrefix = ".txtmp-";
constexpr size_t TemporaryDigits = 16;

} // namespace

std::string copyTemporaryName(quint64 number)
{
    char name[32];
    std::snprintf(name, sizeof name, "%s%016llx", TemporaryPrefix.data(),
                  static_cast<unsigned long long>(number));
    return name;
}

bool isCopyTemporary(std::string_view name)
{
    return name.size() == TemporaryPrefix.size() + TemporaryDigits && name.starts_with(TemporaryPrefix)
           && name.find_first_not_of("0123456789abcdef", TemporaryPrefix.size()) == std::string_view::npos;
}

std::vector<std::string> copyTemporariesIn(int dirFd, const PlannedFolder &source)
{
    auto holds = [](const auto &entries, const char *name) {
        const auto found = std::lower_bound(entries.begin(), entries.end(), name,
                                            [](const auto &entry, const char *n) { return entry.name < n; });
        return found != entries.end() && found->name == name;
    };
    constexpr size_t BufferSize = 32 * 1024;
    std::vector<std::string> names;
    const auto buffer = std::make_unique_for_overwrite<char[]>(BufferSize); // filled by the kernel
    (void)::lseek(dirFd, 0, SEEK_SET);
    (void)forEachEntry(dirFd, buffer.get(), BufferSize, [&](const struct dirent64 &entry) {
        if (isCopyTemporary(entry.d_name) && !holds(source.files, entry.d_name)
            && !holds(source.folders, entry.d_name))
            names.emplace_back(entry.d_name);
        return true;
    });
    return names;
}
