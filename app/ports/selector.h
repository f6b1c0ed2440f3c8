#pragma once

namespace ampora {

// The action a menu entry sends when chosen. Entries have no explicit target: terminate goes to
// the application, the others to the application's delegate (see sendAction).
enum class Selector {
    None,  // an inert line, shown disabled
    DidSelectOpenAtLogin,
    RateApp,
    GoToSite,
    Terminate,
};

}  // namespace ampora
