#pragma once

#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "app/model/AppModel.h"
#include "app/ui/RootAppearanceView.h"
#include "app/ui/style/Appearance.h"

namespace mavu::ui {

inline constexpr QSize kPopoverSize{408, 503};

// Where the popover goes: centred on the tray icon, below it when the icon sits in the top
// half of the screen and above it otherwise; at the pointer when the tray tells no
// geometry (icon is empty); always inside available.
QPoint popoverPosition(const QRect& icon, const QPoint& pointer, const QRect& available,
                       const QSize& size);

// The settings sheet's place and scale: centred on the popover, top edges aligned, scaled
// down to fit a short screen and moved inside available.
struct SheetPlacement {
    QPoint topLeft;
    double scale = 1;
};
SheetPlacement sheetPlacement(const QRect& popover, const QRect& available);

// The status item's popover: a frameless 408 × 503 popup holding the main panel, closed by
// any click outside it, Escape, or close(). Its content is built on the first show. While
// it is shown and the model's showSettings is true, the settings sheet is stacked above it.
class Popover {
  public:
    // didClose runs after every close, however it came about ("popoverDidClose:").
    Popover(app::AppModel& model, const DesktopScheme& desktop, std::function<void()> didClose);
    ~Popover();
    Popover(const Popover&) = delete;
    Popover& operator=(const Popover&) = delete;

    bool isShown() const;
    // Shows it next to icon (or at pointer) on the screen holding that point.
    void show(const QRect& icon, const QPoint& pointer);
    void close();

    // Null before the first show.
    QWidget* window() const { return window_.get(); }
    MainPanelView* panel() const { return root_ ? &root_->panel() : nullptr; }
    QWidget* sheet() const { return sheetWindow_; }

  private:
    void build();
    void updateSheet();
    void closeSheet();
    void windowHidden();
    void sheetHidden();

    app::AppModel& model_;
    const DesktopScheme& desktop_;
    std::function<void()> didClose_;
    std::unique_ptr<QWidget> window_;
    std::unique_ptr<RootAppearanceView> root_;
    QPointer<QWidget> sheetWindow_;
    ColorScheme sheetScheme_ = ColorScheme::light;
    bool closingSheet_ = false;
    std::vector<app::Subscription> subscriptions_;
};

}  // namespace mavu::ui
