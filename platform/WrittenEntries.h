#pragma once

#include <QtGlobal>

#include <cstdint>
#include <ctime>
#include <iterator>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// An entry a copy put in place (not one it left as it was), to be read
// back once it is on the device. Paths are native bytes: a name that is no
// text must still be found again.
struct WrittenEntry {
    enum class Kind { File, Link, Folder };
    Kind kind = Kind::File;
    std::string source;
    std::string destination;
    qint64 size = 0;        // of a file, as copied
    struct timespec modified = {}; // of the source file as copied
    std::string linkTarget; // of a link
    bool sourceIsLink = false; // a file copied from the file a link names
    // The source file's change time as copied: a source rewritten with its
    // old modified time put back (cp -p, touch -r) still moves this one.
    struct timespec changed = {};
};

// The time a file is written with where it is read back afterwards, and
// keeps until it reads back right: far enough from its source's modified
// time that no repeat takes it as current, so a run killed or a stick
// pulled at any point leaves nothing a repeat would skip unread.
struct timespec uncheckedTime(const struct timespec &modified);

// The entries a copy wrote, in the order it wrote them. A run may write
// millions, and two whole paths each would cost more than the copy itself:
// the folders are kept as a tree, each with its parent and its name (the
// same on both sides below the copy's two roots), and each entry keeps its
// folder and its own name. Reading an entry builds its paths again.
class WrittenEntries {
public:
    static constexpr std::uint32_t NoFolder = UINT32_MAX;

    // The copy's two folders: the entries below them are found again from
    // there, a name at a time.
    void startAt(const std::string &source, const std::string &destination);
    void push_back(const WrittenEntry &entry);
    WrittenEntry operator[](size_t at) const;
    // The entry at at without its paths, which cost a walk up its folders.
    WrittenEntry withoutPaths(size_t at) const;
    // Where the entry at at lies: its folder and name. An empty name says
    // the names on both sides differ; the folder then is a root holding
    // the entry's whole paths.
    std::uint32_t folderOf(size_t at) const { return m_entries[at].folder; }
    const std::string &nameOf(size_t at) const { return m_entries[at].name; }
    // A folder's parent (NoFolder for a root), depth below its root, name.
    std::uint32_t parentOf(std::uint32_t folder) const { return m_folders[folder].parent; }
    std::uint32_t depthOf(std::uint32_t folder) const { return m_folders[folder].depth; }
    const std::string &folderName(std::uint32_t folder) const { return m_folders[folder].name; }
    // The two paths of a root folder.
    const std::string &rootSource(std::uint32_t root) const { return m_roots.at(root).source; }
    const std::string &rootDestination(std::uint32_t root) const { return m_roots.at(root).destination; }
    size_t size() const { return m_entries.size(); }
    struct Files {
        qint64 count = 0;
        qint64 bytes = 0;
    };
    Files files() const;
    bool empty() const { return m_entries.empty(); }

    // A file the read-back read through the system's cache of device, as
    // it could not reach the device (a FUSE file system over a device this
    // user cannot open); the run log tells which files. Noted on the
    // record the read-back reads, for the run that made it.
    void readThroughCache(const std::string &device, const std::string &path) const;
    // "N files read back through the system's cache of DEVICE, not from the
    // device: the first PATH" for each such device; empty where none was.
    std::string throughCache() const;

    class const_iterator {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = WrittenEntry;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = WrittenEntry;

        const_iterator(const WrittenEntries &entries, size_t at) : m_entries(&entries), m_at(at) {}
        WrittenEntry operator*() const { return (*m_entries)[m_at]; }
        const_iterator &operator++()
        {
            ++m_at;
            return *this;
        }
        bool operator==(const const_iterator &other) const { return m_at == other.m_at; }

    private:
        const WrittenEntries *m_entries;
        size_t m_at;
    };
    const_iterator begin() const { return {*this, 0}; }
    const_iterator end() const { return {*this, size()}; }

private:
    struct Roots {
        std::string source;
        std::string destination;
    };
    struct Folder {
        std::uint32_t parent;
        std::uint32_t depth;
        std::string name; // empty for a root
    };
    struct Entry {
        std::uint32_t folder;
        WrittenEntry::Kind kind;
        bool sourceIsLink;
        qint64 size;
        struct timespec modified;
        struct timespec changed;
        std::string name;
    };

    std::uint32_t place(std::string_view source, std::string_view destination);
    std::uint32_t addFolder(std::uint32_t parent, std::string name);
    void folderPaths(std::uint32_t folder, std::string &source, std::string &destination) const;

    std::vector<Folder> m_folders;
    Roots m_start;                  // the copy's two folders
    std::uint32_t m_top = NoFolder; // their folder, once an entry lies below
    std::unordered_map<std::uint32_t, Roots> m_roots;
    // The folders of the entry placed last, from its root down, and their
    // two paths, with the lengths those had at each level.
    std::vector<std::uint32_t> m_chain;
    std::vector<std::pair<size_t, size_t>> m_chainEnds;
    std::string m_chainSource;
    std::string m_chainDestination;
    std::vector<Entry> m_entries;
    std::unordered_map<size_t, std::string> m_linkTargets; // by entry, for the few links
    struct Cached {
        std::string device;
        std::string first; // the first file read through its cache
        qint64 files = 0;
    };
    mutable std::vector<Cached> m_throughCache;
};
