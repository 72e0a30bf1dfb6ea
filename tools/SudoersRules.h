#pragma once

// The one sudoers form the simulation understands, checked strictly:
//
//   <user> ALL=(root) NOPASSWD: <absolute command> [<argument> ...]
//
// one rule per line, lines ended by a line feed; blank lines and "#" comments are allowed.
// A carriage return anywhere is a syntax error (the real checker rejects CRLF files too),
// so are non-ASCII bytes, user names outside [A-Za-z0-9._-] and the characters sudoers
// would need escaped in a command (, : = \ #). The stand-in sudo and the visudo fallback
// share this parser, so what the checker passes is exactly what sudo obeys.

#include <string>
#include <vector>

namespace quorvel::sim {

struct SudoersRule {
    std::string user;
    std::vector<std::string> command; // path, then arguments
};

struct SudoersParse {
    bool ok = true;
    int errorLine = 0;   // 1-based, when !ok
    int errorColumn = 0; // 1-based, when !ok
    std::string errorText;
    std::vector<SudoersRule> rules;
};

SudoersParse parseSudoers(const std::string &content);

std::string joinWords(const std::vector<std::string> &words);

} // namespace quorvel::sim
