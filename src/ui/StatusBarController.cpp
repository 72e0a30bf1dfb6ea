#include "ui/StatusBarController.h"

namespace quorvel {

StatusBarController::StatusBarController(AppCoordinator &, LanguageController &, StatusBarCommands *, QObject *parent)
    : QObject(parent)
{
}

StatusBarController::~StatusBarController() = default;

} // namespace quorvel
