#include "protocol/DecoderState.h"

int g_nStatusIndex = -1;
int g_nInfoIndex = -1;
int g_nStatusAfterReset = 0;
int g_nFreeRunKind = 0;
int g_nFreeRunStartState = -1;
int g_nRepeatHigh = 0;
int g_nTransferReceived = -1;
int g_nTransferExpected = -1;

void ResetDecoderState()
{
    g_nStatusIndex = -1;
    g_nInfoIndex = -1;
    g_nStatusAfterReset = 0;
    g_nFreeRunKind = 0;
    g_nFreeRunStartState = -1;
    g_nRepeatHigh = 0;
    g_nTransferReceived = -1;
    g_nTransferExpected = -1;
}
