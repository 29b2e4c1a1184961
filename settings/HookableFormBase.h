#pragma once

// A Qt window (QWidget, QMainWindow, QDialog) whose show, close and destroy events run the
// FormEvents handlers that components install.
//
// - OnShow runs on each real showing (not on the spontaneous show events the window system sends
//   when a minimised window is restored), after the base class has handled the event and before
//   the native window is mapped, so geometry set there is in place when the window appears.
// - OnCloseQuery runs with CanClose = true for every close request; when a handler leaves it false
//   the close event is ignored and the window stays open.
// - OnDestroy runs once: the derived window calls FireDestroy() first thing in its destructor,
// while
//   its members and child components still exist; this destructor calls it as a fallback.

#include "settings/FormEvents.h"

#include <QCloseEvent>
#include <QShowEvent>

namespace settings {

template <class Base>
class THookableForm : public Base, public HookableForm {
public:
    using Base::Base;
    ~THookableForm() override { FireDestroy(); }

    THookableForm(const THookableForm&) = delete;
    THookableForm& operator=(const THookableForm&) = delete;

    FormEvents& Events() override { return events_; }
    bool HasWindow() const override { return this->testAttribute(Qt::WA_WState_Created); }

    void FireDestroy() {
        if (destroyFired_) {
            return;
        }
        destroyFired_ = true;
        if (events_.OnDestroy) {
            events_.OnDestroy(this);
        }
    }

protected:
    void showEvent(QShowEvent* event) override {
        Base::showEvent(event);
        if (!event->spontaneous() && events_.OnShow) {
            events_.OnShow(this);
        }
    }

    void closeEvent(QCloseEvent* event) override {
        bool CanClose = true;
        if (events_.OnCloseQuery) {
            events_.OnCloseQuery(this, CanClose);
        }
        if (!CanClose) {
            event->ignore();
            return;
        }
        Base::closeEvent(event);
    }

private:
    FormEvents events_;
    bool destroyFired_ = false;
};

} // namespace settings
