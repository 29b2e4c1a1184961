#include "settings/ZorFormStorage.h"

#include "settings/MsgBox.h"
#include "settings/ZorTools.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QVariant>
#include <QWidget>

#include <stdexcept>

#include <unistd.h>

namespace settings {

// What the installed hooks share with the storage. The hooks hold it by shared_ptr, so a hook left
// in the form (because another component chained over it) stays safe after the storage is gone:
// it then only passes the event on to the handler it replaced.
struct TZorFormStorage::HookState {
    TZorFormStorage* storage = nullptr;
    std::function<void(QObject*)> SavedOnShow;
    std::function<void(QObject*, bool&)> SavedOnCloseQuery;
    std::function<void(QObject*)> SavedOnDestroy;
};

// Each hook copies its state first: the std::function holding it may be replaced while it runs.
struct TZorFormStorage::ShowHook {
    std::shared_ptr<HookState> state;
    void operator()(QObject* Sender) const {
        const std::shared_ptr<HookState> st = state;
        if (st->storage != nullptr) {
            st->storage->DoFormShow(Sender);
        } else if (st->SavedOnShow) {
            st->SavedOnShow(Sender);
        }
    }
};

struct TZorFormStorage::CloseQueryHook {
    std::shared_ptr<HookState> state;
    void operator()(QObject* Sender, bool& CanClose) const {
        const std::shared_ptr<HookState> st = state;
        if (st->storage != nullptr) {
            st->storage->DoFormCloseQuery(Sender, CanClose);
        } else if (st->SavedOnCloseQuery) {
            st->SavedOnCloseQuery(Sender, CanClose);
        }
    }
};

struct TZorFormStorage::DestroyHook {
    std::shared_ptr<HookState> state;
    void operator()(QObject* Sender) const {
        const std::shared_ptr<HookState> st = state;
        if (st->storage != nullptr) {
            st->storage->DoFormDestroy(Sender);
        } else if (st->SavedOnDestroy) {
            st->SavedOnDestroy(Sender);
        }
    }
};

namespace {

const QString kWidth = QStringLiteral("Width");
const QString kHeight = QStringLiteral("Height");
const QString kTop = QStringLiteral("Top");
const QString kLeft = QStringLiteral("Left");

// The primary screen's geometry; the desktop origin when there is no screen at all.
QRect PrimaryScreenGeometry() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->geometry() : QRect();
}

template <class Hook, class Handler>
bool HoldsHook(const Handler& handler, const void* state) {
    const Hook* hook = handler.template target<Hook>();
    return hook != nullptr && hook->state.get() == state;
}

} // namespace

TZorFormStorage::TZorFormStorage(QWidget* owner)
    : QObject(owner), owner_(owner), iniFileName_(QString::fromLatin1(AppIniNameMarker)) {
    // Qt leaves the first placement of a window it was not told to move to the window system, and
    // keeps the designed size: nothing to set for that here.
    Restored = false;
    UseRegistry = !IsUserAdmin();
}

TZorFormStorage::~TZorFormStorage() {
    UnhookFormEvents();
    if (hooks_) {
        hooks_->storage = nullptr;
    }
}

void TZorFormStorage::SetIniFileName(const QString& Value) {
    const QString marker = QString::fromLatin1(AppIniNameMarker);
    if (Value.trimmed() != marker) {
        typeIniName_ = TApplicationIniName::asCustom;
    }
    iniFileName_ = typeIniName_ == TApplicationIniName::asCustom ? Value : AppIniFilePath();
}

void TZorFormStorage::SetTypeIniName(TApplicationIniName Value) {
    typeIniName_ = Value;
    if (Value == TApplicationIniName::asAppIniName) {
        SetIniFileName(QString::fromLatin1(AppIniNameMarker));
    }
}

void TZorFormStorage::Loaded() {
    // Hooking twice would make the storage its own saved handler and recurse for ever.
    if (!hooks_) {
        HookFormEvents();
    }
}

QString TZorFormStorage::ProgramName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

QString TZorFormStorage::AppIniFilePath() {
    const QFileInfo program(QCoreApplication::applicationFilePath());
    return program.absolutePath() + QLatin1Char('/') + ProgramName().toLower() +
           QStringLiteral(".ini");
}

QString TZorFormStorage::PlacementKey() const {
    return QStringLiteral("\\Software\\") + ProgramName() + QLatin1Char('\\') + SectionName();
}

QString TZorFormStorage::SectionName() const {
    const QWidget* form = OwnerWidget();
    return form != nullptr ? form->objectName() : QString();
}

bool TZorFormStorage::IsUserAdmin() {
    return ::geteuid() == 0;
}

HookableForm* TZorFormStorage::OwnerForm() const {
    // Cast each time: while the form is being destroyed its HookableForm part is already gone and
    // the cast then answers "not a form".
    QWidget* form = OwnerWidget();
    return form != nullptr ? dynamic_cast<HookableForm*>(form) : nullptr;
}

void TZorFormStorage::HookFormEvents() {
    HookableForm* form = OwnerForm();
    if (form == nullptr) {
        return;
    }
    hooks_ = std::make_shared<HookState>();
    hooks_->storage = this;
    FormEvents& events = form->Events();
    hooks_->SavedOnShow = std::move(events.OnShow);
    events.OnShow = ShowHook{hooks_};
    hooks_->SavedOnCloseQuery = std::move(events.OnCloseQuery);
    events.OnCloseQuery = CloseQueryHook{hooks_};
    hooks_->SavedOnDestroy = std::move(events.OnDestroy);
    events.OnDestroy = DestroyHook{hooks_};
}

void TZorFormStorage::UnhookFormEvents() {
    HookableForm* form = OwnerForm();
    if (form == nullptr || !hooks_) {
        return;
    }
    // Only a hook still in place is replaced: one that another component has chained over stays,
    // and passes events on once this storage is gone.
    FormEvents& events = form->Events();
    if (HoldsHook<ShowHook>(events.OnShow, hooks_.get())) {
        events.OnShow = hooks_->SavedOnShow;
    }
    if (HoldsHook<CloseQueryHook>(events.OnCloseQuery, hooks_.get())) {
        events.OnCloseQuery = hooks_->SavedOnCloseQuery;
    }
    if (HoldsHook<DestroyHook>(events.OnDestroy, hooks_.get())) {
        events.OnDestroy = hooks_->SavedOnDestroy;
    }
}

void TZorFormStorage::DoFormShow(QObject* Sender) {
    const std::shared_ptr<HookState> st = hooks_;
    if (Active) {
        try {
            RestorePlacement();
        } catch (const std::exception& error) {
            ReportException(error);
        }
    }
    if (st->SavedOnShow) {
        st->SavedOnShow(Sender);
    }
}

void TZorFormStorage::DoFormCloseQuery(QObject* Sender, bool& CanClose) {
    const std::shared_ptr<HookState> st = hooks_;
    if (st->SavedOnCloseQuery) {
        st->SavedOnCloseQuery(Sender, CanClose);
        if (st->storage == nullptr) {
            return; // the handler destroyed this storage
        }
    }
    const HookableForm* form = OwnerForm();
    if (CanClose && form != nullptr && form->HasWindow() && Active) {
        try {
            SavePlacement();
        } catch (const std::exception& error) {
            ReportException(error);
        }
    }
}

void TZorFormStorage::DoFormDestroy(QObject* Sender) {
    const std::shared_ptr<HookState> st = hooks_;
    if (Active) {
        try {
            SavePlacement();
        } catch (const std::exception& error) {
            ReportException(error);
        }
    }
    if (st->SavedOnDestroy) {
        st->SavedOnDestroy(Sender);
    }
}

void TZorFormStorage::RestorePlacement() {
    QWidget* form = OwnerWidget();
    if (form == nullptr) {
        return;
    }
    if (!Restored) {
        Restored = true;
    }
    const auto read = [this](const QString& name, int fallback) {
        return UseRegistry ? ReadPlacementValue(name, fallback) : ReadIniValue(name, fallback);
    };
    // Each value is applied before the next is read: the centring defaults use the restored size.
    const bool frameKnown = form->frameGeometry() != form->geometry();
    SetOuterWidth(read(kWidth, form->frameGeometry().width()));
    SetOuterHeight(read(kHeight, form->frameGeometry().height()));
    const QRect screen = PrimaryScreenGeometry();
    // Integer division truncates toward zero, also for a window larger than the screen. The
    // screen's origin is added so the window is centred on the primary screen wherever it lies in
    // the virtual desktop (the origin is 0,0 in the usual case).
    const int top = read(kTop, screen.y() + (screen.height() - form->frameGeometry().height()) / 2);
    form->move(form->pos().x(), top);
    const int left = read(kLeft, screen.x() + (screen.width() - form->frameGeometry().width()) / 2);
    form->move(left, form->pos().y());
    if (!frameKnown && form->isWindow()) {
        // The window system has not reported the frame yet (X11 before the first mapping), so the
        // values went to the client area. Once the frame is known they are applied again to the
        // frame, so that saving and restoring give back the same placement instead of drifting
        // by the frame on every run.
        pendingOuter_ = form->geometry();
        appliedClient_ = form->geometry();
        form->installEventFilter(this);
    }
}

void TZorFormStorage::SavePlacement() {
    const QWidget* form = OwnerWidget();
    if (form == nullptr) {
        return;
    }
    const QRect outer = form->frameGeometry();
    // All four values go into the file with one replacement: one flush to disk, not four.
    if (UseRegistry) {
        // Failures here are silent by design: the results only say whether each value was written.
        WritePlacementValues({{kWidth, outer.width()},
                              {kHeight, outer.height()},
                              {kTop, outer.y()},
                              {kLeft, outer.x()}});
    } else {
        WriteIniValues({{kTop, outer.y()},
                        {kLeft, outer.x()},
                        {kWidth, outer.width()},
                        {kHeight, outer.height()}});
    }
}

int TZorFormStorage::ReadPlacementValue(const QString& Name, int Default) const {
    if (Name.isEmpty()) {
        return Default;
    }
    QString text;
    ReadRegString(Name, QString(), PlacementKey(), text);
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : Default;
}

std::vector<bool>
TZorFormStorage::WritePlacementValues(const std::vector<PlacementValue>& Values) const {
    std::vector<RegValue> texts;
    texts.reserve(Values.size());
    for (const PlacementValue& value : Values) {
        // An empty name is never written (WriteRegStrings answers false for it).
        texts.push_back({value.Name, QString::number(value.Value)});
    }
    return WriteRegStrings(texts, PlacementKey());
}

QString TZorFormStorage::EffectiveIniFileName() const {
    // The bare marker never names a real file: it always stands for the file named after the
    // program, also when the setters were never called.
    if (iniFileName_.trimmed() == QLatin1String(AppIniNameMarker)) {
        return AppIniFilePath();
    }
    return iniFileName_;
}

int TZorFormStorage::ReadIniValue(const QString& Name, int Default) const {
    const QString file = EffectiveIniFileName();
    if (Name.isEmpty() || !QFileInfo(file).isFile()) {
        return Default;
    }
    const QSettings ini(file, QSettings::IniFormat);
    const QVariant stored = ini.value(SectionName() + QLatin1Char('/') + Name);
    if (stored.typeId() != QMetaType::QString) {
        return Default;
    }
    bool ok = false;
    const int value = stored.toString().toInt(&ok, 10);
    return ok ? value : Default;
}

void TZorFormStorage::WriteIniValues(const std::vector<PlacementValue>& Values) const {
    const QString file = EffectiveIniFileName();
    QSettings ini(file, QSettings::IniFormat);
    ini.setAtomicSyncRequired(true);
    for (const PlacementValue& value : Values) {
        ini.setValue(SectionName() + QLatin1Char('/') + value.Name, QString::number(value.Value));
    }
    ini.sync();
    if (ini.status() != QSettings::NoError) {
        throw std::runtime_error(QStringLiteral("Unable to write to %1").arg(file).toStdString());
    }
}

void TZorFormStorage::SetOuterWidth(int Width) {
    QWidget* form = OwnerWidget();
    form->resize(Width - (form->frameGeometry().width() - form->width()), form->height());
}

void TZorFormStorage::SetOuterHeight(int Height) {
    QWidget* form = OwnerWidget();
    form->resize(form->width(), Height - (form->frameGeometry().height() - form->height()));
}

bool TZorFormStorage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == OwnerWidget()) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
            FixPlacementOnceFrameKnown();
            break;
        case QEvent::Hide:
            pendingOuter_ = QRect();
            watched->removeEventFilter(this);
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void TZorFormStorage::FixPlacementOnceFrameKnown() {
    QWidget* form = OwnerWidget();
    if (form == nullptr || !pendingOuter_.isValid()) {
        return;
    }
    const QRect client = form->geometry();
    const QSize frame = form->frameGeometry().size() - client.size();
    if (frame.isNull()) {
        return; // not known yet
    }
    const QRect outer = pendingOuter_;
    pendingOuter_ = QRect();
    form->removeEventFilter(this);
    // What the user or the window system has changed meanwhile is left alone.
    if (client.size() == appliedClient_.size()) {
        form->resize(outer.size() - frame);
    }
    if (client.topLeft() == appliedClient_.topLeft() && form->pos() != outer.topLeft()) {
        form->move(outer.topLeft());
    }
}

} // namespace settings
