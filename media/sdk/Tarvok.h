// Tarvok: Orvelle's media library. Play ports that decode pushed recording
// data (or play a file by themselves) and render into a native window,
// with sound, picture capture, clip recording, display regions, and raw
// recording to MP4 conversion.
//
// Results are signed integers; a negative result is a failure. Ports are
// numbered from 1. Messages reach the caller through the callback of the
// message receiver given when a port is opened or a conversion started; they
// arrive on the library's own threads, never while the library holds a lock,
// so a handler may call back into the library (even TVPLAY_Stop on its own
// port).
#pragma once

#include <cstddef>
#include <cstdint>

enum TVMessageId {
    EUIMSG_PLAY_START = 30000,          // a port started playing; nParam1 = port
    EUIMSG_PLAY_STOP = 30002,           // everything was played out after TVPLAY_ForcePlayEnd
                                        // (or a file port reached its end)
    EUIMSG_PLAY_INFO = 30006,           // text: {"fps":..,"bits":..,"width":..,"height":..};
                                        // nParam1 begin, nParam2 current, nParam3 end play
                                        // time in seconds since the epoch
    EUIMSG_PLAY_SOUND = 30014,          // nParam1 = 1 sound started, 0 stopped
    EUIMSG_COVERT_FILE_RESULT = 30023,  // conversion ended: nParam1 0 success, < 0 failure
    EUIMSG_COVERT_FILE_PROCESS = 30024, // conversion progress: nParam1 percent, 100 = finished
    EUIMSG_BUFFER_STATE = 30025,        // nParam1 = 1: hold pushing; 0: push again
};

// Conversion failure codes carried by EUIMSG_COVERT_FILE_RESULT.
enum TVConvertError {
    TVCONVERT_ERR_OPEN_SOURCE = -1,
    TVCONVERT_ERR_CANCELLED = -2,
    TVCONVERT_ERR_NO_VIDEO = -3,
    TVCONVERT_ERR_OUTPUT = -4,
    TVCONVERT_ERR_READ = -5,
};

// (port or conversion handle, message id, nParam1, nParam2, nParam3, text,
//  three reserved pointers (null), user pointer of the receiver)
typedef int (*TVMessageCallback)(int nHandle, int nMsgId, int64_t nParam1, int64_t nParam2, int64_t nParam3,
                                 const char *szText, void *pReserved1, void *pReserved2, void *pReserved3,
                                 void *pUser);

// Message receiver, 24 bytes. The library copies it when a port is opened or
// a conversion started.
struct TVMessageReceiver {
    uint64_t nReserved;              // 0
    TVMessageCallback pfnCallback;   // 8
    void *pUser;                     // 16
};

// Initialisation record, 864 bytes, zero-filled before use.
struct TVSDKInitParam {
    int32_t nReserved0;        //   0: 0
    char szWorkDir[256];       //   4: work folder (created when missing)
    char szWorkDir2[256];      // 260: the same folder
    char szIdent1[64];         // 516: three 32-hex-digit identifiers
    char szIdent2[128];        // 580
    char szIdent3[128];        // 708
    int32_t nVersion;          // 836: 7
    uint64_t nReserved1;       // 840: 0
    TVMessageCallback pfnCallback;  // 848: receives messages of ports opened without a callback
    void *pUser;               // 856
};

// Display region in the 8192 x 8192 space of the whole picture.
struct TVRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

constexpr int TV_REGION_SPACE = 8192;

// Once per process before the first port is opened. 0, or -1 for a bad record.
int TVSDK_Init(const TVSDKInitParam *param);

// A port for pushed data rendering into window hWnd (a native window id, 0 =
// no window). nBufferFrames is the buffer size in video frames: above it the
// port asks the pusher to hold (EUIMSG_BUFFER_STATE 1), below half of it to
// resume (0); values <= 0 select 100.
int TVPLAY_OpenPlay(const TVMessageReceiver *receiver, uint64_t hWnd, int nBufferFrames, int nReserved1,
                    int nReserved2);
// A port that plays a file by itself: a raw recording or an MP4 file.
int TVPLAY_OpenFilePlay(const TVMessageReceiver *receiver, const char *szPath, uint64_t hWnd, int nReserved1,
                        int nReserved2);
int TVPLAY_Play(int nPort);
// Closes the port; any clip recording and sound end with it.
int TVPLAY_Stop(int nPort);
// One whole frame, header included.
int TVPLAY_PushMediaData(int nPort, const uint8_t *pData, int nLength);
// No more data: play out what is buffered, then send EUIMSG_PLAY_STOP.
int TVPLAY_ForcePlayEnd(int nPort);
int TVPLAY_Pause(int nPort, int bPause);
// Speed 2^nSpeed, nSpeed -4..4; at 4 only key frames are decoded.
int TVPLAY_SetPlaySpeed(int nPort, int nSpeed);
// Show one frame more / one frame less, then hold.
int TVPLAY_PlayNextFrame(int nPort);
int TVPLAY_PlayPreviousFrame(int nPort);
// File ports: move to nPercent (0..100) of the file.
int TVPLAY_SetPlayPosition(int nPort, int nPercent);
// Sound on (fails cleanly without an audio device; play goes on) / off.
int TVPLAY_PlaySound(int nPort);
int TVPLAY_StopSound(int nPort);
// Writes the picture on screen, at its decoded size, as a JPEG. Waits up to
// nTimeoutMs for a first picture. Never overwrites an existing file.
int TVPLAY_CatchPictureSyn(int nPort, const char *szPath, int nTimeoutMs);
// Writes every frame pushed from the next key frame on, raw, to szPath (a new
// file: an existing one is never overwritten).
int TVPLAY_StartRecordData(int nPort, const char *szPath);
int TVPLAY_StopRecordData(int nPort);
// Shows only the rectangle; null shows the whole picture.
int TVPLAY_PlaySetDisplayRegion(int nPort, const TVRect *pRect);

// Converts a raw recording to MP4 on a worker thread; returns a handle > 0.
// Progress arrives as EUIMSG_COVERT_FILE_PROCESS (ending with 100 once the
// file is complete), failure as a negative EUIMSG_COVERT_FILE_RESULT. The MP4
// is written under a temporary name and only renamed into place when done.
int TVPLAY_StartConvertFile(const TVMessageReceiver *receiver, const char *szSrcPath, const char *szDstPath,
                            const char *szParam);
// Stops the conversion, removes its partial output and returns once the
// worker has finished (unless called from the worker's own callback).
int TVPLAY_CancelConvertFile(int nHandle);

// Figures of a port, for tests and benchmarks.
struct TVPlayStats {
    uint64_t nDecoded;     // video frames decoded
    uint64_t nRendered;    // pictures handed to the window
    uint64_t nSkipped;     // video frames not shown because play was behind (or key-frame-only)
    uint64_t nBuffered;    // video frames waiting in the buffer
    int32_t nWidth;        // decoded size
    int32_t nHeight;
    // Of the skipped frames: decoded but not shown because play was behind,
    // and passed over undecoded while only key frames were decoded (at 16x,
    // or catching up after falling far behind).
    uint64_t nDropped;
    uint64_t nKeyOnly;
    uint64_t nCatchUps;    // times play went to key frames only to catch up
    uint64_t nPlayedUs;    // stream time the port's clock has gone through, in microseconds
    int64_t nLateUs;       // how late the last frame left the buffer, in microseconds (0 = on time)
    int32_t bCatchingUp;   // 1 while it catches up and shortly after (its pictures carry a marker)
    int32_t nReserved;
    // Times the decoder started afresh at a key frame: a step back, or going
    // on after frames passed over undecoded; never in plain play.
    uint64_t nRestarts;
    // Times the port ran out of frames and the one that came at last was
    // late: the clock forgave the wait (not what the port was behind before).
    uint64_t nDryReanchors;
};
int TVPLAY_GetPlayStats(int nPort, TVPlayStats *pStats);
