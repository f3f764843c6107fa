#pragma once
// Reply-decoder state kept from one timer tick to the next. Only the user-interface thread
// touches it.

extern int g_nStatusIndex;
extern int g_nInfoIndex;
extern int g_nStatusAfterReset;
extern int g_nFreeRunKind;
extern int g_nFreeRunStartState;
extern int g_nRepeatHigh;
extern int g_nTransferReceived;
extern int g_nTransferExpected;

// Back to the values at process start (tests run many panels in one process).
void ResetDecoderState();
