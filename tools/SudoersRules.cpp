#include "SudoersRules.h"

namespace quorvel::sim {

namespace {

bool isUserChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-'
           || c == '_';
}

struct Word {
    std::string text;
    size_t column; // 0-based
};

std::vector<Word> splitWords(const std::string &line)
{
    std::vector<Word> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > start)
            words.push_back({line.substr(start, i - start), start});
    }
    return words;
}

} // namespace

std::string joinWords(const std::vector<std::string> &words)
{
    std::string text;
    for (const std::string &word : words) {
        if (!text.empty())
            text += ' ';
        text += word;
    }
    return text;
}

SudoersParse parseSudoers(const std::string &content)
{
    SudoersParse result;
    auto fail = [&result](int line, size_t column, const char *text) {
        result.ok = false;
        result.errorLine = line;
        result.errorColumn = static_cast<int>(column) + 1;
        result.errorText = text;
        result.rules.clear();
        return result;
    };

    int lineNumber = 0;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        const std::string line = content.substr(start, end - start);
        start = end + 1;
        ++lineNumber;

        for (size_t i = 0; i < line.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(line[i]);
            if (c == '\r' || c >= 0x80 || (c < 0x20 && c != '\t'))
                return fail(lineNumber, i, "syntax error");
        }
        const std::vector<Word> words = splitWords(line);
        if (words.empty())
            continue;
        if (words[0].text[0] == '#') {
            // "#include" and "#includedir" are directives in sudoers, not comments.
            if (words[0].text.rfind("#include", 0) == 0)
                return fail(lineNumber, words[0].column, "unsupported directive");
            continue;
        }
        if (words.size() < 4)
            return fail(lineNumber, line.size(), "syntax error");
        for (size_t i = 0; i < words[0].text.size(); ++i) {
            if (!isUserChar(words[0].text[i]))
                return fail(lineNumber, words[0].column + i, "syntax error");
        }
        if (words[1].text != "ALL=(root)")
            return fail(lineNumber, words[1].column, "syntax error");
        if (words[2].text != "NOPASSWD:")
            return fail(lineNumber, words[2].column, "syntax error");
        if (words[3].text[0] != '/')
            return fail(lineNumber, words[3].column, "expected a fully-qualified path name");

        SudoersRule rule{words[0].text, {}};
        for (size_t w = 3; w < words.size(); ++w) {
            const size_t bad = words[w].text.find_first_of(",:=\\#");
            if (bad != std::string::npos)
                return fail(lineNumber, words[w].column + bad, "syntax error");
            rule.command.push_back(words[w].text);
        }
        result.rules.push_back(std::move(rule));
    }
    return result;
}

} // namespace quorvel::sim
