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
        folder = place(std::string_view(entry.source).substr(0, inSource - 1),
                       std::string_view(entry.destination).substr(0, inDestination - 1));
    } else {
        folder = place(entry.source, entry.destination);
        name.clear();
    }
    if (entry.kind == WrittenEntry::Kind::Link)
        m_linkTargets.emplace(m_entries.size(), entry.linkTarget);
    m_entries.push_back({folder, entry.kind, entry.sourceIsLink, entry.size, entry.modified, entry.changed, std::move(name)});
}

void WrittenEntries::startAt(const std::string &source, const std::string &destination)
{
    m_start = {source, destination};
    m_top = NoFolder;
    m_chain.clear();
    m_chainEnds.clear();
}

// The folder of the paths source and destination. A copy writes a folder's
// entries one after another and goes a level down or up between folders:
// the folders of the last entry are looked at first, and only the levels
// below them are added.
std::uint32_t WrittenEntries::place(std::string_view source, std::string_view destination)
{
    auto below = [&](const std::string &sourceFolder, const std::string &destinationFolder) {
        auto under = [](std::string_view path, const std::string &folder) {
            return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
        };
        return under(source, sourceFolder) && under(destination, destinationFolder)
               && source.substr(sourceFolder.size()) == destination.substr(destinationFolder.size());
    };
    while (!m_chain.empty() && !below(m_chainSource, m_chainDestination)) {
        m_chain.pop_back();
        m_chainEnds.pop_back();
        m_chainSource.resize(m_chainEnds.empty() ? 0 : m_chainEnds.back().first);
        m_chainDestination.resize(m_chainEnds.empty() ? 0 : m_chainEnds.back().second);
    }
    if (m_chain.empty() && !m_start.destination.empty() && below(m_start.source, m_start.destination)) {
        if (m_top == NoFolder) {
            m_top = addFolder(NoFolder, {});
            m_roots.emplace(m_top, m_start);
        }
        m_chain.assign(1, m_top);
        m_chainSource = m_start.source;
        m_chainDestination = m_start.destination;
        m_chainEnds.assign(1, {m_chainSource.size(), m_chainDestination.size()});
    }
    const std::string_view rest = m_chain.empty() ? std::string_view() : source.substr(m_chainSource.size());
    // A doubled or trailing separator has no folder of its own: such paths
    // are kept whole.
    if (m_chain.empty() || rest.find("//") != std::string_view::npos || rest.ends_with('/')) {
        m_chain.assign(1, addFolder(NoFolder, {}));
        m_roots.emplace(m_chain.back(), Roots{std::string(source), std::string(destination)});
        m_chainSource = source;
        m_chainDestination = destination;
        m_chainEnds.assign(1, {source.size(), destination.size()});
        return m_chain.back();
    }
    for (size_t at = 1; at < rest.size();) {
        const size_t end = std::min(rest.find('/', at), rest.size());
        const std::string_view name = rest.substr(at, end - at);
        m_chain.push_back(addFolder(m_chain.back(), std::string(name)));
        for (std::string *path : {&m_chainSource, &m_chainDestination}) {
            *path += '/';
            *path += name;
        }
        m_chainEnds.emplace_back(m_chainSource.size(), m_chainDestination.size());
        at = end + 1;
    }
    return m_chain.back();
}

std::uint32_t WrittenEntries::addFolder(std::uint32_t parent, std::string name)
{
    m_folders.push_back({parent, parent == NoFolder ? 0 : m_folders[parent].depth + 1, std::move(name)});
    return std::uint32_t(m_folders.size() - 1);
}

void WrittenEntries::folderPaths(std::uint32_t folder, std::string &source, std::string &destination) const
{
    std::vector<std::uint32_t> up;
    for (; m_folders[folder].parent != NoFolder; folder = m_folders[folder].parent)
        up.push_back(folder);
    source = m_roots.at(folder).source;
    destination = m_roots.at(folder).destination;
    for (auto level = up.rbegin(); level != up.rend(); ++level)
        for (std::string *path : {&source, &destination}) {
            *path += '/';
            *path += m_folders[*level].name;
        }
}

WrittenEntry WrittenEntries::withoutPaths(size_t at) const
{
    const Entry &entry = m_entries[at];
    WrittenEntry written{entry.kind, {}, {}, entry.size, entry.modified, {}, entry.sourceIsLink, entry.changed};
    if (entry.kind == WrittenEntry::Kind::Link)
        written.linkTarget = m_linkTargets.at(at);
    return written;
}

WrittenEntry WrittenEntries::operator[](size_t at) const
{
    WrittenEntry written = withoutPaths(at);
    std::string source, destination;
    folderPaths(m_entries[at].folder, source, destination);
    written.source = joined(source, m_entries[at].name);
    written.destination = joined(destination, m_entries[at].name);
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

void WrittenEntries::readThroughCache(const std::string &device, const std::string &path) const
{
    if (m_throughCache.empty() || m_throughCache.back().device != device)
        m_throughCache.push_back({device, path, 0});
    ++m_throughCache.back().files;
}

std::string WrittenEntries::throughCache() const
{
    std::string notes;
    for (const Cached &cached : m_throughCache)
        notes += (notes.empty() ? "" : "; ") + std::to_string(cached.files)
                 + " files read back through the system's cache of " + cached.device
                 + ", not from the device: the first " + cached.first;
    return notes;
}
