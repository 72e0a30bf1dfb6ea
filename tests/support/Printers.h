#pragma once

// QCOMPARE needs a toString found by argument-dependent lookup; these make failures of
// state comparisons readable (case index and type) instead of failing to compile.

#include "state/VemoState.h"

#include <QTest>
#include <typeinfo>

namespace quorvel::test {
template <class... Ts> char *describeVariant(const std::variant<Ts...> &v)
{
    return std::visit(
        [&](const auto &alt) {
            return QTest::toString(QStringLiteral("case %1 (%2)").arg(v.index()).arg(typeid(alt).name()));
        },
        v);
}
} // namespace quorvel::test

#define QUORVEL_PRINTABLE_VARIANT(ns)                                                                                  \
    namespace quorvel::ns {                                                                                            \
    template <class... Ts> char *toString(const std::variant<Ts...> &v)                                                \
    {                                                                                                                  \
        return quorvel::test::describeVariant(v);                                                                      \
    }                                                                                                                  \
    }

QUORVEL_PRINTABLE_VARIANT(TimedSession)
QUORVEL_PRINTABLE_VARIANT(DisplayAwake)
QUORVEL_PRINTABLE_VARIANT(Clamshell)
QUORVEL_PRINTABLE_VARIANT(Authorization)
QUORVEL_PRINTABLE_VARIANT(Safety)

namespace quorvel {
inline char *toString(const std::optional<VemoError> &e)
{
    return QTest::toString(e ? toString(*e) : QStringLiteral("none"));
}
template <class... Ts> char *toString(const std::optional<std::variant<Ts...>> &v)
{
    return v ? quorvel::test::describeVariant(*v) : QTest::toString(QStringLiteral("none"));
}
} // namespace quorvel
