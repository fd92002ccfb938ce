#pragma once

#include <memory>

#include "app/model/AppModel.h"
#include "platform/alert/AlertPresenter.h"
#include "platform/dispatch/Dispatch.h"

namespace mavu::app {

// The model on the real Linux backends: the helper daemon on the system bus, systemd and
// XDG autostart, Qt's screens, X11 hot keys (installed as the shared hot-key manager
// unless it already exists), the settings file of norvel/MAVU, freedesktop notifications,
// the bundle's Info.plist, the feed updater, and an immediate process exit. The alert
// presenter is the interface's. Call on the main thread with a QGuiApplication (or
// QApplication) already created; dispatch must outlive the model.
std::shared_ptr<AppModel> makeLinuxAppModel(dispatch::Dispatch& dispatch,
                                            std::shared_ptr<alert::AlertPresenter> alerts);

}  // namespace mavu::app
