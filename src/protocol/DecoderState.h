#pragma once
// Reply-decoder state kept from one timer tick to the next. The command operations arm it, the
// reply decoder steps it. Only the user-interface thread touches it.

// Status-reply bytes taken so far; -1: no status reply awaited.
extern int g_nStatusIndex;
// Identity characters taken so far; -1: none awaited.
extern int g_nInfoIndex;
// Non-zero: a status request is owed at the controller's next 0x0D (1 after Reset, 2 after
// Restore Default).
extern int g_nStatusAfterReset;
// Free-run cycles are counted while above 0: 1 a trigger run, 2 a Go run.
extern int g_nFreeRunKind;
// The shutter state whose report completes a cycle.
extern int g_nFreeRunStartState;
// High byte of a status reply's repeat count, times 256.
extern int g_nRepeatHigh;
// The configuration transfer's answer bytes received and expected; both -1 while none runs.
extern int g_nTransferReceived;
extern int g_nTransferExpected;

// Back to the values at process start (tests run many panels in one process).
void ResetDecoderState();
