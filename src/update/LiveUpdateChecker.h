#pragma once

#include "update/UpdateChecker.h"

#include <QUrl>
#include <memory>
#include <optional>

namespace quorvel {

// The project's own update feed. The manifest is "version.json" inside this folder.
inline constexpr auto defaultUpdateFeedBaseURL = "https://quorvel.app/quorvel/";
// Points the checker at another feed, for tests and demos (for example a local server).
inline constexpr auto updateFeedOverrideVariable = "QUORVEL_UPDATE_FEED_URL";

// The feed folder to use: `overrideValue` when it is an absolute http or https URL (a missing
// trailing slash is added), otherwise the project's feed. An override that cannot be used is
// logged and ignored rather than silently sending checks somewhere odd.
QUrl updateFeedBaseURL(const std::optional<QString> &overrideValue);
// The same, with the override read from the process environment.
QUrl updateFeedBaseURLFromEnvironment();

// The checker as the application runs it: the live network transport with the production
// time-outs and the feed from updateFeedBaseURLFromEnvironment().
std::unique_ptr<UpdateChecker> makeLiveUpdateChecker(std::shared_ptr<Scheduler> scheduler, std::shared_ptr<Clock> clock,
                                                     std::shared_ptr<UserDefaults> defaults, BundleInfo bundle,
                                                     QObject *parent = nullptr);

} // namespace quorvel
