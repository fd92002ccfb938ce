#pragma once

namespace mavu::ui {

// True when a compositing manager runs on the X display Qt uses (windows can then be
// translucent); also true off X11, where the platform composites itself.
bool hasCompositingManager();

}  // namespace mavu::ui
