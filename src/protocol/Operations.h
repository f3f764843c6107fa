#pragma once
// What each command does on the link, for every face of the controller (the panel's buttons, the
// command-line tool): the readiness gate, the frame, what the reply decoder must await, and the
// fields and captions that change with it. A face pulls its fields before and shows them after;
// these write through the decoder host, so both faces send byte for byte the same.

#include "protocol/Frames.h"
#include "protocol/ReplyDecoder.h"

struct OpResult {
    enum Kind {
        NotReady,  // the link is not ready for commands: nothing sent, nothing changed
        Refused,   // a value the controller must not get: nothing sent
        Unsent,    // the frame did not go out whole: no answer is awaited
        Sent,
    };
    Kind kind = NotReady;
    const char* refusal = nullptr;  // why, for Refused

    bool Ok() const { return kind == Sent; }
};

// One transition's time and the step count in the captions: 12 ms, 70 ms (Soft) or the neutral
// density's time for its steps.
std::string NdTransitionText(int ndSteps);
void ShowModeCaptions(DecoderHost& host, int shutterMode, int ndSteps);

// The closed, exposure and cycle displays from the time records.
void ShowTimeCaptions(DecoderHost& host);

enum class Signal { Trigger, Sync };

// Frames that change no field: Online, Controller Info, Power on/off, Stop, Save to Controller.
OpResult SendPlain(DecoderHost& host, const Frame& frame);
// Status: the reply updates the fields.
OpResult RequestStatus(DecoderHost& host);
// Reset and Restore Default: a status request is owed at the controller's ready byte.
OpResult ResetController(DecoderHost& host);
OpResult RestoreDefaults(DecoderHost& host);
// 0 Open, 1 Close.
OpResult SetShutterState(DecoderHost& host, int state);
// Fast (0) or Soft (1), keeping the step count; SetNdMode takes a new one.
OpResult SetPlainMode(DecoderHost& host, int mode);
OpResult SetNdMode(DecoderHost& host, int steps);
// Choosing a trigger mode or sync polarity switches the signal on.
OpResult ChooseSignal(DecoderHost& host, Signal signal, int value);
// The check box: on with its default choice (even before the link is ready), or off.
OpResult ToggleSignal(DecoderHost& host, Signal signal);
// Set Timer on Controller: the editor's texts into the selected record, and out.
OpResult UploadTimer(DecoderHost& host);
// Send to Controller: the repeat text as a count; "Left Cycle Number" restarts from it.
OpResult SendRepeat(DecoderHost& host);
// Apply: the shutter frame; the decoder sends the rest, each after the previous one's answer.
// Takes the fields as they are, without the gate's pull.
OpResult StartTransfer(DecoderHost& host);
// On Power Up (0) only stores the option; On Trigger Pulse (1) and Go (2) count the run's cycles
// and need a repeat number to count down from.
OpResult StartFreeRun(DecoderHost& host, int option);

inline constexpr const char* kNeedRepeatNumber =
    "Please set the repeat number first, then try again!";
