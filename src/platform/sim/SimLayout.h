#pragma once

// Names shared by the product's sim platform and the stand-in tools. Plain C++ on purpose:
// the stand-ins include it without Qt. What the files hold is described in SimPlatform.h.

namespace quorvel::simlayout {

// Environment variables.
inline constexpr char kRootVariable[] = "QUORVEL_SIM_ROOT";
inline constexpr char kToolsVariable[] = "QUORVEL_TOOLS_DIR";
inline constexpr char kRootRightsVariable[] = "QUORVEL_SIM_ROOT_RIGHTS";
inline constexpr char kCaffeinateIgnoresTermVariable[] = "QUORVEL_SIM_CAFFEINATE_IGNORE_TERM";
inline constexpr char kPmsetIgnoresWritesVariable[] = "QUORVEL_SIM_PMSET_IGNORE_WRITES";
inline constexpr char kAdminAnswerVariable[] = "QUORVEL_SIM_OSASCRIPT_ANSWER";
inline constexpr char kPmsetResetsOnPowerChangeVariable[] = "QUORVEL_SIM_PMSET_RESET_ON_POWER_CHANGE";
inline constexpr char kAdminDelayVariable[] = "QUORVEL_SIM_OSASCRIPT_DELAY_MS";

// Paths relative to the sandbox root.
inline constexpr char kRuleFile[] = "/etc/sudoers.d/quorvel";
inline constexpr char kLegacyRuleFile[] = "/etc/sudoers.d/vemo";
inline constexpr char kStateFolder[] = "/sim";
inline constexpr char kSleepDisabledFile[] = "/sim/disablesleep";
inline constexpr char kPowerFile[] = "/sim/power.json";
inline constexpr char kAdminAnswerFile[] = "/sim/osascript-answer";
inline constexpr char kAdminDelayFile[] = "/sim/osascript-delay";
inline constexpr char kCaffeinateLog[] = "/sim/caffeinate.log";
inline constexpr char kCaffeinateIgnoresTermFile[] = "/sim/caffeinate-ignores-term";
inline constexpr char kPmsetIgnoresWritesFile[] = "/sim/pmset-ignores-writes";
inline constexpr char kPmsetResetsOnPowerChangeFile[] = "/sim/pmset-resets-on-power-change";
// The power file as pmset last wrote under it: how it tells that the power source changed since.
inline constexpr char kPmsetPowerStampFile[] = "/sim/pmset-power-stamp";
inline constexpr char kWakeFile[] = "/sim/wake";
inline constexpr char kDisplayFile[] = "/sim/display";
inline constexpr char kFallbackBinFolder[] = "/bin";

// The strict rule checker that stands in for visudo when the system has none.
inline constexpr char kVisudoFallback[] = "visudo-standin";

} // namespace quorvel::simlayout
