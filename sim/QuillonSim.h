#pragma once
/* Control interface of the simulated controller (libquillon-sim.so).
 *
 * The library exports the thirteen D2XX functions the utility loads, and this small C API for
 * tests and demos. A test links libquillon-sim.so directly; when the utility then dlopen()s the
 * same file it gets the same instance, so the test steers the very controller the panel talks to.
 *
 * Clock: the simulator keeps its own millisecond clock. In manual mode (the state after
 * QuillonSim_Reset) time moves only through QuillonSim_Advance and through blocking calls: a
 * read that has to wait moves the clock forward to the moment its bytes arrive or its time-out
 * expires, so nothing in a test ever sleeps. In real-time mode the clock follows the system's
 * monotonic clock multiplied by a speed factor (the mode the library starts in when the utility
 * loads it without a test). All functions are thread-safe. Device indices are positions in the
 * device list, which are also the D2XX device numbers while every device is plugged in; like the
 * real driver, FT_ListDevices and FT_Open count only plugged devices, so an unplugged device
 * drops out of the D2XX numbering (the QuillonSim_ index of a device never changes).
 *
 * D2XX behaviour:
 * - Handles are opaque values, never reused. An unknown, closed or stale handle (after
 *   QuillonSim_Reset or QuillonSim_SetDevices) gives FT_INVALID_HANDLE (1). After
 *   QuillonSim_Unplug every call on the device's handles except FT_Close gives FT_IO_ERROR (4);
 *   FT_Close gives FT_OK and ends the handle. Opening an unplugged or unknown device gives
 *   FT_DEVICE_NOT_FOUND (2). A device may be opened more than once; the handles share it.
 * - FT_OpenEx: flags 2 by description, 1 by serial number, exact comparison of the text.
 * - FT_ListDevices: 0x80000000 stores the device count in *(DWORD*)arg1. 0x20000002
 *   (descriptions) and 0x20000001 (serial numbers): arg1 is an array of char* ended by a NULL
 *   entry; each buffer gets one NUL-terminated text of at most 63 characters (64 bytes), in
 *   device order, stopping at the NULL entry, and *(DWORD*)arg2 gets the number of buffers
 *   filled (so with 70 devices and 63 buffers it is 63). 0x40000001/0x40000002 (by index) fill
 *   the one 64-byte buffer arg2 for device (uintptr_t)arg1. Other flags: FT_INVALID_PARAMETER.
 * - FT_Read waits until toRead bytes are queued or the read time-out expires, then returns
 *   FT_OK with what it has. Time-outs are 0 until FT_SetTimeouts, and 0 means "do not wait".
 * - FT_Purge with bit 0 (FT_PURGE_RX) empties the receive queue; bytes the controller sends
 *   later still come. The receive queue holds at most 65536 bytes; more are lost.
 * - FT_ResetDevice, FT_SetBaudRate, FT_SetLatencyTimer, FT_SetUSBParameters and FT_SetTimeouts
 *   store their values (QuillonSim_GetLink) and change nothing else.
 *
 * The controller (what it answers to each frame of the command set):
 * - A frame must come within one FT_Write (the panel writes each in one call): a frame cut off
 *   at the end of a write is discarded. A byte that cannot start a frame is skipped, and so is
 *   0xFA followed by an unknown second byte; parsing goes on at the next byte.
 * - Online EE: the handshake byte (0xEE, or QuillonSim_SetHandshakeReply's), then 0x01 while
 *   powered (0x00 after Power off).
 * - Shutter open AA / close AC, Fast DC, Soft DD, Neutral density DE n, trigger FA A0-A4, sync
 *   FA B0-B2, Closed time FA 1h ..., Exposure time FA 2h ..., Repeat count FA F0 hi lo: the
 *   echo of the frame, then 0x0D, at once (frame length plus one bytes, as the configuration
 *   transfer expects). Parameter bytes are taken as they come, without range checks.
 * - Free run FA F1 (on power up), FA F2 (on trigger pulse), FA F3 (go): no answer. F1 and F2
 *   end a run in progress without a marker; F3 (re)starts a run at once.
 * - Stop BF: echo BF; when a run was in progress, then 0x0D (end of run).
 * - Status CC: 20 bytes. Fast/Soft: CC, shutter (AA open / AC closed), mode (DC/DD), 00,
 *   trigger (A0 + trigger), sync (B0 + sync), 10 + closed hours, minutes, seconds, ms (hundreds
 *   and tens), ms (units and tenths), 20 + exposure hours, minutes, seconds, ms, ms, free-run
 *   option (F0 + option), repeat count high, low, 0D. Neutral density: CC, shutter, DE, steps,
 *   00, then the same fields from the trigger byte on, ending with the repeat count's low byte.
 * - Controller information FD: FD, then 12 characters: the device's serial number (first 8
 *   characters, padded with blanks) and the firmware version QUILLON_SIM_FIRMWARE.
 * - Reset FB: ends a run (no marker); 0x0D after QUILLON_SIM_RESET_MARKER_MS. The settings are
 *   kept.
 * - Restore factory defaults FA C0: ends a run; the settings and the stored power-up setting
 *   become the factory setting (closed, Fast, 0 steps, trigger enable on high, sync low for
 *   open, both times zero, no free-run option, repeat count 0); 0x0D after
 *   QUILLON_SIM_RESTORE_MARKER_MS.
 * - Save configuration FA C1: stores the settings as the power-up setting; echo FA C1.
 * - Power on CE / Power off CF: echo; only the powered flag changes.
 * - Link exercise bytes 40-4F: no answer.
 *
 * Free run. A cycle starts from the shutter's state when the run starts and ends in it again.
 * From closed: the closed time, the opening transition, 0xAA; the exposure time, the closing
 * transition, 0xAC. From open: exposure, closing, 0xAC; closed, opening, 0xAA. So the report
 * that ends each cycle is the one the panel counts. Transitions: 12 ms fast, 70 ms soft,
 * steps x 38 / 144 ms neutral density; each half cycle lasts at least 0.1 ms. The times and the
 * mode are read when each half cycle begins. After repeatCount cycles the run ends with 0x0D
 * right after the last report; repeat count 0xFFFF runs until Stop; repeat count 0 ends at once
 * with 0x0D. Go starts a run at once; On Trigger Pulse starts one at each QuillonSim_TriggerPulse
 * while no run is in progress (the option stays set after a run or Stop); On Power Up starts
 * one at QuillonSim_PowerUp when the stored power-up setting has that option. Shutter, mode and
 * timer frames during a run are answered and stored; the run goes on.
 *
 * A library that cannot reach USB: QuillonSim_ImitateNoUsb(1), or QUILLON_SIM_NO_USB=1 in the
 * environment when the library is loaded, makes the simulator behave as the D2XX library does in
 * a container or sandbox without USB access: every FT_ListDevices call (the count query
 * FT_ListDevices(0x80000000) included) returns FT_OTHER_ERROR (18) and fills nothing, and
 * FT_Open and FT_OpenEx, if called anyway, log their call, print one line to stderr and abort()
 * the process, as the real library crashes there. QuillonSim_Reset ends the imitation.
 *
 * Faults apply to answer bytes as they arrive in the receive queue, in arrival order: a silent
 * device's answers vanish, then dropped bytes vanish, then corrupted bytes arrive inverted.
 * Injected bytes are never dropped or corrupted. A write that QuillonSim_SetWriteStatus makes
 * fail returns that status, reports 0 bytes written and reaches no controller. A write cut by
 * QuillonSim_SetWriteLimit succeeds; only the bytes it reports written reach the controller.
 *
 * The transcript holds every byte written to a device (at its write) and every byte that
 * arrives in a receive queue (at its arrival time); at most 1000000 entries, the oldest going
 * first.
 *
 * The transcript file (QUILLON_SIM_TRANSCRIPT naming a file when the library is loaded, or
 * QuillonSim_TranscriptFile) records the D2XX face instead, one line per call, in the format of
 * the utility's own --transcript, so that the two files compare line for line (except the times,
 * which come from different clocks):
 *   <ms> TX <count> <hex>         one FT_Write: every byte handed to it
 *   <ms> RX <count> <hex>         one FT_Read: the bytes it returned ("RX 0" when none)
 *   <ms> OPEN number <n>          FT_Open; FT_OpenEx gives OPEN description "<text>",
 *                                 OPEN serial "<text>" or OPEN flags <n>
 *   <ms> CLOSE                    FT_Close
 *   <ms> PURGE <mask>             FT_Purge
 * <ms> is the simulator's clock in milliseconds with three decimals; hex bytes are upper case
 * with one blank between; a call that does not return FT_OK ends its line with " status <n>".
 * Calls on every handle go in; the file is flushed at the end of every call.
 */
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct QuillonSimDevice {
    const char* description; /* copied; at most 63 characters are kept */
    const char* serial;
} QuillonSimDevice;

/* Timing of the controller's delayed answers, and its identity. */
#define QUILLON_SIM_RESET_MARKER_MS 200   /* Reset FB: 0x0D this long after the frame */
#define QUILLON_SIM_RESTORE_MARKER_MS 300 /* Restore FA C0: 0x0D this long after the frame */
#define QUILLON_SIM_FIRMWARE "V1.0"       /* identity characters 9-12 */

/* Direction of a transcript entry. */
enum { QUILLON_SIM_TO_DEVICE = 0, QUILLON_SIM_FROM_DEVICE = 1 };

typedef struct QuillonSimEvent {
    uint64_t timeMs; /* simulator clock */
    int device;
    int direction; /* QUILLON_SIM_TO_DEVICE or QUILLON_SIM_FROM_DEVICE */
    uint8_t byte;
} QuillonSimEvent;

/* The controller's state as the simulator holds it. */
typedef struct QuillonSimState {
    int open;        /* handle open */
    int shutterOpen; /* 1 open, 0 closed */
    int mode;        /* 0 fast, 1 soft, 2 neutral density */
    int ndSteps;
    int trigger;       /* 0 off, 1 enable on high, 2 enable on low, 3 rising edge, 4 falling edge */
    int sync;          /* 0 off, 1 high for open, 2 low for open */
    int closedTime[5]; /* hours, minutes, seconds, milliseconds, tenths */
    int exposureTime[5];
    int freeRunOption; /* 0 none, 1 on power up, 2 on trigger, 3 go */
    int repeatCount;   /* 0xFFFF continuous */
    int running;       /* a free run is in progress */
    int cyclesDone;    /* cycles completed by the current or last run */
    int powered;       /* Power on / Power off */
    int saved;         /* Save configuration has stored the power-up setting */
} QuillonSimState;

/* Everything back to the start: one device ("Quillon SC", "QSC10001"), factory state, manual
 * clock at 0, no faults, empty transcript and call log, all handles invalid. */
void QuillonSim_Reset(void);

/* Replace the device list (count may be 0, or more than 63). Open handles become invalid. */
void QuillonSim_SetDevices(const QuillonSimDevice* devices, int count);

/* Clock. Switching keeps the current time. A speed of 0 or less counts as 1.0. Advance also
 * works in real time, as a jump forward. Every call brings the controllers up to the present:
 * free-run reports and delayed answers whose time has come are then in the receive queues. */
void QuillonSim_UseManualClock(void);
void QuillonSim_UseRealTime(double speed);
void QuillonSim_Advance(uint32_t ms);
uint64_t QuillonSim_NowMs(void);

/* Faults, per device. */
/* Unplug: the device's handles fail with FT_IO_ERROR from now on, queued and pending answers are
 * lost, a run ends, and the device leaves the D2XX list. Replug: the device is listed and can be
 * opened again (old handles stay dead); its settings are kept. */
void QuillonSim_Unplug(int device);
void QuillonSim_Replug(int device);
void QuillonSim_SetSilent(int device, int silent);           /* accepts writes, never answers */
void QuillonSim_SetHandshakeReply(int device, int byte);     /* -1: normal 0xEE */
void QuillonSim_SetWriteStatus(int device, uint32_t status); /* FT_Write returns this (0: normal) */
void QuillonSim_SetWriteLimit(int device, int bytes); /* FT_Write succeeds, writing at most this
                                                         many bytes of each call (-1: all) */
void QuillonSim_DropAnswerBytes(
    int device, int count); /* the next count answer bytes vanish (sets the count) */
void QuillonSim_CorruptAnswerBytes(
    int device, int count); /* the next count answer bytes arrive inverted (~b) */
void QuillonSim_Inject(int device, const uint8_t* bytes,
                       size_t count);     /* straight into the receive queue */
void QuillonSim_TriggerPulse(int device); /* starts a run when the option is On Trigger Pulse */
/* Imitate (1) or stop imitating (0) a library that cannot reach USB; see above. */
void QuillonSim_ImitateNoUsb(int on);
/* Simulated power cycle: the stored power-up setting (factory setting until Save configuration)
 * becomes the current one, pending answers are lost, and a run starts when its free-run option is
 * On Power Up. Handles stay valid. */
void QuillonSim_PowerUp(int device);

/* Inspection. */
int QuillonSim_GetState(int device, QuillonSimState* state); /* 0 on success */
/* Sets the controller's settings as if frames had set them (shutterOpen, mode, ndSteps, trigger,
 * sync, both times, freeRunOption, repeatCount, powered); the other fields are ignored, no run
 * starts or stops and nothing is sent. 0 on success. */
int QuillonSim_SetState(int device, const QuillonSimState* state);

/* What the D2XX configuration calls last stored for a device (0 before any call). */
typedef struct QuillonSimLink {
    uint32_t baudRate;
    uint32_t latencyMs;
    uint32_t inTransferSize;
    uint32_t outTransferSize;
    uint32_t readTimeoutMs;
    uint32_t writeTimeoutMs;
    int resetCount;  /* FT_ResetDevice calls */
    int purgeCount;  /* FT_Purge calls */
    int openHandles; /* handles currently open on the device */
} QuillonSimLink;
int QuillonSim_GetLink(int device, QuillonSimLink* link); /* 0 on success */
/* Bytes waiting in the device's receive queue now; not a D2XX call, so not in the call log. */
size_t QuillonSim_Queued(int device);

size_t QuillonSim_Transcript(QuillonSimEvent* events, size_t max); /* returns the total count */
void QuillonSim_ClearTranscript(void);
/* Starts the transcript file at path (created or emptied), ending one in progress; NULL or ""
 * only ends it. 0 on success, -1 when the file cannot be opened. */
int QuillonSim_TranscriptFile(const char* path);
/* Every D2XX call in order, one per line ending in '\n', whatever its result:
 *   FT_Open(0)                     device number
 *   FT_OpenEx("Quillon SC",2)      text (NULL: FT_OpenEx(NULL,2)), flags in decimal
 *   FT_ListDevices(0x80000000)     flags, 8 upper-case hex digits
 *   FT_Close
 *   FT_Read(600)                   count asked for
 *   FT_Write(FA F0 01 2C)          bytes in upper-case hex, one blank between ("FT_Write()": none)
 *   FT_SetTimeouts(3000,3000)
 *   FT_ResetDevice
 *   FT_Purge(1)
 *   FT_GetQueueStatus
 *   FT_SetBaudRate(128000)
 *   FT_SetLatencyTimer(2)
 *   FT_SetUSBParameters(64,0)
 * The log keeps about the last 8 MB. Returns the full length; writes at most size-1 characters
 * plus a NUL (buffer may be NULL when size is 0). */
size_t QuillonSim_CallLog(char* buffer, size_t size);
void QuillonSim_ClearCallLog(void);

#ifdef __cplusplus
}
#endif
