// The few Windows calls the sound output makes: waveOut streaming, moveable
// global memory, thread start, thread priority, Sleep and events. On Windows
// this is the system's own headers; on Linux the `platform` layer supplies the same
// names and signatures, made visible at global scope as <windows.h> would.
//
// Linux behaviour worth knowing:
// - waveOutOpen picks its sink from the environment: VELTRANE_WAVEOUT_FILE=PATH
//   appends every sample played to PATH as raw little-endian PCM in the opened
//   format (no header), at real-time pace, or as fast as blocks arrive when
//   VELTRANE_WAVEOUT_PACE=fast. Without it the ALSA "default" device plays.
// - A block counts as played (WHDR_DONE) once the sink has taken all of it.
// - waveOutReset leaves the paused state as it was; only waveOutRestart ends it.
// - A sink that fails for good (a device unplugged, a file that takes no more)
//   returns every queued block done, and waveOutWrite then answers
//   MMSYSERR_NODRIVER, as Windows does once a device is gone.
// - SetThreadPriority sets the thread's nice value relative to the process's
//   and is best effort: raising a priority needs privileges.
#pragma once

#ifdef _WIN32

#include <windows.h>
// windows.h first: mmsystem.h builds on its types.
#include <mmsystem.h>
#include <process.h>

#else

#include <cstddef>
#include <cstdint>

namespace platform {

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using UINT = unsigned int;
using BOOL = int;
using SIZE_T = size_t;
using DWORD_PTR = uintptr_t;
using LPVOID = void*;
using LPSTR = char*;
using LPDWORD = DWORD*;
using HANDLE = void*;
using HGLOBAL = void*;
using MMRESULT = UINT;

struct HWAVEOUT__;
using HWAVEOUT = HWAVEOUT__*;
using LPHWAVEOUT = HWAVEOUT*;

// Laid out as on Windows: 32 bytes on a 32-bit target, 48 on a 64-bit one.
// Size arguments are checked against sizeof(WAVEHDR).
struct WAVEHDR {
    LPSTR lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;
    DWORD_PTR dwUser;
    DWORD dwFlags;  // written by the layer with atomic operations; read it likewise
    DWORD dwLoops;
    WAVEHDR* lpNext;
    DWORD_PTR reserved;
};
using LPWAVEHDR = WAVEHDR*;

struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
using LPCWAVEFORMATEX = const WAVEFORMATEX*;

inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT WAVERR_BADFORMAT = 32;
inline constexpr MMRESULT WAVERR_STILLPLAYING = 33;
inline constexpr MMRESULT WAVERR_UNPREPARED = 34;

inline constexpr UINT WAVE_MAPPER = UINT(-1);
inline constexpr WORD WAVE_FORMAT_PCM = 1;
inline constexpr DWORD CALLBACK_NULL = 0;

inline constexpr DWORD WHDR_DONE = 0x01;
inline constexpr DWORD WHDR_PREPARED = 0x02;
inline constexpr DWORD WHDR_BEGINLOOP = 0x04;
inline constexpr DWORD WHDR_ENDLOOP = 0x08;
inline constexpr DWORD WHDR_INQUEUE = 0x10;

inline constexpr UINT GMEM_FIXED = 0x0000;
inline constexpr UINT GMEM_MOVEABLE = 0x0002;
inline constexpr UINT GMEM_ZEROINIT = 0x0040;
inline constexpr UINT GMEM_SHARE = 0x2000;

inline constexpr DWORD NO_ERROR = 0;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_NOT_LOCKED = 158;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;

inline constexpr BOOL FALSE = 0;
inline constexpr BOOL TRUE = 1;
inline constexpr DWORD INFINITE = 0xFFFFFFFF;
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

inline constexpr int THREAD_PRIORITY_NORMAL = 0;
inline constexpr int THREAD_PRIORITY_ABOVE_NORMAL = 1;
inline constexpr int THREAD_PRIORITY_HIGHEST = 2;

MMRESULT waveOutOpen(LPHWAVEOUT phwo, UINT uDeviceID, LPCWAVEFORMATEX pwfx, DWORD_PTR dwCallback,
                     DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh);
MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh);
MMRESULT waveOutWrite(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh);
MMRESULT waveOutReset(HWAVEOUT hwo);
MMRESULT waveOutPause(HWAVEOUT hwo);
MMRESULT waveOutRestart(HWAVEOUT hwo);
MMRESULT waveOutSetVolume(HWAVEOUT hwo, DWORD dwVolume);
MMRESULT waveOutGetVolume(HWAVEOUT hwo, LPDWORD pdwVolume);
MMRESULT waveOutClose(HWAVEOUT hwo);

HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
LPVOID GlobalLock(HGLOBAL hMem);
BOOL GlobalUnlock(HGLOBAL hMem);
HGLOBAL GlobalFree(HGLOBAL hMem);
DWORD GetLastError();
void SetLastError(DWORD dwErrCode);

void Sleep(DWORD dwMilliseconds);
// Starts a detached thread running start(arglist); answers uintptr_t(-1) on failure.
// The stack size 0 means the default.
uintptr_t _beginthread(void (*start)(void*), unsigned stackSize, void* arglist);
HANDLE GetCurrentThread();
BOOL SetThreadPriority(HANDLE hThread, int nPriority);

// Events: only unnamed auto-reset ones, with no security attributes. A wait
// that ends signalled takes the signal.
HANDLE CreateEventA(void* attributes, BOOL manualReset, BOOL initialState, const char* name);
BOOL SetEvent(HANDLE hEvent);
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
// Closes an event.
BOOL CloseHandle(HANDLE hObject);

}  // namespace platform

using platform::BOOL;
using platform::BYTE;
using platform::DWORD;
using platform::DWORD_PTR;
using platform::HANDLE;
using platform::HGLOBAL;
using platform::HWAVEOUT;
using platform::LPHWAVEOUT;
using platform::LPVOID;
using platform::LPWAVEHDR;
using platform::MMRESULT;
using platform::SIZE_T;
using platform::UINT;
using platform::WAVEFORMATEX;
using platform::WAVEHDR;
using platform::WORD;

using platform::CALLBACK_NULL;
using platform::FALSE;
using platform::GMEM_MOVEABLE;
using platform::GMEM_SHARE;
using platform::GMEM_ZEROINIT;
using platform::INFINITE;
using platform::MMSYSERR_INVALHANDLE;
using platform::MMSYSERR_NODRIVER;
using platform::MMSYSERR_NOERROR;
using platform::THREAD_PRIORITY_ABOVE_NORMAL;
using platform::THREAD_PRIORITY_NORMAL;
using platform::TRUE;
using platform::WAIT_FAILED;
using platform::WAIT_OBJECT_0;
using platform::WAIT_TIMEOUT;
using platform::WAVE_FORMAT_PCM;
using platform::WAVE_MAPPER;
using platform::WAVERR_STILLPLAYING;
using platform::WAVERR_UNPREPARED;
using platform::WHDR_DONE;
using platform::WHDR_INQUEUE;
using platform::WHDR_PREPARED;

using platform::_beginthread;
using platform::CloseHandle;
using platform::CreateEventA;
using platform::GetCurrentThread;
using platform::GetLastError;
using platform::GlobalAlloc;
using platform::GlobalFree;
using platform::GlobalLock;
using platform::GlobalUnlock;
using platform::SetEvent;
using platform::SetLastError;
using platform::SetThreadPriority;
using platform::Sleep;
using platform::WaitForSingleObject;
using platform::waveOutClose;
using platform::waveOutGetVolume;
using platform::waveOutOpen;
using platform::waveOutPause;
using platform::waveOutPrepareHeader;
using platform::waveOutReset;
using platform::waveOutRestart;
using platform::waveOutSetVolume;
using platform::waveOutUnprepareHeader;
using platform::waveOutWrite;

#endif
