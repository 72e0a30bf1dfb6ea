#pragma once

#include "state/VemoState.h"

#include <QString>
#include <optional>
#include <utility>
#include <variant>

namespace quorvel {

// Why an operation that may fail did fail: one of our own errors, or an error of the
// platform that we only describe (a temporary file that could not be written, say).
// Callers that map failures to states need to tell the two apart, so the distinction is
// kept instead of folding everything into a VemoError early.
struct Failure {
    std::variant<VemoError, QString> cause;

    static Failure of(VemoError error) { return Failure{error}; }
    static Failure platform(QString description) { return Failure{std::move(description)}; }

    std::optional<VemoError> vemoError() const
    {
        if (const auto *error = std::get_if<VemoError>(&cause))
            return *error;
        return std::nullopt;
    }
    bool operator==(const Failure &) const = default;
};

// The value of an operation that may fail. Nothing here throws: the closed-lid code runs
// under the menu's event handlers and a failure must end up in the state, not unwind.
template <class T = std::monostate> class Result {
public:
    Result() requires std::same_as<T, std::monostate> : m_value(std::monostate{}) {}
    Result(T value)
        : m_value(std::move(value))
    {
    }
    Result(Failure failure)
        : m_value(std::move(failure))
    {
    }
    Result(VemoError error)
        : m_value(Failure::of(error))
    {
    }

    bool ok() const { return m_value.index() == 0; }
    explicit operator bool() const { return ok(); }
    const T &value() const { return std::get<0>(m_value); }
    const Failure &failure() const { return std::get<1>(m_value); }

    bool operator==(const Result &) const = default;

private:
    std::variant<T, Failure> m_value;
};

} // namespace quorvel
