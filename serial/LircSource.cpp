#include "serial/LircSource.h"

#include "frame/PulseFrame.h"
#include "serial/LircPorts.h"
#include "serial/PortHints.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <cstring>
#include <utility>

namespace serial {
namespace {

// Frames longer than a frame holds still go to the window, which refuses them with its own
// message; this bounds only what a receiver that never falls silent could pile up.
constexpr size_t MaxDurations = 4096;

// The kernel's own time-out sample normally ends a frame first; the program's silence rule is
// the fallback and waits a little longer so the two do not race.
constexpr int GapMarginMs = 50;

class LircSource final : public QObject, public DeviceSource {
public:
    LircSource(LircOpener open, std::string devicePath, DeviceSourceEvents events)
        : open_(std::move(open)), devicePath_(std::move(devicePath)), events_(std::move(events)) {
        silence_.setSingleShot(true);
        connect(&silence_, &QTimer::timeout, this, [this] {
            std::vector<TLircEvent> found;
            if (device_) {
                device_->EndFrame(found);
            }
            Deliver(found);
        });
    }

    ~LircSource() override { Close(); }

    void Start() override {
        Close();
        int error = 0;
        std::string reason;
        device_ = open_(error, reason);
        if (!device_) {
            if (reason.empty()) {
                reason = PortErrorHint(devicePath_, error, std::strerror(error));
            }
            Later([this, reason] {
                Notify(events_.OnHint, reason);
                Notify(events_.OnDisconnected);
            });
            return;
        }
        notifier_ = std::make_unique<QSocketNotifier>(device_->Descriptor(), QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { ReadInput(); });
        silence_.setInterval(static_cast<int>(device_->GapUs() / 1000) + GapMarginMs);
        ident_ = device_->LinkText();
        Later([this] {
            linked_ = true;
            Notify(events_.OnConnected, ident_);
        });
    }

    void Stop() override { Close(); }

    bool Linked() const override { return linked_; }

    std::optional<std::string> Emit(const std::vector<int32_t>& durations,
                                    const DeviceCarrier& carrier) override {
        if (!linked_) {
            return "Urządzenie " + devicePath_ + " nie jest połączone.";
        }
        std::string refusal = device_->Emit(
            durations, static_cast<uint32_t>(std::max(carrier.Hz, 0)), carrier.DutyCycle);
        if (refusal.empty()) {
            return std::nullopt;
        }
        return refusal;
    }

private:
    template <class Event, class... Args>
    void Notify(const Event& event, Args&&... args) {
        if (event) {
            event(std::forward<Args>(args)...);
        }
    }

    // Events never come from inside Start(); a Stop() before the call cancels it.
    template <class Call>
    void Later(Call call) {
        QTimer::singleShot(0, this, [this, call, generation = generation_] {
            if (generation == generation_) {
                call();
            }
        });
    }

    void Close() {
        ++generation_;
        silence_.stop();
        notifier_.reset();
        device_.reset();
        linked_ = false;
    }

    void ReadInput() {
        std::vector<TLircEvent> found;
        const int error = device_->ReadAvailable(found);
        const unsigned generation = generation_;
        Deliver(found);
        if (generation != generation_ || !device_) {
            return; // a handler stopped the source
        }
        if (error != 0) {
            // The device has gone (unplugged, driver unloaded), as a vanished serial port does.
            Close();
            Notify(events_.OnDisconnected);
            return;
        }
        if (device_->InFrame()) {
            silence_.start();
        } else {
            silence_.stop();
        }
    }

    void Deliver(std::vector<TLircEvent>& found) {
        const unsigned generation = generation_;
        for (TLircEvent& event : found) {
            if (generation != generation_) {
                return;
            }
            switch (event.Kind) {
            case TLircEvent::TKind::Frame: {
                DeviceFrame frame{std::move(event.Durations), std::nullopt};
                if (event.CarrierHz) {
                    frame.Carrier = DeviceCarrier{.Hz = static_cast<int>(*event.CarrierHz)};
                }
                Notify(events_.OnFrame, frame);
                break;
            }
            case TLircEvent::TKind::Overflow:
                Notify(events_.OnHint,
                       "Odbiornik " + devicePath_ +
                           " nie nadążył z przekazaniem próbek i ramka została odrzucona. "
                           "Naciśnij przycisk pilota jeszcze raz.");
                break;
            case TLircEvent::TKind::TooLong:
                Notify(events_.OnHint,
                       "Sygnał z urządzenia " + ident_ + " ma " + std::to_string(event.Count) +
                           " czasów, a ramka mieści najwyżej " +
                           std::to_string(frame::FrameCapacity) + ". Nic nie zostało zmienione.");
                break;
            }
        }
    }

    LircOpener open_;
    std::string devicePath_;
    std::string ident_; // the device as the link panel names it
    DeviceSourceEvents events_;
    std::unique_ptr<TLircDevice> device_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer silence_;
    bool linked_ = false;
    unsigned generation_ = 0;
};

} // namespace

std::string LircDevicePath(const std::string& port) {
    return port.find('/') == std::string::npos ? "/dev/" + port : port;
}

std::unique_ptr<DeviceSource> MakeLircSource(LircOpener open, std::string devicePath,
                                             DeviceSourceEvents events) {
    return std::make_unique<LircSource>(std::move(open), std::move(devicePath), std::move(events));
}

std::unique_ptr<DeviceSource> MakeLircSource(const std::string& path, DeviceSourceEvents events) {
    const std::string devicePath = LircDevicePath(path);
    return MakeLircSource(
        [devicePath](int& error, std::string& reason) {
            return TLircDevice::Open(devicePath, LircPortLabel(devicePath), MaxDurations, error,
                                     reason);
        },
        devicePath, std::move(events));
}

} // namespace serial
