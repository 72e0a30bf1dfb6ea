#pragma once

#include <QtGlobal>

#include <csignal>
#include <sys/resource.h>

namespace quorvel::test {

// For as long as it lives, no file of this process may grow past `bytes`, as on a full disk: a
// write that would is cut short, then refused (EFBIG rather than the signal).
class FullDisk {
public:
    explicit FullDisk(qint64 bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        const rlimit limit{rlim_t(bytes), m_saved.rlim_max};
        m_ok = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FullDisk() { ::setrlimit(RLIMIT_FSIZE, &m_saved), std::signal(SIGXFSZ, m_handler); }
    bool ok() const { return m_ok; }

private:
    rlimit m_saved{};
    void (*m_handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    bool m_ok = false;
};

} // namespace quorvel::test
