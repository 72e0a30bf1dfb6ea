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
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = rlim_t(bytes);
        m_ok = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FullDisk()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }
    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;
    bool ok() const { return m_ok; }

private:
    rlimit m_saved{};
    void (*m_handler)(int) = nullptr;
    bool m_ok = false;
};

} // namespace quorvel::test
