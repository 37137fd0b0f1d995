#include "fakes/ResourceLimit.h"

#include <QtGlobal>

#include <csignal>

ResourceLimit::ResourceLimit(int resource, rlim_t soft) : m_resource(resource)
{
    ::getrlimit(m_resource, &m_saved);
    const struct rlimit lowered = {soft, m_saved.rlim_max};
    if (::setrlimit(m_resource, &lowered) != 0)
        qFatal("cannot lower the limit of resource %d", m_resource);
    if (m_resource == RLIMIT_FSIZE)
        m_fileSizeSignal = std::signal(SIGXFSZ, SIG_IGN);
}

ResourceLimit::~ResourceLimit()
{
    ::setrlimit(m_resource, &m_saved);
    if (m_resource == RLIMIT_FSIZE)
        std::signal(SIGXFSZ, m_fileSizeSignal);
}
