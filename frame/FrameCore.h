#pragma once

#include "frame/FrameEvents.h"
#include "frame/FrameFile.h"
#include "frame/FrameSinks.h"
#include "frame/PulseFrame.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace frame {

// The two levels of the drawn wave; the chart's overlays draw on the same levels.
inline constexpr double WaveHighLevel = 1.0;
inline constexpr double WaveLowLevel = 0.1;

// Status panels (0-based) written by the frame core.
inline constexpr int PanelPulseCount = 1;
inline constexpr int PanelMode = 3;
inline constexpr int PanelLink = 5;

inline constexpr std::string_view TextConnecting = "próba połączenia";
inline constexpr std::string_view TextLinked = "<----> Połączony";
inline constexpr std::string_view TextLinkedIdent = "<----> Połączony     ";
inline constexpr std::string_view TextDisconnected = "--> x <-- Rozłączony";
inline constexpr std::string_view TextReceiverView = "ODBIORNIK";
inline constexpr std::string_view TextTransmitterView = "NADAJNIK";

// The device's acknowledgement and the marker of its identification reply.
inline constexpr std::string_view DeviceAcknowledgement = "OK";
inline constexpr std::string_view DeviceIdentMarker = "+ATI:";

// The commands sent on every connection, in this order.
inline constexpr std::string_view CheckCommand = "AT\r";
inline constexpr std::string_view IdentCommand = "ATI\r";

// The main window's reactions to the device link and its drawing of the current frame, kept free
// of any window so they can be exercised through recording sinks. The frame and the sinks belong to
// the caller and must outlive this object. Everything runs on the main thread.
//
// Every frame that comes and every change of the current frame is announced once to the observers
// (FrameEvent), after the drawing; the features beyond the single frame follow it from there.
class FrameCore {
public:
    FrameCore(PulseFrame& frame, StatusSink& status, ChartSink& chart, CommandSink& commands);

    FrameCore(const FrameCore&) = delete;
    FrameCore& operator=(const FrameCore&) = delete;

    // One line from the device, without its line end: the acknowledgement, the identification
    // reply, a frame line, or anything else (which only clears the chart).
    void ZorComPort1RxString(std::string_view ABuf);
    // Shows the connection attempt and asks the device for an acknowledgement and its identity.
    void ZorComPort1Connected();
    void ZorComPort1Disconnected();
    void ZorComPort1ATTimeOut();
    // Commands going out need no reaction.
    void ZorComPort1SendStr(std::string_view AString);

    // Records Mode in the frame, redraws the chart from the frame and shows the view in panel 3.
    void DrawFrame(int32_t Mode);
    // Swaps the receiver and transmitter views.
    void Zanegujwykres1Click();
    // Takes a frame from elsewhere than the device (a file, an import, the history, the clean-up):
    // durations, count, panel 1, then a drawing in its mode; announced with `why` and `source`.
    // Durations beyond the frame's capacity are not taken. Does not touch the flags.
    void LoadFrame(const LoadedFrame& loaded, FrameChange why = FrameChange::Load,
                   std::string_view source = {});
    // The carrier of the next device frame line, told by a source that measures it (or nullopt).
    // It applies to that one frame line only.
    void SetIncomingCarrier(std::optional<SignalCarrier> carrier) { incoming_ = carrier; }
    // The current frame's carrier where known.
    const std::optional<SignalCarrier>& Carrier() const { return carrier_; }

    // Observers must outlive this object or remove themselves first.
    void AddObserver(FrameObserver& observer);
    void RemoveObserver(FrameObserver& observer);

    // Asks the device to emit the code it captured. Returns false, sending nothing, when the frame
    // is empty; the caller then tells the user.
    bool EmitujKodExecute();
    // Sends the frame pulse by pulse, then the closing command with the count.
    void EmitujWykresExecute();

    // While held, frame lines are still accepted (announced, FrameReceived) but leave the current
    // frame, the chart and panel 1 as they are, and other lines do not clear the chart: the user
    // keeps looking at one frame while a remote goes on sending.
    void SetHeld(bool held) { held_ = held; }
    bool Held() const { return held_; }

    bool FrameReceived() const { return frameReceived_; }
    bool LinkConfirmed() const { return linkConfirmed_; }
    const PulseFrame& Frame() const { return frame_; }

private:
    void TakeFrameLine(std::string_view fields);
    void ShowPulseCount();
    void Announce(const FrameEvent& event);
    void AnnounceCurrent(FrameChange why, std::string_view source = {});

    PulseFrame& frame_;
    StatusSink& status_;
    ChartSink& chart_;
    CommandSink& commands_;
    bool frameReceived_ = false;
    bool linkConfirmed_ = false;
    bool held_ = false;
    std::vector<int32_t> line_;
    std::optional<SignalCarrier> incoming_;
    std::optional<SignalCarrier> carrier_;
    std::vector<FrameObserver*> observers_;
};

} // namespace frame
