// Declarations of the few Windows calls that the portable code makes, for
// native builds. The implementation lives with the tests: it can fail chosen
// allocations and records message boxes instead of showing them.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#define WINAPI
#define __cdecl

typedef int BOOL;
typedef unsigned int UINT;
typedef uint32_t DWORD;
typedef unsigned char BYTE;
typedef size_t SIZE_T;
typedef void *LPVOID;
typedef void *HANDLE;
typedef struct NativeWindow *HWND;
typedef struct NativeModule *HMODULE;
typedef HMODULE HINSTANCE;

#define HEAP_NO_SERIALIZE 0x00000001
#define HEAP_ZERO_MEMORY 0x00000008
#define MB_OK 0x00000000
#define MB_ICONERROR 0x00000010
#define MB_SETFOREGROUND 0x00010000
#define LOCALE_USER_DEFAULT 0x0400
#define LCMAP_SORTKEY 0x00000400
#define NORM_IGNORECASE 0x00000001

typedef DWORD LCID;

HANDLE WINAPI HeapCreate(DWORD options, SIZE_T initialSize, SIZE_T maximumSize);
LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
LPVOID WINAPI HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes);
BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID block);
BOOL WINAPI HeapDestroy(HANDLE heap);
int WINAPI MessageBoxA(HWND owner, const char *text, const char *caption, UINT type);
int WINAPI lstrlenA(const char *s);
char *WINAPI lstrcpyA(char *dst, const char *src);
char *WINAPI lstrcpynA(char *dst, const char *src, int size);
char *WINAPI StrChrA(const char *s, unsigned short c);
int WINAPI StrCmpNA(const char *a, const char *b, int count);
int WINAPI StrCmpNIA(const char *a, const char *b, int count);
BOOL WINAPI IsDBCSLeadByte(BYTE c);
int WINAPI LCMapStringA(LCID locale, DWORD flags, const char *source, int length, char *key,
                        int size);
