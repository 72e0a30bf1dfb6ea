#pragma once

#include "app/composition/AppCoordinator.h"
#include "closedlid/AlertPresenter.h"

#include <QMessageBox>
#include <memory>

namespace quorvel::AlertDialogs {

// The dialog of a closed-lid alert, its texts looked up now in the interface language.
std::unique_ptr<QMessageBox> make(const Alert &alert);
// The dialog of a quit confirmation (its texts are final already).
std::unique_ptr<QMessageBox> make(const QuitAlert &alert);

// Shows the dialog modally in front of everything and answers 1000 for the first button,
// 1001 for the second (also when it is dismissed with Escape or closed).
int run(QMessageBox &box);

AlertPresenter presenter();
QuitAlertPresenter quitPresenter();

} // namespace quorvel::AlertDialogs
