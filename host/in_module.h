// The host's input-module record, as its published plug-in interface lays it
// out for 32-bit x86: every field is one 32-bit word and every entry uses the
// C calling convention.
#pragma once

#include "host/platform.h"

#include <stddef.h>

// The classic ANSI record. Later hosts also accept 0x101 and versions with
// flag bits for wide-character entries or an int-returning Init; only this
// exact value guarantees ANSI strings and a void Init.
#define IN_VER 0x100

// Flag bits that later hosts accept on top of 0x100 or 0x101: entries that
// take and give wide-character (UTF-16) strings, and an Init that returns an
// int.
#define IN_UNICODE 0x0F000000
#define IN_INIT_RETURNS_INT 0xF0000000

struct Out_Module;

typedef void(__cdecl *In_ConfigFn)(HWND parent);
typedef void(__cdecl *In_AboutFn)(HWND parent);
typedef void(__cdecl *In_InitFn)(void);
// The Init of a record flagged IN_INIT_RETURNS_INT. A cdecl function gives
// its result in EAX, so an entry of this type can stand in for either kind:
// a host of a void Init ignores the result.
typedef int(__cdecl *In_InitReturningFn)(void);
typedef void(__cdecl *In_QuitFn)(void);
typedef void(__cdecl *In_GetFileInfoFn)(char *file, char *title, int *length_in_ms);
typedef int(__cdecl *In_InfoBoxFn)(char *file, HWND parent);
typedef int(__cdecl *In_IsOurFileFn)(char *file);
typedef int(__cdecl *In_PlayFn)(char *file);
typedef void(__cdecl *In_VoidFn)(void);
typedef int(__cdecl *In_IntFn)(void);
typedef void(__cdecl *In_SetIntFn)(int value);
typedef void(__cdecl *In_SAVSAInitFn)(int maxlatency_in_ms, int srate);
typedef void(__cdecl *In_SAAddPCMDataFn)(void *pcm, int nch, int bps, int timestamp);
typedef int(__cdecl *In_SAGetModeFn)(void);
typedef int(__cdecl *In_SAAddFn)(void *data, int timestamp, int csa);
typedef void(__cdecl *In_VSAAddPCMDataFn)(void *pcm, int nch, int bps, int timestamp);
typedef int(__cdecl *In_VSAGetModeFn)(int *specNch, int *waveNch);
typedef int(__cdecl *In_VSAAddFn)(void *data, int timestamp);
typedef void(__cdecl *In_VSASetInfoFn)(int srate, int nch);
typedef int(__cdecl *In_DspIsActiveFn)(void);
typedef int(__cdecl *In_DspDoSamplesFn)(short *samples, int numsamples, int bps, int nch,
                                        int srate);
typedef void(__cdecl *In_EQSetFn)(int on, char data[10], int preamp);
typedef void(__cdecl *In_SetInfoFn)(int bitrate, int srate, int stereo, int synched);

struct In_Module {
    int version;            // IN_VER for the records this library accepts
    char *description;      // the plug-in's name as the host lists it
    HWND hMainWindow;       // written by the host
    HINSTANCE hDllInstance; // written by the host before Init
    char *FileExtensions;   // pairs of strings, ended by an empty string
    int is_seekable;
    int UsesOutputPlug;
    In_ConfigFn Config;
    In_AboutFn About;
    In_InitFn Init;
    In_QuitFn Quit;
    In_GetFileInfoFn GetFileInfo; // null or empty file: the file that is playing
    In_InfoBoxFn InfoBox;
    In_IsOurFileFn IsOurFile;
    In_PlayFn Play; // 0 on success, -1 when the file is not found
    In_VoidFn Pause;
    In_VoidFn UnPause;
    In_IntFn IsPaused;
    In_VoidFn Stop;
    In_IntFn GetLength;
    In_IntFn GetOutputTime;
    In_SetIntFn SetOutputTime;
    In_SetIntFn SetVolume;
    In_SetIntFn SetPan;
    In_SAVSAInitFn SAVSAInit;
    In_VoidFn SAVSADeInit;
    In_SAAddPCMDataFn SAAddPCMData;
    In_SAGetModeFn SAGetMode;
    In_SAAddFn SAAdd;
    In_VSAAddPCMDataFn VSAAddPCMData;
    In_VSAGetModeFn VSAGetMode;
    In_VSAAddFn VSAAdd;
    In_VSASetInfoFn VSASetInfo;
    In_DspIsActiveFn dsp_isactive;
    In_DspDoSamplesFn dsp_dosamples;
    In_EQSetFn EQSet;
    In_SetInfoFn SetInfo;
    Out_Module *outMod;
};

typedef In_Module *(__cdecl *WinampGetInModule2Fn)(void);

#if defined(_WIN32) && !defined(_WIN64)
static_assert(offsetof(In_Module, version) == 0, "In_Module layout");
static_assert(offsetof(In_Module, hDllInstance) == 12, "In_Module layout");
static_assert(offsetof(In_Module, FileExtensions) == 16, "In_Module layout");
static_assert(offsetof(In_Module, Init) == 36, "In_Module layout");
static_assert(offsetof(In_Module, Quit) == 40, "In_Module layout");
static_assert(offsetof(In_Module, GetFileInfo) == 44, "In_Module layout");
static_assert(offsetof(In_Module, Play) == 56, "In_Module layout");
static_assert(offsetof(In_Module, SAVSAInit) == 96, "In_Module layout");
static_assert(offsetof(In_Module, dsp_isactive) == 132, "In_Module layout");
static_assert(offsetof(In_Module, outMod) == 148, "In_Module layout");
static_assert(sizeof(In_Module) == 152, "In_Module layout");
#endif
