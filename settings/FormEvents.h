#pragma once

// How components chain into a window's show, close-query and destroy events. A component keeps the
// handler it finds and installs its own, which calls the kept one before or after its own work; on
// destruction it puts the kept handler back. Every handler may be empty and is tested before use.

#include <functional>

class QObject;

namespace settings {

struct FormEvents {
    std::function<void(QObject* Sender)> OnShow;
    std::function<void(QObject* Sender, bool& CanClose)> OnCloseQuery;
    std::function<void(QObject* Sender)> OnDestroy;
};

// A window whose events components can hook. "The owner is a form" means
// dynamic_cast<HookableForm*>(owner) != nullptr.
class HookableForm {
public:
    virtual ~HookableForm() = default;
    virtual FormEvents& Events() = 0;
    // The form's native window exists (it has been shown or created at least once).
    virtual bool HasWindow() const = 0;
};

} // namespace settings
