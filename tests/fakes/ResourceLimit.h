#pragma once

#include <sys/resource.h>

// A lower soft limit of a resource of the process (RLIMIT_NOFILE,
// RLIMIT_FSIZE) while it lives. Past a file size limit a write is cut
// short and the next one fails with EFBIG; the signal that would end the
// process there is ignored meanwhile.
class ResourceLimit {
public:
    ResourceLimit(int resource, rlim_t soft);
    ~ResourceLimit();
    ResourceLimit(const ResourceLimit &) = delete;
    ResourceLimit &operator=(const ResourceLimit &) = delete;

private:
    const int m_resource;
    struct rlimit m_saved{};
    void (*m_fileSizeSignal)(int) = nullptr;
};
