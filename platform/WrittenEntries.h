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
};

// The time a file is written with where it is read back afterwards, and
// keeps until it reads back right: far enough from its source's modified
// time that no repeat takes it as current, so a run killed or a stick
// pulled at any point leaves nothing a repeat would skip unread.
struct timespec uncheckedTime(const struct timespec &modified);

// The entries a copy wrote, in the order it wrote them. A run may write
// millions, and two whole paths each would cost more than the copy itself:
// the two folders an entry lies in are kept once for the files after it in
// the same folder, and each entry keeps its own name. Reading an entry
// builds its paths again.
class WrittenEntries {
public:
    void push_back(const WrittenEntry &entry);
    WrittenEntry operator[](size_t at) const;
    size_t size() const { return m_entries.size(); }
    struct Files {
        qint64 count = 0;
        qint64 bytes = 0;
    };
    Files files() const;
    bool empty() const { return m_entries.empty(); }

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
    // Where the two paths split into folder and name, the names agree
    // (a copy keeps names); where they do not, the folder holds the whole
    // paths and the name is empty.
    struct Folders {
        std::string source;
        std::string destination;
    };
    struct Entry {
        std::uint32_t folder;
        WrittenEntry::Kind kind;
        bool sourceIsLink;
        qint64 size;
        struct timespec modified;
        std::string name;
    };

    std::uint32_t folderOf(std::string_view source, std::string_view destination);

    std::vector<Folders> m_folders;
    std::vector<Entry> m_entries;
    std::unordered_map<size_t, std::string> m_linkTargets; // by entry, for the few links
};
