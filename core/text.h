// Text and path helpers. Plug-ins, file names and the ANSI file calls speak
// the system's ANSI code page (932 on the systems Velkor serves); what the
// program says is UTF-16 until it is written out.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

std::wstring Wide(const std::string &ansi);

// False when some character has no form in the ANSI code page.
bool ToAnsi(const std::wstring &wide, std::string *ansi);

// A path that the ANSI file calls can take: the path itself, or, where the
// code page cannot write it, its short name. False, with the system's error,
// when there is neither.
bool AnsiPath(const std::wstring &wide, std::string *ansi);

std::wstring HexNumber(DWORD value); // "0x101"
std::wstring Number(DWORD value);

// Bytes as hexadecimal digits and back, for the child's report.
std::string ToHex(const std::string &bytes);
std::string FromHex(const std::string &digits);

// The system's text for an error, with `path` for each insert such as %1.
std::wstring SystemText(DWORD code, const std::string &path);

// Columns on a terminal: East Asian wide characters take two cells.
int DisplayWidth(const std::wstring &text);
std::wstring Padded(const std::wstring &text, int width);
// At most `width` cells, ending in "..." when cut.
std::wstring Shortened(const std::wstring &text, int width);
// Rows of cells, each column as wide as its widest cell, two spaces apart.
std::wstring Table(const std::vector<std::vector<std::wstring>> &rows);

// Paths, stepping over double-byte characters whose second byte is 0x5C.
std::string FolderOf(const std::string &path); // ends in a separator, or is empty
std::string NameOf(const std::string &path);
std::string ParentOf(const std::string &folder); // the folder above, ending in a separator
// Without separators at the end, but a drive's root keeps its own.
std::string WithoutSeparator(const std::string &path);
std::string StemOf(const std::string &name); // without the text after the last dot
std::string FullPath(const std::string &path);
// As a command line takes it: in quotes when it holds a space.
std::wstring QuotedPath(const std::string &path);
bool EndsWithNoCase(const std::string &text, const std::string &end);

bool FileExists(const std::string &path);
bool FolderExists(const std::string &path);
void RemoveTree(const std::string &folder);

// A folder of the program's own under the temporary folder, new each call;
// removed with what it holds by RemoveWorkFolder, or by
// RemoveAllWorkFolders when the program is interrupted.
std::string MakeWorkFolder(const std::string &label);
void RemoveWorkFolder(const std::string &folder);
void RemoveAllWorkFolders();
