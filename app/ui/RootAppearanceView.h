#pragma once

#include <memory>
#include <vector>

#include "app/model/AppModel.h"
#include "app/ui/MainPanelView.h"
#include "app/ui/style/Appearance.h"

namespace mavu::ui {

// The popover's root content: the main panel for the model, drawn in the effective
// scheme — the one the user's appearance asks for, or the desktop's under System — and
// redrawn from scratch whenever the model, the appearance or the desktop's scheme changes.
class RootAppearanceView {
  public:
    // The panel becomes a child of parent; model and desktop must outlive this object.
    RootAppearanceView(app::AppModel& model, const DesktopScheme& desktop, QWidget* parent);
    RootAppearanceView(const RootAppearanceView&) = delete;
    RootAppearanceView& operator=(const RootAppearanceView&) = delete;

    MainPanelView& panel() { return *panel_; }
    ColorScheme scheme() const { return panel_->state().scheme; }

  private:
    void refresh();

    app::AppModel& model_;
    const DesktopScheme& desktop_;
    MainPanelView* panel_;  // owned by its parent widget
    std::vector<app::Subscription> subscriptions_;
};

// What the panel's controls do with the model.
MainPanelActions modelActions(app::AppModel& model);

}  // namespace mavu::ui
