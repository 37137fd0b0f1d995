#include "platform/WrittenEntries.h"

namespace {

std::string::size_type nameStart(const std::string &path)
{
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? path.size() : slash + 1;
}

// Further than any destination rounds a time, or a repeat compares by
// content, and on a whole second, which FAT keeps too.
constexpr time_t MarkShift = 2 * 24 * 3600;
// FAT holds no time before 1980: a mark there goes forward instead.
constexpr time_t FatEpoch = 315532800;

std::string joined(const std::string &folder, const std::string &name)
{
    return name.empty() ? folder : folder + '/' + name;
}

} // namespace

struct timespec uncheckedTime(const struct timespec &modified)
{
    const time_t copied = modified.tv_sec;
    return {copied > FatEpoch + MarkShift ? copied - MarkShift : copied + MarkShift, 0};
}

void WrittenEntries::push_back(const WrittenEntry &entry)
{
    const std::string::size_type inSource = nameStart(entry.source);
    const std::string::size_type inDestination = nameStart(entry.destination);
    std::string name = entry.destination.substr(inDestination);
    std::uint32_t folder;
    if (inSource < entry.source.size() && !name.empty() && entry.source.compare(inSource, std::string::npos, name) == 0) {
        folder = folderOf(std::string_view(entry.source).substr(0, inSource - 1),
                          std::string_view(entry.destination).substr(0, inDestination - 1));
    } else {
        folder = folderOf(entry.source, entry.destination);
        name.clear();
    }
    if (entry.kind == WrittenEntry::Kind::Link)
        m_linkTargets.emplace(m_entries.size(), entry.linkTarget);
    m_entries.push_back({folder, entry.kind, entry.sourceIsLink, entry.size, entry.modified, std::move(name)});
}

std::uint32_t WrittenEntries::folderOf(std::string_view source, std::string_view destination)
{
    // A copy writes a folder's entries one after another: most entries
    // find their folders last, and copy no path for them.
    if (m_folders.empty() || m_folders.back().source != source || m_folders.back().destination != destination)
        m_folders.push_back({std::string(source), std::string(destination)});
    return std::uint32_t(m_folders.size() - 1);
}

WrittenEntry WrittenEntries::operator[](size_t at) const
{
    const Entry &entry = m_entries[at];
    const Folders &folder = m_folders[entry.folder];
    WrittenEntry written{entry.kind,     joined(folder.source, entry.name), joined(folder.destination, entry.name),
                         entry.size,     entry.modified,                    {},
                         entry.sourceIsLink};
    if (entry.kind == WrittenEntry::Kind::Link)
        written.linkTarget = m_linkTargets.at(at);
    return written;
}

WrittenEntries::Files WrittenEntries::files() const
{
    Files files;
    for (const Entry &entry : m_entries)
        if (entry.kind == WrittenEntry::Kind::File) {
            ++files.count;
            files.bytes += entry.size;
        }
    return files;
}
