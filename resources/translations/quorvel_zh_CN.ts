<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
<context>
    <name></name>
    <message id="aboutApp">
        <source>About Quorvel</source>
        <translation>关于 Quorvel</translation>
    </message>
    <message id="aboutClosedLidAuthorization">
        <source>About Closed-Lid Authorization</source>
        <translation>关于合盖模式授权</translation>
    </message>
    <message id="activeDisplayOn">
        <source>On · Display stays on</source>
        <translation>已开启 · 显示器保持亮起</translation>
    </message>
    <message id="activity">
        <source>Activity</source>
        <translation>活动</translation>
    </message>
    <message id="activityAppEndedUnexpectedly">
        <source>Quorvel ended unexpectedly</source>
        <translation>Quorvel 意外退出</translation>
    </message>
    <message id="activityAxisHours">
        <source>%1 h</source>
        <translation>%1 小时</translation>
    </message>
    <message id="activityBatterySafety">
        <source>Stopped for battery safety</source>
        <translation>因电池安全而停止</translation>
    </message>
    <message id="activityBatterySafetyLevel">
        <source>Stopped for battery safety at %1%</source>
        <translation>电量 %1% 时因电池安全而停止</translation>
    </message>
    <message id="activityChartAccessible">
        <source>Hours kept awake per day</source>
        <translation>每天保持唤醒的时长</translation>
    </message>
    <message id="activityChartHint">
        <source>Point at a day, or use the arrow keys, to see its figures</source>
        <translation>指向某一天或使用方向键，查看当天的时长</translation>
    </message>
    <message id="activityColumnDuration">
        <source>Duration</source>
        <translation>时长</translation>
    </message>
    <message id="activityColumnEnding">
        <source>How it ended</source>
        <translation>结束方式</translation>
    </message>
    <message id="activityColumnMode">
        <source>Mode</source>
        <translation>模式</translation>
    </message>
    <message id="activityColumnStart">
        <source>Started</source>
        <translation>开始时间</translation>
    </message>
    <message id="activityDayDetail">
        <source>%1: idle-sleep prevention %2, closed-lid mode %3</source>
        <translation>%1：阻止闲置睡眠 %2，合盖模式 %3</translation>
    </message>
    <message id="activityDayFormat">
        <source>MMM d</source>
        <translation>M月d日</translation>
    </message>
    <message id="activityDayLongFormat">
        <source>dddd, MMMM d</source>
        <translation>M月d日 dddd</translation>
    </message>
    <message id="activityDisplayKeptOn">
        <source>%1, display kept on</source>
        <translation>%1，显示器保持亮起</translation>
    </message>
    <message id="activityEmptyBody">
        <source>Each time Quorvel keeps this computer awake, by preventing idle sleep or in closed-lid mode, the session appears here: when it started, how long it lasted and how it ended.</source>
        <translation>每当 Quorvel 通过阻止闲置睡眠或合盖模式让这台电脑保持唤醒，该会话就会显示在这里：何时开始、持续多久、如何结束。</translation>
    </message>
    <message id="activityEmptyTitle">
        <source>No sessions in this period</source>
        <translation>这段时间内没有会话</translation>
    </message>
    <message id="activityEndedAtQuit">
        <source>Ended when Quorvel quit</source>
        <translation>随 Quorvel 退出而结束</translation>
    </message>
    <message id="activityEndedByItself">
        <source>Ended by itself</source>
        <translation>自行结束</translation>
    </message>
    <message id="activityFailed">
        <source>Failed</source>
        <translation>失败</translation>
    </message>
    <message id="activityHistorySince">
        <source>History since %1</source>
        <translation>历史记录始于 %1</translation>
    </message>
    <message id="activityHistorySinceCapped">
        <source>History since %1: only the latest 1,000 events are kept</source>
        <translation>历史记录始于 %1：仅保留最近 1,000 条事件</translation>
    </message>
    <message id="activityHours">
        <source>%1 h</source>
        <translation>%1 小时</translation>
    </message>
    <message id="activityHoursMinutes">
        <source>%1 h %2 min</source>
        <translation>%1 小时 %2 分钟</translation>
    </message>
    <message id="activityLeftOverRestored">
        <source>Left over, restored at the next launch</source>
        <translation>遗留的设置，下次启动时已恢复</translation>
    </message>
    <message id="activityLeftOverTakenOver">
        <source>Left over, taken over at the next launch</source>
        <translation>遗留的设置，下次启动时已接管</translation>
    </message>
    <message id="activityLegendIdle">
        <source>Idle-sleep prevention</source>
        <translation>阻止闲置睡眠</translation>
    </message>
    <message id="activityLegendLid">
        <source>Closed-lid mode</source>
        <translation>合盖模式</translation>
    </message>
    <message id="activityMinutes">
        <source>%1 min</source>
        <translation>%1 分钟</translation>
    </message>
    <message id="activityModeCommand">
        <source>Bound to %1</source>
        <translation>绑定到 %1</translation>
    </message>
    <message id="activityModeIndefinite">
        <source>Indefinitely</source>
        <translation>不限时</translation>
    </message>
    <message id="activityModeLidAdapter">
        <source>Closed-lid, on power adapter</source>
        <translation>合盖，使用电源适配器</translation>
    </message>
    <message id="activityModeLidBattery">
        <source>Closed-lid, on battery</source>
        <translation>合盖，使用电池</translation>
    </message>
    <message id="activityModeLidBatteryLevel">
        <source>Closed-lid, on battery at %1%</source>
        <translation>合盖，使用电池（%1%）</translation>
    </message>
    <message id="activityModeNotStarted">
        <source>Could not start</source>
        <translation>未能启动</translation>
    </message>
    <message id="activityModeProcess">
        <source>Bound to process %1</source>
        <translation>绑定到进程 %1</translation>
    </message>
    <message id="activityModeTimed">
        <source>Timed, %1</source>
        <translation>定时，%1</translation>
    </message>
    <message id="activityModeUntil">
        <source>Until %1</source>
        <translation>直到 %1</translation>
    </message>
    <message id="activityOngoing">
        <source>Still running</source>
        <translation>仍在运行</translation>
    </message>
    <message id="activityPeriod">
        <source>Last %1 days</source>
        <translation>最近 %1 天</translation>
    </message>
    <message id="activityPeriodToday">
        <source>Today</source>
        <translation>今天</translation>
    </message>
    <message id="activityRecentSessions">
        <source>Recent sessions</source>
        <translation>最近的会话</translation>
    </message>
    <message id="activityReportHeading">
        <source>%1: %2</source>
        <translation>%1：%2</translation>
    </message>
    <message id="activitySinceFormat">
        <source>MMMM d, yyyy</source>
        <translation>yyyy年M月d日</translation>
    </message>
    <message id="activityStartFormat">
        <source>MMM d, h:mm AP</source>
        <translation>M月d日 HH:mm</translation>
    </message>
    <message id="activityStoppedByUser">
        <source>Stopped by you</source>
        <translation>由你停止</translation>
    </message>
    <message id="activityTotals">
        <source>Idle-sleep prevention %1 · Closed-lid mode %2 · Sessions: %3</source>
        <translation>阻止闲置睡眠 %1 · 合盖模式 %2 · 会话：%3</translation>
    </message>
    <message id="activityTotalsFailures">
        <source>Failures: %1</source>
        <translation>失败：%1</translation>
    </message>
    <message id="activityTotalsSafetyStops">
        <source>Battery safety stops: %1</source>
        <translation>电池安全停止：%1</translation>
    </message>
    <message id="activityUnderAMinute">
        <source>Under a minute</source>
        <translation>不到 1 分钟</translation>
    </message>
    <message id="add30m">
        <source>+30 min</source>
        <translation>+30 分钟</translation>
    </message>
    <message id="add30Minutes">
        <source>Add 30 minutes</source>
        <translation>增加 30 分钟</translation>
    </message>
    <message id="adjustInSettings">
        <source>Adjust in Settings</source>
        <translation>前往设置调整</translation>
    </message>
    <message id="authDialogFollowsSystem">
        <source>The password dialog comes from macOS and appears in the system language.</source>
        <translation>密码对话框由 macOS 提供，以系统语言显示。</translation>
    </message>
    <message id="authorizationBenefit">
        <source>Closed-lid mode changes a system power setting, which needs administrator approval once. After that, Quorvel can turn it on and off without asking for your password.</source>
        <translation>合盖模式需要更改系统电源设置，因此需要管理员授权一次。授权后，Quorvel 开启或关闭合盖模式时无需再输入密码。</translation>
    </message>
    <message id="authorizationFailed">
        <source>Authorization failed</source>
        <translation>授权失败</translation>
    </message>
    <message id="authorizationInfo">
        <source>About Authorization</source>
        <translation>关于授权</translation>
    </message>
    <message id="authorizationNeeded">
        <source>Authorization needed</source>
        <translation>需要授权</translation>
    </message>
    <message id="authorizationRequired">
        <source>Authorization required</source>
        <translation>尚未授权</translation>
    </message>
    <message id="authorizationRequiredAlert">
        <source>Authorize Closed-Lid Mode?</source>
        <translation>要授权合盖模式吗？</translation>
    </message>
    <message id="authorizationRevokedState">
        <source>Authorization revoked</source>
        <translation>授权已撤销</translation>
    </message>
    <message id="authorized">
        <source>Authorized</source>
        <translation>已授权</translation>
    </message>
    <message id="authorizedClosedLidAvailable">
        <source>Closed-lid mode can be turned on at any time.</source>
        <translation>已授权，可随时开启合盖模式。</translation>
    </message>
    <message id="authorizeNow">
        <source>Authorize Now</source>
        <translation>立即授权</translation>
    </message>
    <message id="authorizeOnFirstUse">
        <source>You’ll be asked to authorize the first time you turn on closed-lid mode.</source>
        <translation>首次开启合盖模式时会请求授权。</translation>
    </message>
    <message id="authorizing">
        <source>Authorizing…</source>
        <translation>正在授权…</translation>
    </message>
    <message id="autoCheckUpdates">
        <source>Check for Updates Automatically</source>
        <translation>自动检查更新</translation>
    </message>
    <message id="autoCheckUpdatesCaption">
        <source>Checks at launch, at most once a day.</source>
        <translation>在启动时检查，每天最多一次。</translation>
    </message>
    <message id="autoExitClause">
        <extracomment>Follows belowPrefix and the threshold percentage on one line.</extracomment>
        <source>, closed-lid mode turns off automatically.</source>
        <translation> 时，合盖模式将自动关闭。</translation>
    </message>
    <message id="autoExited">
        <source>Turned off – battery low</source>
        <translation>电量过低，已自动关闭</translation>
    </message>
    <message id="batteryLowAutoExit">
        <source>The battery reached your low-battery limit, so closed-lid mode was turned off and normal sleep was restored. Connect the power adapter to turn it on again, or lower the limit in Settings.</source>
        <translation>电池电量已降至你设定的下限，合盖模式已关闭，系统已恢复正常睡眠。接上电源适配器即可重新开启，也可以在设置中调低下限。</translation>
    </message>
    <message id="belowPrefix">
        <extracomment>Precedes the threshold percentage; autoExitClause follows it.</extracomment>
        <source>Below </source>
        <translation>电量低于 </translation>
    </message>
    <message id="cancel">
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message id="cannotClearSleepPrevention">
        <source>Sleep is still disabled by an earlier session, and Quorvel can’t turn it back on without authorization.</source>
        <translation>此前停用的系统睡眠尚未恢复，未经授权，Quorvel 无法重新开启。</translation>
    </message>
    <message id="checkForUpdates">
        <source>Check for Updates</source>
        <translation>检查更新</translation>
    </message>
    <message id="closeAndRevoke">
        <source>Turn Off and Revoke</source>
        <translation>关闭并撤销</translation>
    </message>
    <message id="closedLidDescription">
        <source>Keeps your Mac running with the lid closed, even without an external display.</source>
        <translation>合上盖子后 Mac 仍保持运行，无需连接外接显示器。</translation>
    </message>
    <message id="closedLidEnableFailed">
        <source>Couldn’t Turn On Closed-Lid Mode</source>
        <translation>无法开启合盖模式</translation>
    </message>
    <message id="closedLidMode">
        <source>Closed-Lid Mode</source>
        <translation>合盖模式</translation>
    </message>
    <message id="closedLidOneTimeAuth">
        <source>You authorize only once. It allows Quorvel to switch the sleep setting with pmset, and nothing else.</source>
        <translation>只需授权一次。授权仅允许 Quorvel 通过 pmset 切换睡眠设置，不涉及其他操作。</translation>
    </message>
    <message id="closedLidPreventionNeedsAuth">
        <source>Sleep is still disabled by an earlier session. Authorize Quorvel to restore it.</source>
        <translation>此前停用的睡眠尚未恢复，请授权 Quorvel 进行恢复。</translation>
    </message>
    <message id="closedLidPreventionOn">
        <source>Sleep Is Disabled</source>
        <translation>系统睡眠已停用</translation>
    </message>
    <message id="closedLidPreventionUnmanagedDetail">
        <source>An earlier session left sleep disabled. Authorize Quorvel to take it over or to restore normal sleep.</source>
        <translation>睡眠此前已被停用，至今仍未恢复。授权 Quorvel 后，即可接管该设置或恢复正常睡眠。</translation>
    </message>
    <message id="closedLidRunning">
        <source>Closed-lid mode is on</source>
        <translation>合盖模式已开启</translation>
    </message>
    <message id="closedLidRunningBatteryStatus">
        <extracomment>%1: battery level in percent, %2: auto-exit threshold in percent.</extracomment>
        <source>On battery · %1% · turns off at %2%</source>
        <translation>使用电池 · %1% · 降至 %2% 时关闭</translation>
    </message>
    <message id="closedLidRunningLowBatteryStatus">
        <extracomment>%1: battery level in percent, %2: auto-exit threshold in percent.</extracomment>
        <source>Battery low · %1% · turns off at %2%</source>
        <translation>电量低 · %1% · 降至 %2% 时关闭</translation>
    </message>
    <message id="closedLidRunningPowerStatus">
        <source>On · Power adapter</source>
        <translation>已开启 · 使用电源适配器</translation>
    </message>
    <message id="closedLidUnavailableKde">
        <source>Not available on KDE Plasma</source>
        <translation>在 KDE Plasma 上不可用</translation>
    </message>
    <message id="closedLidUnavailableKdeHint">
        <source>KDE Plasma handles the lid itself. To keep the computer running with the lid closed, set “When laptop lid closed” to “Do nothing” in System Settings › Power Management.</source>
        <translation>KDE Plasma 会自行处理合盖。如需合盖后继续运行，请在“系统设置 › 电源管理”中将“笔记本合盖时”设为“不执行任何操作”。</translation>
    </message>
    <message id="confirmQuit">
        <source>Quit Quorvel?</source>
        <translation>要退出 Quorvel 吗？</translation>
    </message>
    <message id="copyrightNotice">
        <source>Copyright © Quorvel. All rights reserved.</source>
        <translation>版权所有 © Quorvel。保留所有权利。</translation>
    </message>
    <message id="couldNotTurnOn">
        <source>Couldn’t turn on</source>
        <translation>无法开启</translation>
    </message>
    <message id="denied">
        <source>Denied</source>
        <translation>已拒绝</translation>
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
        <translation>操作失败</translation>
    </message>
    <message id="followSystem">
        <source>Follow System</source>
        <translation>跟随系统</translation>
    </message>
    <message id="forceQuit">
        <source>Quit Anyway</source>
        <translation>仍然退出</translation>
    </message>
    <message id="general">
        <source>General</source>
        <translation>通用</translation>
    </message>
    <message id="help">
        <source>Help</source>
        <translation>帮助</translation>
    </message>
    <message id="idleSleep">
        <source>Prevent Idle Sleep</source>
        <translation>阻止闲置睡眠</translation>
    </message>
    <message id="idleWakeMode">
        <source>Keep-awake mode</source>
        <translation>唤醒模式</translation>
    </message>
    <message id="indefinite">
        <source>Indefinitely</source>
        <translation>不限时</translation>
    </message>
    <message id="keepAwake">
        <source>Keep Awake</source>
        <translation>保持唤醒</translation>
    </message>
    <message id="keepDisplayOn">
        <source>Keep Display On</source>
        <translation>保持显示器亮起</translation>
    </message>
    <message id="sessionWhileRuns">
        <source>While %1 runs</source>
        <translation>%1 运行期间</translation>
    </message>
    <message id="sessionUntil">
        <source>Until %1</source>
        <translation>直到 %1</translation>
    </message>
    <message id="sessionEndedTitle">
        <source>Keep-awake session ended</source>
        <translation>保持唤醒已结束</translation>
    </message>
    <message id="sessionEndedTimeUp">
        <source>Time is up; your computer may sleep again.</source>
        <translation>时间已到，电脑可以再次睡眠了。</translation>
    </message>
    <message id="sessionEndedCommand">
        <extracomment>%1: the command's name, as typed (make).</extracomment>
        <source>%1 finished; your computer may sleep again.</source>
        <translation>%1 已完成，电脑可以再次睡眠了。</translation>
    </message>
    <message id="sessionEndedProcess">
        <extracomment>%1: the process's name, or its number when the name is unknown.</extracomment>
        <source>%1 has exited; your computer may sleep again.</source>
        <translation>%1 已退出，电脑可以再次睡眠了。</translation>
    </message>
    <message id="sessionEndedUntil">
        <extracomment>%1: the end time in local time (18:30).</extracomment>
        <source>It is %1; your computer may sleep again.</source>
        <translation>已到 %1，电脑可以再次睡眠了。</translation>
    </message>
    <message id="closedLidStoppedTitle">
        <source>Closed-lid mode turned off</source>
        <translation>合盖模式已关闭</translation>
    </message>
    <message id="closedLidStoppedBody">
        <extracomment>%1: battery level in percent.</extracomment>
        <source>Battery at %1%. Your computer sleeps again when its lid is closed.</source>
        <translation>电量仅剩 %1%，合上盖子后电脑会再次睡眠。</translation>
    </message>
    <message id="keepingAwake">
        <source>Keeping your Mac awake</source>
        <translation>正在保持 Mac 唤醒</translation>
    </message>
    <message id="keepingRunning">
        <source>Keeping your Mac running</source>
        <translation>正在让 Mac 保持运行</translation>
    </message>
    <message id="keepTasksRunning">
        <source>Keeps your Mac awake while your work runs.</source>
        <translation>让 Mac 保持唤醒，任务不中断。</translation>
    </message>
    <message id="language">
        <source>Language</source>
        <translation>语言</translation>
    </message>
    <message id="lastOpFailedHint">
        <source>The last attempt didn’t succeed. Check the power source and the authorization, then try again.</source>
        <translation>上次操作未成功。请检查电源和授权状态，然后重试。</translation>
    </message>
    <message id="launchAtLogin">
        <source>Open at Login</source>
        <translation>登录时打开</translation>
    </message>
    <message id="launchAtLoginOffFailed">
        <source>Couldn’t remove Quorvel from Login Items.</source>
        <translation>无法将 Quorvel 从登录项中移除。</translation>
    </message>
    <message id="launchAtLoginOnFailed">
        <source>Couldn’t add Quorvel to Login Items.</source>
        <translation>无法将 Quorvel 添加到登录项。</translation>
    </message>
    <message id="learnMore">
        <source>Learn More</source>
        <translation>了解更多</translation>
    </message>
    <message id="lowBattery">
        <source>Battery low – closed-lid mode will turn off soon</source>
        <translation>电量低，合盖模式即将关闭</translation>
    </message>
    <message id="lowBatteryProtection">
        <source>Low-Battery Protection</source>
        <translation>低电量保护</translation>
    </message>
    <message id="lowBatteryThresholdHint">
        <extracomment>%1: auto-exit threshold in percent, %2: top of the warning band (threshold + 5).</extracomment>
        <source>Closed-lid mode turns off at %1% and warns you from %2%.</source>
        <translation>电量降至 %1% 时关闭合盖模式，低于 %2% 时提醒。</translation>
    </message>
    <message id="menuBarCountdown">
        <source>Show Countdown in Menu Bar</source>
        <translation>在菜单栏中显示倒计时</translation>
    </message>
    <message id="menuBarCountdownCaption">
        <source>Shows the remaining time next to the menu bar icon.</source>
        <translation>在菜单栏图标旁显示剩余时间。</translation>
    </message>
    <message id="notifyWhenSessionEnds">
        <source>Notify When a Session Ends</source>
        <translation>会话结束时通知</translation>
    </message>
    <message id="notifyWhenSessionEndsCaption">
        <source>When a session ends by itself, or closed-lid mode turns off to save the battery.</source>
        <translation>会话自行结束，或合盖模式为保护电池而关闭时，发送通知。</translation>
    </message>
    <message id="menuBarSectionTitle">
        <source>Menu Bar</source>
        <translation>菜单栏</translation>
    </message>
    <message id="needsAttention">
        <source>Quorvel needs your attention</source>
        <translation>Quorvel 需要你处理</translation>
    </message>
    <message id="notActive">
        <source>Not active</source>
        <translation>未开启</translation>
    </message>
    <message id="noAuthorizationNeeded">
        <source>No administrator access needed. The locks end when a mode stops or Quorvel quits.</source>
        <translation>无需管理员权限。模式停止或 Quorvel 退出时，锁定即会解除。</translation>
    </message>
    <message id="notDetected">
        <source>Not detected</source>
        <translation>未检测到</translation>
    </message>
    <message id="off">
        <source>Off</source>
        <translation>关闭</translation>
    </message>
    <message id="offState">
        <source>Off</source>
        <translation>已关闭</translation>
    </message>
    <message id="onPower">
        <source>On Power Adapter</source>
        <translation>正在使用电源适配器</translation>
    </message>
    <message id="openActivity">
        <source>Activity…</source>
        <translation>活动…</translation>
    </message>
    <message id="showActivity">
        <source>Show Activity…</source>
        <translation>查看活动…</translation>
    </message>
    <message id="openSettings">
        <source>Settings…</source>
        <translation>设置…</translation>
    </message>
    <message id="openSystemSettings">
        <source>Allow in System Settings…</source>
        <translation>在系统设置中允许…</translation>
    </message>
    <message id="permanentlyPreventing">
        <source>Preventing sleep indefinitely</source>
        <translation>正在持续阻止睡眠</translation>
    </message>
    <message id="pleaseWait">
        <source>Please wait…</source>
        <translation>请稍候…</translation>
    </message>
    <message id="preventingIdleSleep">
        <source>Preventing idle sleep</source>
        <translation>正在阻止闲置睡眠</translation>
    </message>
    <message id="privacyPolicy">
        <source>Privacy Policy</source>
        <translation>隐私政策</translation>
    </message>
    <message id="projectHomepage">
        <source>Website</source>
        <translation>项目主页</translation>
    </message>
    <message id="quit">
        <source>Quit</source>
        <translation>退出</translation>
    </message>
    <message id="quitApp">
        <source>Quit Quorvel</source>
        <translation>退出 Quorvel</translation>
    </message>
    <message id="quitClearAllModes">
        <source>Quitting turns off every mode and restores your Mac’s normal sleep settings.</source>
        <translation>退出后将关闭所有模式，并恢复 Mac 的正常睡眠设置。</translation>
    </message>
    <message id="quitRestoreFailedMessage">
        <source>Quorvel couldn’t turn sleep back on. If you quit now, your Mac stays awake, even with its lid closed, until you run “sudo pmset -a disablesleep 0” in Terminal.</source>
        <translation>Quorvel 无法恢复睡眠。如果现在退出，Mac 将一直保持唤醒（即使合上盖子），直到你在“终端”中运行“sudo pmset -a disablesleep 0”。</translation>
    </message>
    <message id="readOnlyNoAuth">
        <source>Sleep disabled · authorization needed</source>
        <translation>睡眠已停用 · 需要授权才能更改</translation>
    </message>
    <message id="reauthorize">
        <source>Authorize again to use closed-lid mode.</source>
        <translation>重新授权后即可使用合盖模式。</translation>
    </message>
    <message id="remaining">
        <source>Remaining</source>
        <translation>剩余时间</translation>
    </message>
    <message id="restoreFailed">
        <source>Couldn’t restore sleep</source>
        <translation>无法恢复睡眠</translation>
    </message>
    <message id="retry">
        <source>Try Again</source>
        <translation>重试</translation>
    </message>
    <message id="retryEllipsis">
        <source>Retry…</source>
        <translation>重试…</translation>
    </message>
    <message id="revokeAuthorization">
        <source>Revoke Authorization</source>
        <translation>撤销授权</translation>
    </message>
    <message id="revoked">
        <source>Revoked</source>
        <translation>已撤销</translation>
    </message>
    <message id="revokeReauthNotice">
        <source>After revoking, you’ll need to authorize again to use closed-lid mode.</source>
        <translation>撤销后，需要重新授权才能使用合盖模式。</translation>
    </message>
    <message id="revokeRestoreFailedMessage">
        <source>Quorvel couldn’t restore the normal sleep setting, so the authorization was kept. Try again, or cancel and keep it for now.</source>
        <translation>Quorvel 无法恢复正常睡眠设置，因此保留了授权。你可以重试，或取消并暂时保留授权。</translation>
    </message>
    <message id="revokeRestoreFailedTitle">
        <source>Couldn’t Restore Sleep</source>
        <translation>无法恢复睡眠</translation>
    </message>
    <message id="revokeWhileClamshellRunningMessage">
        <source>Closed-lid mode is keeping sleep disabled. Quorvel will turn it off and restore normal sleep before revoking the authorization.</source>
        <translation>合盖模式正在停用睡眠。Quorvel 会先关闭合盖模式并恢复正常睡眠，然后再撤销授权。</translation>
    </message>
    <message id="revokeWhileClamshellRunningTitle">
        <source>Turn Off Closed-Lid Mode First?</source>
        <translation>要先关闭合盖模式吗？</translation>
    </message>
    <message id="revoking">
        <source>Revoking…</source>
        <translation>正在撤销…</translation>
    </message>
    <message id="runningOnBattery">
        <source>Running on Battery</source>
        <translation>正在使用电池</translation>
    </message>
    <message id="runningOnSystemPolicy">
        <source>Following the system’s sleep settings</source>
        <translation>遵循系统睡眠设置</translation>
    </message>
    <message id="settings">
        <source>Settings</source>
        <translation>设置</translation>
    </message>
    <message id="simplifiedChinese">
        <extracomment>Language names are shown in their own language.</extracomment>
        <source>简体中文</source>
        <translation>简体中文</translation>
    </message>
    <message id="sleepBlocked">
        <source>Sleep disabled by an earlier session</source>
        <translation>此前停用的睡眠尚未恢复</translation>
    </message>
    <message id="stop">
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message id="subtract30m">
        <source>−30 min</source>
        <translation>−30 分钟</translation>
    </message>
    <message id="subtract30Minutes">
        <source>Subtract 30 minutes</source>
        <translation>减少 30 分钟</translation>
    </message>
    <message id="suggestManualCloseOrAuth">
        <source>Authorize Quorvel in Settings to restore it, or after quitting run “sudo pmset -a disablesleep 0” in Terminal.</source>
        <translation>请在设置中授权 Quorvel 以恢复睡眠，或在退出后于“终端”中运行“sudo pmset -a disablesleep 0”。</translation>
    </message>
    <message id="switching">
        <source>Switching…</source>
        <translation>正在切换…</translation>
    </message>
    <message id="systemAuthorization">
        <source>System Authorization</source>
        <translation>系统授权</translation>
    </message>
    <message id="systemDefault">
        <source>System default</source>
        <translation>系统默认</translation>
    </message>
    <message id="takesEffectNextLaunch">
        <source>Some system texts change at the next launch.</source>
        <translation>部分系统文字将在下次启动时更新。</translation>
    </message>
    <message id="thresholdDecrease">
        <source>Lower the threshold by 5%</source>
        <translation>将阈值降低 5%</translation>
    </message>
    <message id="thresholdIncrease">
        <source>Raise the threshold by 5%</source>
        <translation>将阈值提高 5%</translation>
    </message>
    <message id="timed">
        <source>Timed</source>
        <translation>定时</translation>
    </message>
    <message id="toggleClosedLidHint">
        <source>Keeps your Mac running with the lid closed</source>
        <translation>合盖后保持 Mac 运行</translation>
    </message>
    <message id="toggleKeepDisplayHint">
        <source>Keeps the display on while your Mac stays awake</source>
        <translation>Mac 保持唤醒期间，显示器也保持亮起</translation>
    </message>
    <message id="turningOff">
        <source>Turning off…</source>
        <translation>正在关闭…</translation>
    </message>
    <message id="turningOn">
        <source>Turning on…</source>
        <translation>正在开启…</translation>
    </message>
    <message id="turnOnFailed">
        <source>Couldn’t turn on</source>
        <translation>开启失败</translation>
    </message>
    <message id="updateAvailableFormat">
        <extracomment>%1: the published version, for example 1.5.0.</extracomment>
        <source>Quorvel %1 is available</source>
        <translation>Quorvel %1 现已推出</translation>
    </message>
    <message id="updateCheckFailed">
        <source>Couldn’t check for updates</source>
        <translation>无法检查更新</translation>
    </message>
    <message id="updateChecking">
        <source>Checking for updates…</source>
        <translation>正在检查更新…</translation>
    </message>
    <message id="updateDownload">
        <source>Download</source>
        <translation>下载</translation>
    </message>
    <message id="updateUpToDate">
        <source>Quorvel is up to date</source>
        <translation>Quorvel 已是最新版本</translation>
    </message>
    <message id="viaClosedLidMode">
        <source>Kept awake by closed-lid mode</source>
        <translation>由合盖模式保持唤醒</translation>
    </message>
    <message id="wakeSession">
        <source>On while your Mac stays awake</source>
        <translation>保持唤醒期间亮起</translation>
    </message>
    <message id="willKeepRunning">
        <source>Your Mac keeps running with the lid closed.</source>
        <translation>合上盖子后，Mac 将继续运行。</translation>
    </message>
    <message id="ctlBlockedByClosedLid">
        <source>Closed-lid mode is keeping your Mac awake. Turn it off first.</source>
        <translation>合盖模式正在让 Mac 保持唤醒，请先关闭合盖模式。</translation>
    </message>
    <message id="ctlBlockedByLeftover">
        <source>Sleep is still disabled from an earlier run. Restore it from the Quorvel menu first.</source>
        <translation>此前停用的睡眠尚未恢复，请先在 Quorvel 菜单中恢复。</translation>
    </message>
    <message id="ctlHistoryDaysInvalid">
        <source>--days takes a whole number of days from 1 to %1</source>
        <translation>--days 需要 1 到 %1 之间的整数天数</translation>
    </message>
    <message id="ctlHistoryUsage">
        <source>usage: quorvel ctl history [--days N] [--json]</source>
        <translation>用法：quorvel ctl history [--days N] [--json]</translation>
    </message>
    <message id="ctlNoTimedSession">
        <source>No timed session is running.</source>
        <translation>当前没有定时的防休眠会话。</translation>
    </message>
    <message id="ctlProcessGone">
        <source>Process %1 is not running.</source>
        <translation>进程 %1 未在运行。</translation>
    </message>
    <message id="ctlUntilPassed">
        <source>That time has already passed.</source>
        <translation>这个时间已经过去了。</translation>
    </message>
    <message id="ctlUntilTooFar">
        <source>That time is more than 8 hours away, the longest timed session.</source>
        <translation>这个时间距现在超过 8 小时，超出定时会话的上限。</translation>
    </message>
    <message id="ctlAlreadyBound">
        <source>A session is already kept for another job; stop it first.</source>
        <translation>已有一个会话在为另一项任务保持唤醒；请先停止它。</translation>
    </message>
    <message id="ctlBadRequest">
        <source>The request is not valid.</source>
        <translation>请求无效。</translation>
    </message>
    <message id="ctlNoSession">
        <source>Start keeping your Mac awake first.</source>
        <translation>请先开始让 Mac 保持唤醒。</translation>
    </message>
    <message id="ctlNotRunning">
        <source>Quorvel is not running.</source>
        <translation>Quorvel 没有在运行。</translation>
    </message>
    <message id="ctlPermissionDenied">
        <source>Permission denied: the socket belongs to another user.</source>
        <translation>权限被拒绝：该套接字属于另一个用户。</translation>
    </message>
    <message id="ctlBusy">
        <source>Quorvel is busy; try again in a moment.</source>
        <translation>Quorvel 正忙，请稍后再试。</translation>
    </message>
    <message id="ctlQuitNotConfirmed">
        <source>Quorvel is still running: the quit was not confirmed.</source>
        <translation>Quorvel 仍在运行：退出未获确认。</translation>
    </message>
</context>
</TS>
