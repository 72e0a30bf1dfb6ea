// Linked into every test executable: before main() runs, the home and XDG folders point at a
// fresh private folder, removed at exit. Under ctest each test already has a home of its own;
// this keeps a test run straight from the build folder (build/tests/<name>) out of the real
// user's preferences, history and log too.

#include <QDir>
#include <QFile>

#include <cstdlib>
#include <string>
#include <unistd.h> // mkdtemp on macOS; glibc has it in <cstdlib>

namespace {

std::string g_home;

void removeHome()
{
    if (!g_home.empty())
        QDir(QFile::decodeName(g_home.c_str())).removeRecursively();
}

const bool g_privateHome = [] {
    char pattern[] = "/tmp/quorvel-test-home-XXXXXX";
    if (!::mkdtemp(pattern))
        return false;
    g_home = pattern;
    ::setenv("HOME", pattern, 1);
    for (const char *variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"}) {
        const std::string folder = g_home + "/" + variable;
        ::setenv(variable, folder.c_str(), 1);
    }
    std::atexit(removeHome);
    return true;
}();

} // namespace
