#include "app/ui/RootAppearanceView.h"

namespace mavu::ui {

MainPanelActions modelActions(app::AppModel& model) {
    MainPanelActions actions;
    actions.toggle = [&model] { model.toggle(); };
    actions.selectDuration = [&model](app::DurationOption o) { model.selectDuration(o); };
    actions.toggleLaunchAtLogin = [&model] { model.toggleLaunchAtLogin(); };
    actions.setAppearance = [&model](app::AppearancePreference p) { model.setAppearance(p); };
    actions.showSettings = [&model] { model.setShowSettings(true); };
    actions.quit = [&model] { model.quit(); };
    actions.openLoginItems = [&model] { model.openSystemSettingsLoginItems(); };
    actions.dismissSetupAlert = [&model] { model.setShowSetupAlert(false); };
    return actions;
}

RootAppearanceView::RootAppearanceView(app::AppModel& model, const DesktopScheme& desktop,
                                       QWidget* parent)
    : model_(model), desktop_(desktop), panel_(new MainPanelView(modelActions(model), parent)) {
    // Each observer is called at once with the current value; refresh() reads them all.
    auto refreshOn = [this](const auto& field) {
        subscriptions_.push_back(field.subscribe([this](const auto&) { refresh(); }));
    };
    refreshOn(model_.isArmed());
    refreshOn(model_.duration());
    refreshOn(model_.appearance());
    refreshOn(model_.launchAtLoginEnabled());
    refreshOn(model_.showSetupAlert());
    refreshOn(model_.setupMessage());
    refreshOn(model_.helper().helperNeedsApproval());
    refreshOn(desktop_.scheme());
}

void RootAppearanceView::refresh() {
    MainPanelState state;
    state.isArmed = model_.isArmed().get();
    state.duration = model_.duration().get();
    state.launchAtLoginEnabled = model_.launchAtLoginEnabled().get();
    state.scheme = effectiveScheme(colorScheme(model_.appearance().get()), desktop_.scheme().get());
    state.showSetupAlert = model_.showSetupAlert().get();
    state.setupMessage = model_.setupMessage().get();
    state.helperNeedsApproval = model_.helper().helperNeedsApproval().get();
    panel_->setState(state);
}

}  // namespace mavu::ui
