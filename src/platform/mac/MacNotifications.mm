#include "platform/mac/MacNotifications.h"

#include "records/DiagnosticLog.h"

#import <Foundation/Foundation.h>
#import <UserNotifications/UserNotifications.h>

#include <atomic>

namespace quorvel {

namespace {

// The completion handlers run on a queue of the notification centre's; the log takes any thread.
std::atomic_bool complained{false};

void unavailable(const QString &reason)
{
    if (complained.exchange(true))
        return;
    DiagnosticLog::log(DiagnosticLog::Level::warning, DiagnosticLog::Category::app,
                       QStringLiteral("desktop notifications unavailable, reason=") + reason);
}

} // namespace

Notifier macUserNotifier()
{
    return [](const DesktopNotice &notice) {
        // Outside an app bundle the centre raises instead of answering: a binary started from
        // the build folder has no identity to notify as.
        if ([NSBundle mainBundle].bundleIdentifier == nil) {
            unavailable(QStringLiteral("noBundle"));
            return;
        }
        NSString *title = notice.title.toNSString();
        NSString *body = notice.body.toNSString();
        UNUserNotificationCenter *center = [UNUserNotificationCenter currentNotificationCenter];
        // Asked every time, answered by the system without a prompt once the person has decided.
        [center requestAuthorizationWithOptions:(UNAuthorizationOptionAlert | UNAuthorizationOptionSound)
                              completionHandler:^(BOOL granted, NSError *error) {
                                if (!granted) {
                                    unavailable(error ? QStringLiteral("authorizationError")
                                                      : QStringLiteral("notAllowed"));
                                    return;
                                }
                                UNMutableNotificationContent *content = [[UNMutableNotificationContent alloc] init];
                                content.title = title;
                                content.body = body;
                                content.sound = [UNNotificationSound defaultSound];
                                // One identifier for every notice: a new one replaces the last.
                                UNNotificationRequest *request =
                                    [UNNotificationRequest requestWithIdentifier:@"app.quorvel.Quorvel.sessionEnded"
                                                                         content:content
                                                                         trigger:nil];
                                [center addNotificationRequest:request
                                         withCompletionHandler:^(NSError *addError) {
                                           if (addError)
                                               unavailable(QStringLiteral("requestFailed"));
                                         }];
                              }];
    };
}

} // namespace quorvel
