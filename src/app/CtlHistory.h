#pragma once

#include <QStringList>
#include <optional>

namespace quorvel {

// `quorvel ctl history [--days N] [--json]`: the sessions of the history file, read straight
// from it, so it answers whether or not Quorvel runs. Nothing when the words are not the
// history command; otherwise the exit code (0, or 64 for a usage error).
std::optional<int> runCtlHistory(const QStringList &arguments);

} // namespace quorvel
