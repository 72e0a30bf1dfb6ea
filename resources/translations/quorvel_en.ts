<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name></name>
    <message id="aboutApp">
        <source>About Quorvel</source>
        <translation>About Quorvel</translation>
    </message>
    <message id="aboutClosedLidAuthorization">
        <source>About Closed-Lid Authorization</source>
        <translation>About Closed-Lid Authorization</translation>
    </message>
    <message id="activeDisplayOn">
        <source>On · Display stays on</source>
        <translation>On · Display stays on</translation>
    </message>
    <message id="activity">
        <source>Activity</source>
        <translation>Activity</translation>
    </message>
    <message id="activityAppEndedUnexpectedly">
        <source>Quorvel ended unexpectedly</source>
        <translation>Quorvel ended unexpectedly</translation>
    </message>
    <message id="activityAxisHours">
        <source>%1 h</source>
        <translation>%1 h</translation>
    </message>
    <message id="activityBatterySafety">
        <source>Stopped for battery safety</source>
        <translation>Stopped for battery safety</translation>
    </message>
    <message id="activityBatterySafetyLevel">
        <source>Stopped for battery safety at %1%</source>
        <translation>Stopped for battery safety at %1%</translation>
    </message>
    <message id="activityChartAccessible">
        <source>Hours kept awake per day</source>
        <translation>Hours kept awake per day</translation>
    </message>
    <message id="activityChartHint">
        <source>Point at a day, or use the arrow keys, to see its figures</source>
        <translation>Point at a day, or use the arrow keys, to see its figures</translation>
    </message>
    <message id="activityColumnDuration">
        <source>Duration</source>
        <translation>Duration</translation>
    </message>
    <message id="activityColumnEnding">
        <source>How it ended</source>
        <translation>How it ended</translation>
    </message>
    <message id="activityColumnMode">
        <source>Mode</source>
        <translation>Mode</translation>
    </message>
    <message id="activityColumnStart">
        <source>Started</source>
        <translation>Started</translation>
    </message>
    <message id="activityDayDetail">
        <source>%1: idle-sleep prevention %2, closed-lid mode %3</source>
        <translation>%1: idle-sleep prevention %2, closed-lid mode %3</translation>
    </message>
    <message id="activityDayFormat">
        <source>MMM d</source>
        <translation>MMM d</translation>
    </message>
    <message id="activityDayLongFormat">
        <source>dddd, MMMM d</source>
        <translation>dddd, MMMM d</translation>
    </message>
    <message id="activityDisplayKeptOn">
        <source>%1, display kept on</source>
        <translation>%1, display kept on</translation>
    </message>
    <message id="activityEmptyBody">
        <source>Each time Quorvel keeps this computer awake, by preventing idle sleep or in closed-lid mode, the session appears here: when it started, how long it lasted and how it ended.</source>
        <translation>Each time Quorvel keeps this computer awake, by preventing idle sleep or in closed-lid mode, the session appears here: when it started, how long it lasted and how it ended.</translation>
    </message>
    <message id="activityEmptyTitle">
        <source>No sessions in this period</source>
        <translation>No sessions in this period</translation>
    </message>
    <message id="activityEndedAtQuit">
        <source>Ended when Quorvel quit</source>
        <translation>Ended when Quorvel quit</translation>
    </message>
    <message id="activityEndedByItself">
        <source>Ended by itself</source>
        <translation>Ended by itself</translation>
    </message>
    <message id="activityFailed">
        <source>Failed</source>
        <translation>Failed</translation>
    </message>
    <message id="activityHistorySince">
        <source>History since %1</source>
        <translation>History since %1</translation>
    </message>
    <message id="activityHistorySinceCapped">
        <source>History since %1: only the latest 1,000 events are kept</source>
        <translation>History since %1: only the latest 1,000 events are kept</translation>
    </message>
    <message id="activityHours">
        <source>%1 h</source>
        <translation>%1 h</translation>
    </message>
    <message id="activityHoursMinutes">
        <source>%1 h %2 min</source>
        <translation>%1 h %2 min</translation>
    </message>
    <message id="activityLeftOverRestored">
        <source>Left over, restored at the next launch</source>
        <translation>Left over, restored at the next launch</translation>
    </message>
    <message id="activityLeftOverTakenOver">
        <source>Left over, taken over at the next launch</source>
        <translation>Left over, taken over at the next launch</translation>
    </message>
    <message id="activityLegendIdle">
        <source>Idle-sleep prevention</source>
        <translation>Idle-sleep prevention</translation>
    </message>
    <message id="activityLegendLid">
        <source>Closed-lid mode</source>
        <translation>Closed-lid mode</translation>
    </message>
    <message id="activityMinutes">
        <source>%1 min</source>
        <translation>%1 min</translation>
    </message>
    <message id="activityModeCommand">
        <source>Bound to %1</source>
        <translation>Bound to %1</translation>
    </message>
    <message id="activityModeIndefinite">
        <source>Indefinitely</source>
        <translation>Indefinitely</translation>
    </message>
    <message id="activityModeLidAdapter">
        <source>Closed-lid, on power adapter</source>
        <translation>Closed-lid, on power adapter</translation>
    </message>
    <message id="activityModeLidBattery">
        <source>Closed-lid, on battery</source>
        <translation>Closed-lid, on battery</translation>
    </message>
    <message id="activityModeLidBatteryLevel">
        <source>Closed-lid, on battery at %1%</source>
        <translation>Closed-lid, on battery at %1%</translation>
    </message>
    <message id="activityModeNotStarted">
        <source>Could not start</source>
        <translation>Could not start</translation>
    </message>
    <message id="activityModeProcess">
        <source>Bound to process %1</source>
        <translation>Bound to process %1</translation>
    </message>
    <message id="activityModeTimed">
        <source>Timed, %1</source>
        <translation>Timed, %1</translation>
    </message>
    <message id="activityModeUntil">
        <source>Until %1</source>
        <translation>Until %1</translation>
    </message>
    <message id="activityOngoing">
        <source>Still running</source>
        <translation>Still running</translation>
    </message>
    <message id="activityPeriod">
        <source>Last %1 days</source>
        <translation>Last %1 days</translation>
    </message>
    <message id="activityPeriodToday">
        <source>Today</source>
        <translation>Today</translation>
    </message>
    <message id="activityRecentSessions">
        <source>Recent sessions</source>
        <translation>Recent sessions</translation>
    </message>
    <message id="activityReportHeading">
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message id="activitySinceFormat">
        <source>MMMM d, yyyy</source>
        <translation>MMMM d, yyyy</translation>
    </message>
    <message id="activityStartFormat">
        <source>MMM d, h:mm AP</source>
        <translation>MMM d, h:mm AP</translation>
    </message>
    <message id="activityStoppedByUser">
        <source>Stopped by you</source>
        <translation>Stopped by you</translation>
    </message>
    <message id="activityTotals">
        <source>Idle-sleep prevention %1 · Closed-lid mode %2 · Sessions: %3</source>
        <translation>Idle-sleep prevention %1 · Closed-lid mode %2 · Sessions: %3</translation>
    </message>
    <message id="activityTotalsFailures">
        <source>Failures: %1</source>
        <translation>Failures: %1</translation>
    </message>
    <message id="activityTotalsSafetyStops">
        <source>Battery safety stops: %1</source>
        <translation>Battery safety stops: %1</translation>
    </message>
    <message id="activityUnderAMinute">
        <source>Under a minute</source>
        <translation>Under a minute</translation>
    </message>
    <message id="add30m">
        <source>+30 min</source>
        <translation>+30 min</translation>
    </message>
    <message id="add30Minutes">
        <source>Add 30 minutes</source>
        <translation>Add 30 minutes</translation>
    </message>
    <message id="adjustInSettings">
        <source>Adjust in Settings</source>
        <translation>Adjust in Settings</translation>
    </message>
    <message id="authDialogFollowsSystem">
        <source>The password dialog comes from macOS and appears in the system language.</source>
        <translation>The password dialog comes from macOS and appears in the system language.</translation>
    </message>
    <message id="authorizationBenefit">
        <source>Closed-lid mode changes a system power setting, which needs administrator approval once. After that, Quorvel can turn it on and off without asking for your password.</source>
        <translation>Closed-lid mode changes a system power setting, which needs administrator approval once. After that, Quorvel can turn it on and off without asking for your password.</translation>
    </message>
    <message id="authorizationFailed">
        <source>Authorization failed</source>
        <translation>Authorization failed</translation>
    </message>
    <message id="authorizationInfo">
        <source>About Authorization</source>
        <translation>About Authorization</translation>
    </message>
    <message id="authorizationNeeded">
        <source>Authorization needed</source>
        <translation>Authorization needed</translation>
    </message>
    <message id="authorizationRequired">
        <source>Authorization required</source>
        <translation>Authorization required</translation>
    </message>
    <message id="authorizationRequiredAlert">
        <source>Authorize Closed-Lid Mode?</source>
        <translation>Authorize Closed-Lid Mode?</translation>
    </message>
    <message id="authorizationRevokedState">
        <source>Authorization revoked</source>
        <translation>Authorization revoked</translation>
    </message>
    <message id="authorized">
        <source>Authorized</source>
        <translation>Authorized</translation>
    </message>
    <message id="authorizedClosedLidAvailable">
        <source>Closed-lid mode can be turned on at any time.</source>
        <translation>Closed-lid mode can be turned on at any time.</translation>
    </message>
    <message id="authorizeNow">
        <source>Authorize Now</source>
        <translation>Authorize Now</translation>
    </message>
    <message id="authorizeOnFirstUse">
        <source>You’ll be asked to authorize the first time you turn on closed-lid mode.</source>
        <translation>You’ll be asked to authorize the first time you turn on closed-lid mode.</translation>
    </message>
    <message id="authorizing">
        <source>Authorizing…</source>
        <translation>Authorizing…</translation>
    </message>
    <message id="autoCheckUpdates">
        <source>Check for Updates Automatically</source>
        <translation>Check for Updates Automatically</translation>
    </message>
    <message id="autoCheckUpdatesCaption">
        <source>Checks at launch, at most once a day.</source>
        <translation>Checks at launch, at most once a day.</translation>
    </message>
    <message id="autoExitClause">
        <extracomment>Follows belowPrefix and the threshold percentage on one line.</extracomment>
        <source>, closed-lid mode turns off automatically.</source>
        <translation>, closed-lid mode turns off automatically.</translation>
    </message>
    <message id="autoExited">
        <source>Turned off – battery low</source>
        <translation>Turned off – battery low</translation>
    </message>
    <message id="batteryLowAutoExit">
        <source>The battery reached your low-battery limit, so closed-lid mode was turned off and normal sleep was restored. Connect the power adapter to turn it on again, or lower the limit in Settings.</source>
        <translation>The battery reached your low-battery limit, so closed-lid mode was turned off and normal sleep was restored. Connect the power adapter to turn it on again, or lower the limit in Settings.</translation>
    </message>
    <message id="belowPrefix">
        <extracomment>Precedes the threshold percentage; autoExitClause follows it.</extracomment>
        <source>Below </source>
        <translation>Below </translation>
    </message>
    <message id="cancel">
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message id="cannotClearSleepPrevention">
        <source>Sleep is still disabled by an earlier session, and Quorvel can’t turn it back on without authorization.</source>
        <translation>Sleep is still disabled by an earlier session, and Quorvel can’t turn it back on without authorization.</translation>
    </message>
    <message id="checkForUpdates">
        <source>Check for Updates</source>
        <translation>Check for Updates</translation>
    </message>
    <message id="closeAndRevoke">
        <source>Turn Off and Revoke</source>
        <translation>Turn Off and Revoke</translation>
    </message>
    <message id="closedLidDescription">
        <source>Keeps your Mac running with the lid closed, even without an external display.</source>
        <translation>Keeps your Mac running with the lid closed, even without an external display.</translation>
    </message>
    <message id="closedLidEnableFailed">
        <source>Couldn’t Turn On Closed-Lid Mode</source>
        <translation>Couldn’t Turn On Closed-Lid Mode</translation>
    </message>
    <message id="closedLidMode">
        <source>Closed-Lid Mode</source>
        <translation>Closed-Lid Mode</translation>
    </message>
    <message id="closedLidOneTimeAuth">
        <source>You authorize only once. It allows Quorvel to switch the sleep setting with pmset, and nothing else.</source>
        <translation>You authorize only once. It allows Quorvel to switch the sleep setting with pmset, and nothing else.</translation>
    </message>
    <message id="closedLidPreventionNeedsAuth">
        <source>Sleep is still disabled by an earlier session. Authorize Quorvel to restore it.</source>
        <translation>Sleep is still disabled by an earlier session. Authorize Quorvel to restore it.</translation>
    </message>
    <message id="closedLidPreventionOn">
        <source>Sleep Is Disabled</source>
        <translation>Sleep Is Disabled</translation>
    </message>
    <message id="closedLidPreventionUnmanagedDetail">
        <source>An earlier session left sleep disabled. Authorize Quorvel to take it over or to restore normal sleep.</source>
        <translation>An earlier session left sleep disabled. Authorize Quorvel to take it over or to restore normal sleep.</translation>
    </message>
    <message id="closedLidRunning">
        <source>Closed-lid mode is on</source>
        <translation>Closed-lid mode is on</translation>
    </message>
    <message id="closedLidRunningBatteryStatus">
        <extracomment>%1: battery level in percent, %2: auto-exit threshold in percent.</extracomment>
        <source>On battery · %1% · turns off at %2%</source>
        <translation>On battery · %1% · turns off at %2%</translation>
    </message>
    <message id="closedLidRunningLowBatteryStatus">
        <extracomment>%1: battery level in percent, %2: auto-exit threshold in percent.</extracomment>
        <source>Battery low · %1% · turns off at %2%</source>
        <translation>Battery low · %1% · turns off at %2%</translation>
    </message>
    <message id="closedLidRunningPowerStatus">
        <source>On · Power adapter</source>
        <translation>On · Power adapter</translation>
    </message>
    <message id="closedLidUnavailableKde">
        <source>Not available on KDE Plasma</source>
        <translation>Not available on KDE Plasma</translation>
    </message>
    <message id="closedLidUnavailableKdeHint">
        <source>KDE Plasma handles the lid itself. To keep the computer running with the lid closed, set “When laptop lid closed” to “Do nothing” in System Settings › Power Management.</source>
        <translation>KDE Plasma handles the lid itself. To keep the computer running with the lid closed, set “When laptop lid closed” to “Do nothing” in System Settings › Power Management.</translation>
    </message>
    <message id="confirmQuit">
        <source>Quit Quorvel?</source>
        <translation>Quit Quorvel?</translation>
    </message>
    <message id="copyrightNotice">
        <source>Copyright © Quorvel. All rights reserved.</source>
        <translation>Copyright © Quorvel. All rights reserved.</translation>
    </message>
    <message id="couldNotTurnOn">
        <source>Couldn’t turn on</source>
        <translation>Couldn’t turn on</translation>
    </message>
    <message id="denied">
        <source>Denied</source>
        <translation>Denied</translation>
    </message>
    <message id="ellipsis">
        <source>…</source>
        <translation>…</translation>
    </message>
    <message id="english">
        <extracomment>Language names are shown in their own language.</extracomment>
        <source>English</source>
        <translation>English</translation>
    </message>
    <message id="failed">
        <source>Failed</source>
        <translation>Failed</translation>
    </message>
    <message id="followSystem">
        <source>Follow System</source>
        <translation>Follow System</translation>
    </message>
    <message id="forceQuit">
        <source>Quit Anyway</source>
        <translation>Quit Anyway</translation>
    </message>
    <message id="general">
        <source>General</source>
        <translation>General</translation>
    </message>
    <message id="help">
        <source>Help</source>
        <translation>Help</translation>
    </message>
    <message id="idleSleep">
        <source>Prevent Idle Sleep</source>
        <translation>Prevent Idle Sleep</translation>
    </message>
    <message id="idleWakeMode">
        <source>Keep-awake mode</source>
        <translation>Keep-awake mode</translation>
    </message>
    <message id="indefinite">
        <source>Indefinitely</source>
        <translation>Indefinitely</translation>
    </message>
    <message id="keepAwake">
        <source>Keep Awake</source>
        <translation>Keep Awake</translation>
    </message>
    <message id="keepDisplayOn">
        <source>Keep Display On</source>
        <translation>Keep Display On</translation>
    </message>
    <message id="sessionWhileRuns">
        <source>While %1 runs</source>
        <translation>While %1 runs</translation>
    </message>
    <message id="sessionUntil">
        <source>Until %1</source>
        <translation>Until %1</translation>
    </message>
    <message id="sessionEndedTitle">
        <source>Keep-awake session ended</source>
        <translation>Keep-awake session ended</translation>
    </message>
    <message id="sessionEndedTimeUp">
        <source>Time is up; your computer may sleep again.</source>
        <translation>Time is up; your computer may sleep again.</translation>
    </message>
    <message id="sessionEndedCommand">
        <extracomment>%1: the command's name, as typed (make).</extracomment>
        <source>%1 finished; your computer may sleep again.</source>
        <translation>%1 finished; your computer may sleep again.</translation>
    </message>
    <message id="sessionEndedProcess">
        <extracomment>%1: the process's name, or its number when the name is unknown.</extracomment>
        <source>%1 has exited; your computer may sleep again.</source>
        <translation>%1 has exited; your computer may sleep again.</translation>
    </message>
    <message id="sessionEndedUntil">
        <extracomment>%1: the end time in local time (18:30).</extracomment>
        <source>It is %1; your computer may sleep again.</source>
        <translation>It is %1; your computer may sleep again.</translation>
    </message>
    <message id="closedLidStoppedTitle">
        <source>Closed-lid mode turned off</source>
        <translation>Closed-lid mode turned off</translation>
    </message>
    <message id="closedLidStoppedBody">
        <extracomment>%1: battery level in percent.</extracomment>
        <source>Battery at %1%. Your computer sleeps again when its lid is closed.</source>
        <translation>Battery at %1%. Your computer sleeps again when its lid is closed.</translation>
    </message>
    <message id="keepingAwake">
        <source>Keeping your Mac awake</source>
        <translation>Keeping your Mac awake</translation>
    </message>
    <message id="keepingRunning">
        <source>Keeping your Mac running</source>
        <translation>Keeping your Mac running</translation>
    </message>
    <message id="keepTasksRunning">
        <source>Keeps your Mac awake while your work runs.</source>
        <translation>Keeps your Mac awake while your work runs.</translation>
    </message>
    <message id="language">
        <source>Language</source>
        <translation>Language</translation>
    </message>
    <message id="lastOpFailedHint">
        <source>The last attempt didn’t succeed. Check the power source and the authorization, then try again.</source>
        <translation>The last attempt didn’t succeed. Check the power source and the authorization, then try again.</translation>
    </message>
    <message id="launchAtLogin">
        <source>Open at Login</source>
        <translation>Open at Login</translation>
    </message>
    <message id="launchAtLoginOffFailed">
        <source>Couldn’t remove Quorvel from Login Items.</source>
        <translation>Couldn’t remove Quorvel from Login Items.</translation>
    </message>
    <message id="launchAtLoginOnFailed">
        <source>Couldn’t add Quorvel to Login Items.</source>
        <translation>Couldn’t add Quorvel to Login Items.</translation>
    </message>
    <message id="learnMore">
        <source>Learn More</source>
        <translation>Learn More</translation>
    </message>
    <message id="lowBattery">
        <source>Battery low – closed-lid mode will turn off soon</source>
        <translation>Battery low – closed-lid mode will turn off soon</translation>
    </message>
    <message id="lowBatteryProtection">
        <source>Low-Battery Protection</source>
        <translation>Low-Battery Protection</translation>
    </message>
    <message id="lowBatteryThresholdHint">
        <extracomment>%1: auto-exit threshold in percent, %2: top of the warning band (threshold + 5).</extracomment>
        <source>Closed-lid mode turns off at %1% and warns you from %2%.</source>
        <translation>Closed-lid mode turns off at %1% and warns you from %2%.</translation>
    </message>
    <message id="menuBarCountdown">
        <source>Show Countdown in Menu Bar</source>
        <translation>Show Countdown in Menu Bar</translation>
    </message>
    <message id="menuBarCountdownCaption">
        <source>Shows the remaining time next to the menu bar icon.</source>
        <translation>Shows the remaining time next to the menu bar icon.</translation>
    </message>
    <message id="notifyWhenSessionEnds">
        <source>Notify When a Session Ends</source>
        <translation>Notify When a Session Ends</translation>
    </message>
    <message id="notifyWhenSessionEndsCaption">
        <source>When a session ends by itself, or closed-lid mode turns off to save the battery.</source>
        <translation>When a session ends by itself, or closed-lid mode turns off to save the battery.</translation>
    </message>
    <message id="menuBarSectionTitle">
        <source>Menu Bar</source>
        <translation>Menu Bar</translation>
    </message>
    <message id="needsAttention">
        <source>Quorvel needs your attention</source>
        <translation>Quorvel needs your attention</translation>
    </message>
    <message id="notActive">
        <source>Not active</source>
        <translation>Not active</translation>
    </message>
    <message id="noAuthorizationNeeded">
        <source>No administrator access needed. The locks end when a mode stops or Quorvel quits.</source>
        <translation>No administrator access needed. The locks end when a mode stops or Quorvel quits.</translation>
    </message>
    <message id="notDetected">
        <source>Not detected</source>
        <translation>Not detected</translation>
    </message>
    <message id="off">
        <source>Off</source>
        <translation>Off</translation>
    </message>
    <message id="offState">
        <source>Off</source>
        <translation>Off</translation>
    </message>
    <message id="onPower">
        <source>On Power Adapter</source>
        <translation>On Power Adapter</translation>
    </message>
    <message id="openActivity">
        <source>Activity…</source>
        <translation>Activity…</translation>
    </message>
    <message id="showActivity">
        <source>Show Activity…</source>
        <translation>Show Activity…</translation>
    </message>
    <message id="openSettings">
        <source>Settings…</source>
        <translation>Settings…</translation>
    </message>
    <message id="openSystemSettings">
        <source>Allow in System Settings…</source>
        <translation>Allow in System Settings…</translation>
    </message>
    <message id="permanentlyPreventing">
        <source>Preventing sleep indefinitely</source>
        <translation>Preventing sleep indefinitely</translation>
    </message>
    <message id="pleaseWait">
        <source>Please wait…</source>
        <translation>Please wait…</translation>
    </message>
    <message id="preventingIdleSleep">
        <source>Preventing idle sleep</source>
        <translation>Preventing idle sleep</translation>
    </message>
    <message id="privacyPolicy">
        <source>Privacy Policy</source>
        <translation>Privacy Policy</translation>
    </message>
    <message id="projectHomepage">
        <source>Website</source>
        <translation>Website</translation>
    </message>
    <message id="quit">
        <source>Quit</source>
        <translation>Quit</translation>
    </message>
    <message id="quitApp">
        <source>Quit Quorvel</source>
        <translation>Quit Quorvel</translation>
    </message>
    <message id="quitClearAllModes">
        <source>Quitting turns off every mode and restores your Mac’s normal sleep settings.</source>
        <translation>Quitting turns off every mode and restores your Mac’s normal sleep settings.</translation>
    </message>
    <message id="quitRestoreFailedMessage">
        <source>Quorvel couldn’t turn sleep back on. If you quit now, your Mac stays awake, even with its lid closed, until you run “sudo pmset -a disablesleep 0” in Terminal.</source>
        <translation>Quorvel couldn’t turn sleep back on. If you quit now, your Mac stays awake, even with its lid closed, until you run “sudo pmset -a disablesleep 0” in Terminal.</translation>
    </message>
    <message id="readOnlyNoAuth">
        <source>Sleep disabled · authorization needed</source>
        <translation>Sleep disabled · authorization needed</translation>
    </message>
    <message id="reauthorize">
        <source>Authorize again to use closed-lid mode.</source>
        <translation>Authorize again to use closed-lid mode.</translation>
    </message>
    <message id="remaining">
        <source>Remaining</source>
        <translation>Remaining</translation>
    </message>
    <message id="restoreFailed">
        <source>Couldn’t restore sleep</source>
        <translation>Couldn’t restore sleep</translation>
    </message>
    <message id="retry">
        <source>Try Again</source>
        <translation>Try Again</translation>
    </message>
    <message id="retryEllipsis">
        <source>Retry…</source>
        <translation>Retry…</translation>
    </message>
    <message id="revokeAuthorization">
        <source>Revoke Authorization</source>
        <translation>Revoke Authorization</translation>
    </message>
    <message id="revoked">
        <source>Revoked</source>
        <translation>Revoked</translation>
    </message>
    <message id="revokeReauthNotice">
        <source>After revoking, you’ll need to authorize again to use closed-lid mode.</source>
        <translation>After revoking, you’ll need to authorize again to use closed-lid mode.</translation>
    </message>
    <message id="revokeRestoreFailedMessage">
        <source>Quorvel couldn’t restore the normal sleep setting, so the authorization was kept. Try again, or cancel and keep it for now.</source>
        <translation>Quorvel couldn’t restore the normal sleep setting, so the authorization was kept. Try again, or cancel and keep it for now.</translation>
    </message>
    <message id="revokeRestoreFailedTitle">
        <source>Couldn’t Restore Sleep</source>
        <translation>Couldn’t Restore Sleep</translation>
    </message>
    <message id="revokeWhileClamshellRunningMessage">
        <source>Closed-lid mode is keeping sleep disabled. Quorvel will turn it off and restore normal sleep before revoking the authorization.</source>
        <translation>Closed-lid mode is keeping sleep disabled. Quorvel will turn it off and restore normal sleep before revoking the authorization.</translation>
    </message>
    <message id="revokeWhileClamshellRunningTitle">
        <source>Turn Off Closed-Lid Mode First?</source>
        <translation>Turn Off Closed-Lid Mode First?</translation>
    </message>
    <message id="revoking">
        <source>Revoking…</source>
        <translation>Revoking…</translation>
    </message>
    <message id="runningOnBattery">
        <source>Running on Battery</source>
        <translation>Running on Battery</translation>
    </message>
    <message id="runningOnSystemPolicy">
        <source>Following the system’s sleep settings</source>
        <translation>Following the system’s sleep settings</translation>
    </message>
    <message id="settings">
        <source>Settings</source>
        <translation>Settings</translation>
    </message>
    <message id="simplifiedChinese">
        <extracomment>Language names are shown in their own language.</extracomment>
        <source>简体中文</source>
        <translation>简体中文</translation>
    </message>
    <message id="sleepBlocked">
        <source>Sleep disabled by an earlier session</source>
        <translation>Sleep disabled by an earlier session</translation>
    </message>
    <message id="stop">
        <source>Stop</source>
        <translation>Stop</translation>
    </message>
    <message id="subtract30m">
        <source>−30 min</source>
        <translation>−30 min</translation>
    </message>
    <message id="subtract30Minutes">
        <source>Subtract 30 minutes</source>
        <translation>Subtract 30 minutes</translation>
    </message>
    <message id="suggestManualCloseOrAuth">
        <source>Authorize Quorvel in Settings to restore it, or after quitting run “sudo pmset -a disablesleep 0” in Terminal.</source>
        <translation>Authorize Quorvel in Settings to restore it, or after quitting run “sudo pmset -a disablesleep 0” in Terminal.</translation>
    </message>
    <message id="switching">
        <source>Switching…</source>
        <translation>Switching…</translation>
    </message>
    <message id="systemAuthorization">
        <source>System Authorization</source>
        <translation>System Authorization</translation>
    </message>
    <message id="systemDefault">
        <source>System default</source>
        <translation>System default</translation>
    </message>
    <message id="takesEffectNextLaunch">
        <source>Some system texts change at the next launch.</source>
        <translation>Some system texts change at the next launch.</translation>
    </message>
    <message id="thresholdDecrease">
        <source>Lower the threshold by 5%</source>
        <translation>Lower the threshold by 5%</translation>
    </message>
    <message id="thresholdIncrease">
        <source>Raise the threshold by 5%</source>
        <translation>Raise the threshold by 5%</translation>
    </message>
    <message id="timed">
        <source>Timed</source>
        <translation>Timed</translation>
    </message>
    <message id="toggleClosedLidHint">
        <source>Keeps your Mac running with the lid closed</source>
        <translation>Keeps your Mac running with the lid closed</translation>
    </message>
    <message id="toggleKeepDisplayHint">
        <source>Keeps the display on while your Mac stays awake</source>
        <translation>Keeps the display on while your Mac stays awake</translation>
    </message>
    <message id="turningOff">
        <source>Turning off…</source>
        <translation>Turning off…</translation>
    </message>
    <message id="turningOn">
        <source>Turning on…</source>
        <translation>Turning on…</translation>
    </message>
    <message id="turnOnFailed">
        <source>Couldn’t turn on</source>
        <translation>Couldn’t turn on</translation>
    </message>
    <message id="updateAvailableFormat">
        <extracomment>%1: the published version, for example 1.5.0.</extracomment>
        <source>Quorvel %1 is available</source>
        <translation>Quorvel %1 is available</translation>
    </message>
    <message id="updateCheckFailed">
        <source>Couldn’t check for updates</source>
        <translation>Couldn’t check for updates</translation>
    </message>
    <message id="updateChecking">
        <source>Checking for updates…</source>
        <translation>Checking for updates…</translation>
    </message>
    <message id="updateDownload">
        <source>Download</source>
        <translation>Download</translation>
    </message>
    <message id="updateUpToDate">
        <source>Quorvel is up to date</source>
        <translation>Quorvel is up to date</translation>
    </message>
    <message id="viaClosedLidMode">
        <source>Kept awake by closed-lid mode</source>
        <translation>Kept awake by closed-lid mode</translation>
    </message>
    <message id="wakeSession">
        <source>On while your Mac stays awake</source>
        <translation>On while your Mac stays awake</translation>
    </message>
    <message id="willKeepRunning">
        <source>Your Mac keeps running with the lid closed.</source>
        <translation>Your Mac keeps running with the lid closed.</translation>
    </message>
    <message id="ctlBlockedByClosedLid">
        <source>Closed-lid mode is keeping your Mac awake. Turn it off first.</source>
        <translation>Closed-lid mode is keeping your Mac awake. Turn it off first.</translation>
    </message>
    <message id="ctlBlockedByLeftover">
        <source>Sleep is still disabled from an earlier run. Restore it from the Quorvel menu first.</source>
        <translation>Sleep is still disabled from an earlier run. Restore it from the Quorvel menu first.</translation>
    </message>
    <message id="ctlHistoryDaysInvalid">
        <source>--days takes a whole number of days from 1 to %1</source>
        <translation>--days takes a whole number of days from 1 to %1</translation>
    </message>
    <message id="ctlHistoryUsage">
        <source>usage: quorvel ctl history [--days N] [--json]</source>
        <translation>usage: quorvel ctl history [--days N] [--json]</translation>
    </message>
    <message id="ctlNoTimedSession">
        <source>No timed session is running.</source>
        <translation>No timed session is running.</translation>
    </message>
    <message id="ctlProcessGone">
        <source>Process %1 is not running.</source>
        <translation>Process %1 is not running.</translation>
    </message>
    <message id="ctlUntilPassed">
        <source>That time has already passed.</source>
        <translation>That time has already passed.</translation>
    </message>
    <message id="ctlUntilTooFar">
        <source>That time is more than 8 hours away, the longest timed session.</source>
        <translation>That time is more than 8 hours away, the longest timed session.</translation>
    </message>
    <message id="ctlAlreadyBound">
        <source>A session is already kept for another job; stop it first.</source>
        <translation>A session is already kept for another job; stop it first.</translation>
    </message>
    <message id="ctlBadRequest">
        <source>The request is not valid.</source>
        <translation>The request is not valid.</translation>
    </message>
    <message id="ctlNoSession">
        <source>Start keeping your Mac awake first.</source>
        <translation>Start keeping your Mac awake first.</translation>
    </message>
    <message id="ctlNotRunning">
        <source>Quorvel is not running.</source>
        <translation>Quorvel is not running.</translation>
    </message>
    <message id="ctlPermissionDenied">
        <source>Permission denied: the socket belongs to another user.</source>
        <translation>Permission denied: the socket belongs to another user.</translation>
    </message>
    <message id="ctlBusy">
        <source>Quorvel is busy; try again in a moment.</source>
        <translation>Quorvel is busy; try again in a moment.</translation>
    </message>
    <message id="ctlQuitNotConfirmed">
        <source>Quorvel is still running: the quit was not confirmed.</source>
        <translation>Quorvel is still running: the quit was not confirmed.</translation>
    </message>
</context>
</TS>
